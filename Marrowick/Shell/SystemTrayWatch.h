#pragma once

#include <QAbstractNativeEventFilter>
#include <QDBusConnection>
#include <QObject>

#include <cstdint>

class QDBusServiceWatcher;
struct xcb_connection_t;

namespace marrowick {

// Whether the desktop has a tray for the icon, and when one comes or goes: a StatusNotifierItem
// watcher with a host registered on the session bus, or, on X11, a tray manager owning the
// screen's _NET_SYSTEM_TRAY_S<n> selection.
//
// Qt asks once per process whether there is a StatusNotifierItem host and keeps the answer, so a
// program that asks Qt before the panel has started never registers its icon. This is asked
// instead until a tray is there; Qt's first question then finds it. Nothing polls: the bus
// announces the watcher, the watcher its host, and the X server the manager (a client message
// to the root window) and its end (the destruction of the manager's window).
class SystemTrayWatch : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT

public:
    enum class Kind { none, statusNotifier, xembed };

    static inline const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
    static inline const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");

    // Reads the current state at once: a short blocking question to the bus and the X server.
    explicit SystemTrayWatch(QDBusConnection bus, QObject *parent = nullptr);

    // The tray Qt would use now: a StatusNotifierItem host before an X11 tray, as Qt prefers.
    Kind available() const;
    // available() with the host asked again at once (blocking), for the moment before Qt asks
    // the same: a panel that offers both kinds may have registered its host since the X server
    // told of its manager. Emits nothing: the caller acts on the answer.
    Kind recheck();
    // Qt has made its one choice: from now on only a tray of that kind counts.
    void keepTo(Kind kind);

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

signals:
    // available() changed.
    void availabilityChanged();

private slots:
    // The watcher's signals that a host came or went.
    void askForHost();

private:
    bool askForHostNow();
    void setHost(bool registered);
    void watchX11Tray();
    void readX11TrayOwner();
    void change(bool host, std::uint32_t x11Owner);

    QDBusConnection m_bus;
    QDBusServiceWatcher *m_watcherService = nullptr;
    quint64 m_hostQuestion = 0; // only the newest answer counts
    bool m_host = false;
    xcb_connection_t *m_x11 = nullptr;
    std::uint32_t m_x11Selection = 0;
    std::uint32_t m_x11ManagerMessage = 0;
    std::uint32_t m_x11Owner = 0;
    Kind m_kept = Kind::none;
};

} // namespace marrowick
