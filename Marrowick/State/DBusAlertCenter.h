#pragma once

#include "Marrowick/State/AlertCenter.h"

#include <QDBusConnection>
#include <QImage>
#include <QVariant>

namespace marrowick {

// Alerts through the desktop's notification server (org.freedesktop.Notifications).
class DBusAlertCenter : public AlertCenter {
public:
    static inline const QString service = QStringLiteral("org.freedesktop.Notifications");
    static inline const QString path = QStringLiteral("/org/freedesktop/Notifications");
    static inline const QString interface = QStringLiteral("org.freedesktop.Notifications");
    static inline const QString soundName = QStringLiteral("message-new-instant");
    // The side of the mark sent with every notification, in pixels.
    static constexpr int imageSide = 64;

    // The most of the server's name that is kept.
    static constexpr qsizetype maximumServerNameLength = 64;
    // How long to wait for the server to answer before calling it absent.
    static constexpr int serverInfoTimeoutMs = 3000;

    // `desktopEntry` names the application's .desktop file and its icon, so the server can
    // group its alerts and show its icon.
    explicit DBusAlertCenter(QDBusConnection bus = QDBusConnection::sessionBus(),
                             QString desktopEntry = QStringLiteral("dev.tobrin.marrowick"),
                             int answerTimeoutMs = serverInfoTimeoutMs);

    QCoro::Task<AuthorizationStatus> authorizationStatus() override;
    QString serverName() const override { return m_serverName; }
    QCoro::Task<bool> requestAuthorization() override;
    void post(const AlertNotification &notification) override;
    // The application's mark, sent as pixels with every notification for servers that cannot
    // find an installed icon; none is sent while it is null.
    void setMark(const QImage &mark);

private:
    QDBusConnection m_bus;
    QVariant m_image;
    QString m_desktopEntry;
    QString m_serverName;
    int m_answerTimeoutMs;
};

} // namespace marrowick
