#pragma once

#include <QString>
#include <QTemporaryDir>

#include <functional>

#include <csignal>

#include <sys/resource.h>

namespace marrowick::test {

// Makes writes past `bytes` fail as on a full disk (EFBIG instead of a signal) while it lives.
// Works anywhere, so a full disk is always tested; 0 or less sets no limit.
class FileSizeLimit {
public:
    explicit FileSizeLimit(qint64 bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = SIG_ERR;
    bool m_active = false;
};

// A file's permission bits, or -1 when it cannot be looked at.
int modeOf(const QString &path);

// A real tmpfs of `bytes` mounted while it lives on `at` (created when missing), or on a
// temporary folder. Mounting needs root; where it fails, isMounted() is false and callers skip.
class SmallFilesystem {
public:
    explicit SmallFilesystem(qint64 bytes, const QString &at = QString());
    ~SmallFilesystem();
    SmallFilesystem(const SmallFilesystem &) = delete;
    SmallFilesystem &operator=(const SmallFilesystem &) = delete;

    bool isMounted() const { return m_mounted; }
    QString path() const { return m_path; }
    // Takes all the free room but `leave` bytes with a filler file; false when it cannot.
    bool fill(qint64 leave);
    // Gives the filler's room back.
    bool release();
    // Mounts it again read-only, as a read-only medium or mount is.
    bool makeReadOnly();

private:
    QTemporaryDir m_folder;
    QString m_path;
    bool m_mounted = false;
};

// Runs `call` as a user whom permissions hold back: as the unprivileged user "nobody" where
// this process is root (the folders from `folder` up to `top` are opened for it to search),
// else as this user. False, without calling, where that cannot be arranged.
bool asUnprivilegedUser(const QString &folder, const QString &top, const std::function<void()> &call);

// Makes `file` the unprivileged user's, whom asUnprivilegedUser() runs as, where this process
// is root; else it is this user's already.
bool giveToUnprivilegedUser(const QString &file);

// Runs `call` unable to read `file`: its read permission taken away and, since root reads
// everything, as the unprivileged user "nobody" (the folders from the file up to `top` are
// opened for it to search). Restores the permission afterwards. False, without calling, where
// the file cannot be made unreadable.
bool withoutReadAccess(const QString &file, const QString &top, const std::function<void()> &call);

} // namespace marrowick::test
