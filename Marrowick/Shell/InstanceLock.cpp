#include "Marrowick/Shell/InstanceLock.h"

#include <QCoreApplication>
#include <QFile>
#include <QSysInfo>

#include <cerrno>
#include <climits>
#include <cstring>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace marrowick {

namespace {

constexpr mode_t ownerOnly = 0600;
// The holder's lines are short; anything longer is not ours.
constexpr int holderReadLimit = 512;
// Never follows a link (the holder's line would go into whatever it points at) and never
// waits on a pipe put where the file belongs.
constexpr int openFlags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool isAlive(qint64 pid)
{
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

// "<pid>\n<application>\n<host>\n", the layout older copies wrote too.
QByteArray holderLines()
{
    return QByteArray::number(QCoreApplication::applicationPid()) + '\n' + QCoreApplication::applicationName().toUtf8()
        + '\n' + QSysInfo::machineHostName().toUtf8() + '\n';
}

} // namespace

InstanceLock::InstanceLock(QString path) : m_path(std::move(path)) {}

InstanceLock::~InstanceLock()
{
    // Closing drops the lock; the file stays for the next start to lock.
    if (m_fd >= 0)
        ::close(m_fd);
}

InstanceLock::Result InstanceLock::tryLock()
{
    if (m_fd >= 0)
        return Result::locked;
    const int fd = openFile();
    if (fd < 0)
        return Result::unavailable;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        m_fd = fd;
        writeHolder(fd);
        return Result::locked;
    }
    const int error = errno;
    if (error != EWOULDBLOCK) {
        // A file system without locks (some network mounts) cannot tell who holds it.
        m_error = errorText(error);
        ::close(fd);
        return Result::unavailable;
    }
    readHolder(fd);
    ::close(fd);
    return Result::heldByAnother;
}

int InstanceLock::openFile()
{
    // Creating the file or reusing it needs no data blocks, so locking works on a full disk.
    const QByteArray path = QFile::encodeName(m_path);
    int fd = ::open(path.constData(), O_RDWR | O_CREAT | openFlags, ownerOnly);
    // The cause to report: the opens below only try other ways in, and fail for their own
    // reasons (a read-only open of a file that was never created finds nothing).
    const int firstError = errno;
    int error = firstError;
    if (fd < 0 && error == EACCES) {
        // A file of ours that lost its permission bits gets them back.
        struct stat info {};
        if (::lstat(path.constData(), &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid()
            && ::chmod(path.constData(), ownerOnly) == 0) {
            fd = ::open(path.constData(), O_RDWR | openFlags);
            error = errno;
        }
    }
    // Someone else's file, or a read-only file system: a read-only descriptor still locks.
    if (fd < 0 && (error == EACCES || error == EROFS))
        fd = ::open(path.constData(), O_RDONLY | openFlags);
    if (fd < 0) {
        m_error = errorText(firstError);
        return -1;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        m_error = QStringLiteral("it is not a file");
        ::close(fd);
        return -1;
    }
    // open() applies the umask to a new file and leaves an old one as it was.
    if ((info.st_mode & 07777) != ownerOnly && info.st_uid == ::geteuid())
        ::fchmod(fd, ownerOnly);
    return fd;
}

void InstanceLock::writeHolder(int fd)
{
    // Over the old text first and cut after: a page the file already has takes the lines even
    // on a full disk. Where that fails the lock holds all the same, and the file is emptied:
    // a line half written or an old one left could name some other live process.
    const QByteArray lines = holderLines();
    const bool written = ::pwrite(fd, lines.constData(), size_t(lines.size()), 0) == lines.size()
        && ::ftruncate(fd, lines.size()) == 0;
    if (!written && ::ftruncate(fd, 0) != 0) {
        // Opened read-only: it keeps naming an earlier holder, believed only while alive.
    }
}

void InstanceLock::readHolder(int fd)
{
    m_holderPid = 0;
    m_holderHost.clear();
    char buffer[holderReadLimit];
    const ssize_t length = ::pread(fd, buffer, sizeof buffer, 0);
    if (length <= 0)
        return;
    const QList<QByteArray> lines = QByteArray(buffer, length).split('\n');
    bool isNumber = false;
    const qint64 pid = lines.value(0).toLongLong(&isNumber);
    const QString host = QString::fromUtf8(lines.value(2)).trimmed();
    // A process of another host cannot be looked at from here.
    const bool onThisHost = host.isEmpty() || host == QSysInfo::machineHostName();
    if (!isNumber || pid <= 0 || pid > INT_MAX || !onThisHost || !isAlive(pid))
        return;
    m_holderPid = pid;
    m_holderHost = host;
}

} // namespace marrowick
