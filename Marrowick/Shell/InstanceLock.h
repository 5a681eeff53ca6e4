#pragma once

#include <QString>

namespace marrowick {

// A lock file that counts only while a live process holds it: an flock(2) on the open file,
// which the kernel drops when the holder ends, however it ends. The holder writes its process
// id and host into the file for the next start's message; what the file says is believed only
// while the lock is really held and the process it names is alive, so an empty, garbage or
// left-over file never keeps a start out. The file is created owner-only and never deleted:
// deleting a locked file would let the next start lock a new file beside a running copy.
class InstanceLock {
public:
    enum class Result {
        locked,        // this process holds it until the lock is destroyed
        heldByAnother, // a live process holds it; holderPid() may name it
        unavailable,   // the file cannot be opened (read-only folder, not a file): see error()
    };

    explicit InstanceLock(QString path);
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    Result tryLock();

    // After heldByAnother: the holder's process id when the file names a live process on this
    // host, else 0; its host name when the file gives one.
    qint64 holderPid() const { return m_holderPid; }
    const QString &holderHost() const { return m_holderHost; }
    // After unavailable: why, in words.
    const QString &error() const { return m_error; }

private:
    int openFile();
    static void writeHolder(int fd);
    void readHolder(int fd);

    QString m_path;
    int m_fd = -1;
    qint64 m_holderPid = 0;
    QString m_holderHost;
    QString m_error;
};

} // namespace marrowick
