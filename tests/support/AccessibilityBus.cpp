#include "support/AccessibilityBus.h"

#include <QByteArray>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QString>

namespace marrowick::test {

AccessibilityBus::AccessibilityBus()
{
    // On whether or not a screen reader runs.
    qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
}

bool AccessibilityBus::isReady()
{
    const QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    return bus && bus->isServiceRegistered(QStringLiteral("org.a11y.Bus"));
}

} // namespace marrowick::test
