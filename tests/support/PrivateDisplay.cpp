#include "support/PrivateDisplay.h"

#include <QByteArray>
#include <QStandardPaths>
#include <QString>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace marrowick::test {

PrivateDisplay::PrivateDisplay(QSize size)
{
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        return;
    const QByteArray screen = QByteArray::number(size.width()) + 'x' + QByteArray::number(size.height()) + "x24";
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0)
        return;
    m_server = ::fork();
    if (m_server == 0) {
        // A test that is killed or aborts (its watchdog) takes its server with it.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        // The server writes the display it took to this descriptor, so no number is guessed.
        ::fcntl(pipe[1], F_SETFD, 0);
        const int quiet = ::open("/dev/null", O_WRONLY);
        ::dup2(quiet, STDERR_FILENO);
        const QByteArray fd = QByteArray::number(pipe[1]);
        ::execlp("Xvfb", "Xvfb", "-displayfd", fd.constData(), "-nolisten", "tcp", "-noreset", "-screen", "0",
                 screen.constData(), static_cast<char *>(nullptr));
        ::_exit(127);
    }
    ::close(pipe[1]);
    QByteArray number;
    pollfd reading{pipe[0], POLLIN, 0};
    char c = 0;
    while (m_server > 0 && ::poll(&reading, 1, 10000) == 1 && ::read(pipe[0], &c, 1) == 1 && c != '\n')
        number += c;
    ::close(pipe[0]);
    if (c != '\n')
        return;
    qputenv("DISPLAY", ":" + number);
    qputenv("QT_QPA_PLATFORM", "xcb");
    m_ready = true;
}

QString PrivateDisplay::missingForInput() const
{
    if (!m_ready)
        return QStringLiteral("Xvfb is not installed (scripts/setup-deps.sh --with-test-tools installs it)");
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        return QStringLiteral("xdotool is not installed (scripts/setup-deps.sh --with-test-tools installs it)");
    return {};
}

PrivateDisplay::~PrivateDisplay()
{
    if (m_server > 0) {
        ::kill(m_server, SIGTERM);
        ::waitpid(m_server, nullptr, 0);
    }
}

} // namespace marrowick::test
