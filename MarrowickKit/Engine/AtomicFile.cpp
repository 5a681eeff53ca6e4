#include "MarrowickKit/Engine/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QtDebug>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace marrowick::AtomicFile {

namespace {

// "<name>.marrowick-XXXXXX.tmp": no user names a copy so, and the six random characters are
// those mkstemps uses.
const QString temporaryInfix = QStringLiteral(".marrowick-");
const QString temporarySuffix = QStringLiteral(".tmp");
constexpr int randomLength = 6;

[[noreturn]] void fail(const QString &file, const QString &reason)
{
    throw FileStoreError(QStringLiteral("Could not save \"%1\": %2").arg(file, reason).toStdString());
}

QString systemError(int code)
{
    return qt_error_string(code);
}

// Where the bytes go: the file itself, or what a link at its place names.
QString writtenPath(const QString &file)
{
    const QFileInfo info(file);
    if (!info.isSymLink())
        return info.absoluteFilePath();
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.symLinkTarget() : canonical;
}

// Writes `size` bytes from `data` to `fd`; an empty text, else why not.
QString writeAll(int fd, const char *data, qint64 size)
{
    qint64 written = 0;
    while (written < size) {
        const ssize_t count = ::write(fd, data + written, size_t(size - written));
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return systemError(errno);
        if (count == 0)
            return QStringLiteral("the disk took no more bytes");
        written += count;
    }
    return QString();
}

// Makes sure the disk holds the `size` bytes written to `fd`; an empty text, else why not.
QString syncAndCheckSize(int fd, qint64 size)
{
    if (::fsync(fd) != 0)
        return systemError(errno);
    struct stat info{};
    if (::fstat(fd, &info) != 0)
        return systemError(errno);
    if (info.st_size != size)
        return QStringLiteral("only %1 of %2 bytes were written").arg(info.st_size).arg(size);
    return QString();
}

// Creates the folder when needed and a new temporary beside `target`, exclusively and
// owner-only: sources name servers and accounts, the history says when they were down.
// Returns its descriptor and sets `name`; throws FileStoreError.
int createTemporary(const QString &file, const QString &target, QByteArray &name)
{
    const QString folder = QFileInfo(target).absolutePath();
    if (const QString why = createFolder(folder); !why.isEmpty())
        throw FileStoreError(QStringLiteral("Could not create the folder \"%1\": %2").arg(folder, why).toStdString());
    name = QFile::encodeName(target + temporaryInfix) + QByteArray(randomLength, 'X')
        + QFile::encodeName(temporarySuffix);
    const int fd = ::mkostemps(name.data(), int(temporarySuffix.size()), O_CLOEXEC);
    if (fd < 0)
        fail(file, systemError(errno));
    return fd;
}

// Makes a rename in `folder` survive a power cut. The new file is in place either way, so a
// failure is only logged.
void syncFolder(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_DIRECTORY | O_RDONLY | O_CLOEXEC);
    const bool synced = fd >= 0 && ::fsync(fd) == 0;
    const int error = errno;
    if (fd >= 0)
        ::close(fd);
    if (!synced)
        qWarning().noquote() << QStringLiteral("Could not make the disk hold the new file in %1: %2")
                                    .arg(folder, systemError(error));
}

