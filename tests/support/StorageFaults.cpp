#include "support/StorageFaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace marrowick::test {

namespace {

constexpr uid_t nobody = 65534;
constexpr gid_t nogroup = 65534;

} // namespace

FileSizeLimit::FileSizeLimit(qint64 bytes)
{
    if (bytes <= 0)
        return;
    ::getrlimit(RLIMIT_FSIZE, &m_old);
    m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = m_old;
    limit.rlim_cur = rlim_t(bytes);
    m_active = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

FileSizeLimit::~FileSizeLimit()
{
    // SIG_DFL is null on glibc, so compare with SIG_ERR: the default must come back too.
    if (m_oldHandler != SIG_ERR)
        std::signal(SIGXFSZ, m_oldHandler);
    if (m_active)
        ::setrlimit(RLIMIT_FSIZE, &m_old);
}

int modeOf(const QString &path)
{
    struct stat info{};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 0777) : -1;
}

SmallFilesystem::SmallFilesystem(qint64 bytes, const QString &at) : m_path(at.isEmpty() ? m_folder.path() : at)
{
    if (!m_folder.isValid() || !QDir().mkpath(m_path))
        return;
    const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0700";
    m_mounted = ::mount("tmpfs", QFile::encodeName(m_path).constData(), "tmpfs", 0, options.constData()) == 0;
}

SmallFilesystem::~SmallFilesystem()
{
    if (m_mounted)
        ::umount2(QFile::encodeName(m_path).constData(), MNT_DETACH);
}

bool SmallFilesystem::release()
{
    return QFile::remove(QDir(path()).filePath(QStringLiteral("filler")));
}

bool SmallFilesystem::fill(qint64 leave)
{
    QFile filler(QDir(path()).filePath(QStringLiteral("filler")));
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    const QByteArray block(4096, 'f');
    while (filler.write(block) == block.size()) {
    }
    return filler.resize(std::max<qint64>(0, filler.size() - leave));
}

bool SmallFilesystem::makeReadOnly()
{
    return m_mounted
        && ::mount("tmpfs", QFile::encodeName(m_path).constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}

bool asUnprivilegedUser(const QString &folder, const QString &top, const std::function<void()> &call)
{
    if (::geteuid() != 0) {
        call();
        return true;
    }
    const QString root = QFileInfo(top).absoluteFilePath();
    for (QDir up(QFileInfo(folder).absoluteFilePath()); up.absolutePath().startsWith(root); up.cdUp()) {
        const QByteArray path = QFile::encodeName(up.absolutePath());
        struct stat info{};
        if (::stat(path.constData(), &info) != 0 || ::chmod(path.constData(), info.st_mode | S_IXOTH | S_IROTH) != 0)
            return false;
        if (up.isRoot())
            break;
    }
    // The group too: root's group would be judged by the folders' group bits.
    if (::setegid(nogroup) != 0 || ::seteuid(nobody) != 0) {
        [[maybe_unused]] const int restored = ::setegid(0);
        return false;
    }
    call();
    if (::seteuid(0) != 0 || ::setegid(0) != 0)
        qFatal("could not return to root");
    return true;
}

bool giveToUnprivilegedUser(const QString &file)
{
    return ::geteuid() != 0 || ::chown(QFile::encodeName(file).constData(), nobody, nogroup) == 0;
}

bool withoutReadAccess(const QString &file, const QString &top, const std::function<void()> &call)
{
    const QFileDevice::Permissions before = QFile::permissions(file);
    if (!QFile::setPermissions(file, QFileDevice::WriteOwner))
        return false;
    const bool called = asUnprivilegedUser(QFileInfo(file).absolutePath(), top, call);
    QFile::setPermissions(file, before);
    return called;
}

} // namespace marrowick::test
