#include "support/AccessibilityBus.h"

#include <QByteArray>
#include <QStandardPaths>
#include <QString>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace marrowick::test {

AccessibilityBus::AccessibilityBus()
{
    const QString launcher = QStandardPaths::findExecutable(
        QStringLiteral("at-spi-bus-launcher"), {QStringLiteral("/usr/libexec"), QStringLiteral("/usr/lib/at-spi2-core")});
    if (launcher.isEmpty() || qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return;
    const QByteArray path = launcher.toLocal8Bit();
    m_launcher = ::fork();
    if (m_launcher == 0) {
        ::execl(path.constData(), path.constData(), "--launch-immediately", static_cast<char *>(nullptr));
        ::_exit(127);
    }
    // Qt finds the bus once the launcher has registered it, whenever that is.
    qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
}

AccessibilityBus::~AccessibilityBus()
{
    if (m_launcher > 0) {
        ::kill(m_launcher, SIGTERM);
        ::waitpid(m_launcher, nullptr, 0);
    }
}

} // namespace marrowick::test
