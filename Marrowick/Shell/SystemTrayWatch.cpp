#include "Marrowick/Shell/SystemTrayWatch.h"

#include "Marrowick/Shell/X11Connection.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>

#if defined(MARROWICK_WITH_XCB) && QT_CONFIG(xcb)
#define MARROWICK_WATCH_X11 1
#include <xcb/xcb.h>

#include <cstdlib>
#endif

namespace marrowick {

namespace {

// A watcher that does not answer must not hold the start up for D-Bus's 25 seconds.
constexpr int hostQuestionTimeoutMs = 2000;

QDBusMessage hostQuestion()
{
    QDBusMessage get = QDBusMessage::createMethodCall(SystemTrayWatch::watcherService, SystemTrayWatch::watcherPath,
                                                      QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << SystemTrayWatch::watcherService << QStringLiteral("IsStatusNotifierHostRegistered");
    // Asking must not start a watcher that the bus could activate: only a running one counts.
    get.setAutoStartService(false);
    return get;
}

bool hostIsRegistered(const QDBusMessage &reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1)
        return false;
    return qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant().toBool();
}

#if MARROWICK_WATCH_X11
std::uint32_t internAtom(xcb_connection_t *connection, const QByteArray &name)
{
    xcb_intern_atom_reply_t *reply =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, std::uint16_t(name.size()), name.constData()),
                              nullptr);
    const std::uint32_t atom = reply ? reply->atom : std::uint32_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

// The screen Qt connects to, as xcb reads it from DISPLAY.
int defaultScreen()
{
    char *host = nullptr;
    int display = 0;
    int screen = 0;
    const bool parsed = xcb_parse_display(nullptr, &host, &display, &screen) != 0;
    std::free(host);
    return parsed ? screen : 0;
}
#endif

} // namespace

SystemTrayWatch::SystemTrayWatch(QDBusConnection bus, QObject *parent)
    : QObject(parent),
      m_bus(std::move(bus))
{
    m_watcherService = new QDBusServiceWatcher(watcherService, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(m_watcherService, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString &, const QString &, const QString &owner) {
                if (owner.isEmpty())
                    setHost(false);
                else
                    askForHost();
            });
    for (const char *signal : {"StatusNotifierHostRegistered", "StatusNotifierHostUnregistered"}) {
        m_bus.connect(QString(), watcherPath, watcherService, QString::fromLatin1(signal), this, SLOT(askForHost()));
    }
    m_host = askForHostNow();
    watchX11Tray();
}

SystemTrayWatch::Kind SystemTrayWatch::available() const
{
    if (m_host && m_kept != Kind::xembed)
        return Kind::statusNotifier;
    if (m_x11Owner != 0 && m_kept != Kind::statusNotifier)
        return Kind::xembed;
    return Kind::none;
}

SystemTrayWatch::Kind SystemTrayWatch::recheck()
{
    m_host = askForHostNow();
    return available();
}

bool SystemTrayWatch::askForHostNow()
{
    ++m_hostQuestion; // an answer still on its way is older than this one
    return hostIsRegistered(m_bus.call(hostQuestion(), QDBus::Block, hostQuestionTimeoutMs));
}

void SystemTrayWatch::keepTo(Kind kind)
{
    if (m_kept == Kind::none)
        m_kept = kind;
}

void SystemTrayWatch::askForHost()
{
    const quint64 question = ++m_hostQuestion;
    auto *call = new QDBusPendingCallWatcher(m_bus.asyncCall(hostQuestion(), hostQuestionTimeoutMs), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this, call, question] {
        call->deleteLater();
        if (question == m_hostQuestion)
            setHost(hostIsRegistered(call->reply()));
    });
}

void SystemTrayWatch::setHost(bool registered)
{
    if (!registered)
        ++m_hostQuestion; // an answer still on its way is older than this
    change(registered, m_x11Owner);
}

void SystemTrayWatch::change(bool host, std::uint32_t x11Owner)
{
    const Kind before = available();
    m_host = host;
    m_x11Owner = x11Owner;
    if (available() != before)
        emit availabilityChanged();
}

void SystemTrayWatch::watchX11Tray()
{
#if MARROWICK_WATCH_X11
    m_x11 = x11Connection();
    if (!m_x11)
        return;
    m_x11Selection = internAtom(m_x11, "_NET_SYSTEM_TRAY_S" + QByteArray::number(defaultScreen()));
    m_x11ManagerMessage = internAtom(m_x11, "MANAGER");
    // Qt's screens listen to the root window's structure, where a new manager announces itself.
    QCoreApplication::instance()->installNativeEventFilter(this);
    readX11TrayOwner();
#endif
}

void SystemTrayWatch::readX11TrayOwner()
{
#if MARROWICK_WATCH_X11
    // The owner's window is watched for its destruction. With the server held, the owner read
    // is still the owner when the watch starts: a manager that ends in between is never missed.
    xcb_grab_server(m_x11);
    xcb_get_selection_owner_reply_t *reply =
        xcb_get_selection_owner_reply(m_x11, xcb_get_selection_owner(m_x11, m_x11Selection), nullptr);
    const std::uint32_t owner = reply ? reply->owner : std::uint32_t(XCB_WINDOW_NONE);
    std::free(reply);
    if (owner != XCB_WINDOW_NONE) {
        const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_x11, owner, XCB_CW_EVENT_MASK, &mask);
    }
    xcb_ungrab_server(m_x11);
    xcb_flush(m_x11);
    change(m_host, owner);
#endif
}

bool SystemTrayWatch::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
#if MARROWICK_WATCH_X11
    if (!m_x11 || eventType != "xcb_generic_event_t")
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    bool trayChanged = false;
    switch (event->response_type & 0x7f) {
    case XCB_CLIENT_MESSAGE: {
        const auto *client = static_cast<const xcb_client_message_event_t *>(message);
        trayChanged = client->type == m_x11ManagerMessage && client->format == 32 &&
                      client->data.data32[1] == m_x11Selection;
        break;
    }
    case XCB_DESTROY_NOTIFY:
        trayChanged = m_x11Owner != 0 && static_cast<const xcb_destroy_notify_event_t *>(message)->window == m_x11Owner;
        break;
    default:
        break;
    }
    // Read after this event is handled: no round trip to the server inside Qt's event dispatch.
    if (trayChanged)
        QMetaObject::invokeMethod(this, &SystemTrayWatch::readX11TrayOwner, Qt::QueuedConnection);
#else
    Q_UNUSED(eventType);
    Q_UNUSED(message);
#endif
    return false;
}

} // namespace marrowick
