#pragma once

#include "Marrowick/App/AlertCenter.h"

#include <QDBusConnection>

namespace marrowick {

// Alerts through the desktop's notification server (org.freedesktop.Notifications).
class DBusAlertCenter : public AlertCenter {
public:
    static inline const QString service = QStringLiteral("org.freedesktop.Notifications");
    static inline const QString path = QStringLiteral("/org/freedesktop/Notifications");
    static inline const QString interface = QStringLiteral("org.freedesktop.Notifications");
    static inline const QString soundName = QStringLiteral("message-new-instant");

    // `desktopEntry` names the application's .desktop file, so the server can group its
    // alerts and show its icon.
    // How long to wait for the server to answer before calling it absent.
    static constexpr int serverInfoTimeoutMs = 3000;

    explicit DBusAlertCenter(QDBusConnection bus = QDBusConnection::sessionBus(),
                             QString desktopEntry = QStringLiteral("dev.tobrin.marrowick"),
                             int answerTimeoutMs = serverInfoTimeoutMs);

    QCoro::Task<AuthorizationStatus> authorizationStatus() override;
    QCoro::Task<bool> requestAuthorization() override;
    void post(const AlertNotification &notification) override;

private:
    QDBusConnection m_bus;
    QString m_desktopEntry;
    int m_answerTimeoutMs;
};

} // namespace marrowick
