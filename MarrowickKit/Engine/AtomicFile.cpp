#include "MarrowickKit/Engine/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QtDebug>

#include <cerrno>
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

// Writes every byte to `fd` and makes sure the disk holds them; an empty text, else why not.
QString writeThrough(int fd, const QByteArray &bytes)
{
    qint64 written = 0;
    while (written < bytes.size()) {
        const ssize_t count = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return systemError(errno);
        if (count == 0)
            return QStringLiteral("the disk took no more bytes");
        written += count;
    }
    if (::fsync(fd) != 0)
        return systemError(errno);
    struct stat info{};
    if (::fstat(fd, &info) != 0)
        return systemError(errno);
    if (info.st_size != bytes.size())
        return QStringLiteral("only %1 of %2 bytes were written").arg(info.st_size).arg(bytes.size());
    return QString();
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

} // namespace

void write(const QByteArray &bytes, const QString &file)
{
    const QString target = writtenPath(file);
    const QString folder = QFileInfo(target).absolutePath();
    if (!QDir().mkpath(folder))
        throw FileStoreError(QStringLiteral("Could not create the folder \"%1\".").arg(folder).toStdString());

    // Created exclusively and owner-only: sources name servers and accounts, the history says
    // when they were down.
    QByteArray temporary = QFile::encodeName(target + temporaryInfix) + QByteArray(randomLength, 'X')
        + QFile::encodeName(temporarySuffix);
    const int fd = ::mkostemps(temporary.data(), int(temporarySuffix.size()), O_CLOEXEC);
    if (fd < 0)
        fail(file, systemError(errno));
    QString failure = writeThrough(fd, bytes);
    if (::close(fd) != 0 && failure.isEmpty())
        failure = systemError(errno);
    if (failure.isEmpty() && ::rename(temporary.constData(), QFile::encodeName(target).constData()) != 0)
        failure = systemError(errno);
    if (!failure.isEmpty()) {
        ::unlink(temporary.constData());
        fail(file, failure);
    }
    syncFolder(folder);
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