// Gives the finished temporary the name `target` unless that is taken: 0, EEXIST, or why not.
int renameToNewName(const QByteArray &temporary, const QByteArray &target)
{
    if (::renameat2(AT_FDCWD, temporary.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system without the exclusive rename; a hard link is exclusive too.
    if (::link(temporary.constData(), target.constData()) != 0)
        return errno;
    ::unlink(temporary.constData());
    return 0;
}

// Copies what `source` holds to `fd`; an empty text, else why not. `size` is what was copied.
QString copyAll(int source, int fd, qint64 &size)
{
    QByteArray buffer(64 * 1024, Qt::Uninitialized);
    size = 0;
    for (;;) {
        const ssize_t count = ::read(source, buffer.data(), size_t(buffer.size()));
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return systemError(errno);
        if (count == 0)
            return QString();
        if (const QString failure = writeAll(fd, buffer.constData(), count); !failure.isEmpty())
            return failure;
        size += count;
    }
}

} // namespace

void write(const QByteArray &bytes, const QString &file)
{
    const QString target = writtenPath(file);
    QByteArray temporary;
    const int fd = createTemporary(file, target, temporary);
    QString failure = writeAll(fd, bytes.constData(), bytes.size());
    if (failure.isEmpty())
        failure = syncAndCheckSize(fd, bytes.size());
    if (::close(fd) != 0 && failure.isEmpty())
        failure = systemError(errno);
    if (failure.isEmpty() && ::rename(temporary.constData(), QFile::encodeName(target).constData()) != 0)
        failure = systemError(errno);
    if (!failure.isEmpty()) {
        ::unlink(temporary.constData());
        fail(file, failure);
    }
    syncFolder(QFileInfo(target).absolutePath());
}

bool copyToNewName(const QString &file, const QString &copy)
{
    const int source = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC);
    if (source < 0)
        fail(copy, systemError(errno));
    const QString folder = QFileInfo(copy).absolutePath();
    QByteArray temporary;
    int fd = -1;
    try {
        fd = createTemporary(copy, QDir(folder).filePath(QFileInfo(file).fileName()), temporary);
    } catch (const FileStoreError &) {
        ::close(source);
        throw;
    }
    qint64 size = 0;
    QString failure = copyAll(source, fd, size);
    ::close(source);
    if (failure.isEmpty())
        failure = syncAndCheckSize(fd, size);
    if (::close(fd) != 0 && failure.isEmpty())
        failure = systemError(errno);
    const int renamed = failure.isEmpty() ? renameToNewName(temporary, QFile::encodeName(copy)) : -1;
    if (renamed != 0)
        ::unlink(temporary.constData());
    if (renamed == EEXIST)
        return false;
    if (renamed != 0 && failure.isEmpty())
        failure = systemError(renamed);
    if (!failure.isEmpty())
        fail(copy, failure);
    syncFolder(folder);
    return true;
}

void checkRoom(qint64 bytes, const QString &file)
{
    QByteArray temporary;
    const int fd = createTemporary(file, writtenPath(file), temporary);
    static constexpr qint64 blockSize = 64 * 1024;
    const QByteArray block(blockSize, '\0');
    QString failure;
    for (qint64 written = 0; written < bytes && failure.isEmpty(); written += blockSize)
        failure = writeAll(fd, block.constData(), std::min(blockSize, bytes - written));
    if (failure.isEmpty())
        failure = syncAndCheckSize(fd, bytes);
    ::close(fd);
    ::unlink(temporary.constData());
    if (!failure.isEmpty())
        fail(file, failure);
}

void syncToDisk(const QString &file)
{
    const QString target = writtenPath(file);
    const int fd = ::open(QFile::encodeName(target).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        fail(file, systemError(errno));
    const bool synced = ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    if (!synced)
        fail(file, systemError(error));
    syncFolder(QFileInfo(target).absolutePath());
}

QString createFolder(const QString &folder)
{
    // The missing folders, deepest first, up to the first that is there.
    QStringList missing;
    QString existing = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    for (QFileInfo level(existing); !level.exists() && !level.isSymLink() && !level.isRoot();
         level = QFileInfo(existing)) {
        missing.append(existing);
        existing = level.absolutePath();
    }
    if (!QFileInfo(existing).isDir())
        return systemError(QFileInfo(existing).exists() ? ENOTDIR : EEXIST);
    // Owner-only, as the files in them: a folder made here holds the user's own data or
    // settings, or is the root of them in a new home, which XDG's base directory rules have made
    // 0700. A folder that is there keeps its mode: it may be shared on purpose.
    for (auto level = missing.crbegin(); level != missing.crend(); ++level) {
        if (::mkdir(QFile::encodeName(*level).constData(), S_IRWXU) == 0)
            continue;
        // Made meanwhile by another writer is as good.
        if (const int error = errno; error != EEXIST || !QFileInfo(*level).isDir())
            return systemError(error);
    }
    return QString();
}

void removeLeftoverTemporaries(const QString &file)
{
    const QFileInfo target(writtenPath(file));
    const QRegularExpression temporary(QLatin1Char('^')
                                       + QRegularExpression::escape(target.fileName() + temporaryInfix)
                                       + QStringLiteral("[A-Za-z0-9]{%1}").arg(randomLength)
                                       + QRegularExpression::escape(temporarySuffix) + QLatin1Char('$'));
    const QDir folder = target.absoluteDir();
    const QStringList names = folder.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        if (temporary.match(name).hasMatch() && !QFile::remove(folder.filePath(name)))
            qWarning().noquote() << QStringLiteral("Could not remove the leftover %1.").arg(folder.filePath(name));
    }
}

} // namespace marrowick::AtomicFile
