#include "Marrowick/Shell/PopupDismissal.h"

#include "Marrowick/Shell/X11Connection.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#if defined(MARROWICK_WITH_XCB) && QT_CONFIG(xcb)
#define MARROWICK_X11_FOCUS 1
#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#endif

#include <utility>

namespace marrowick {

namespace {

constexpr int holdRetryMs = 50;
constexpr int holdTries = 40;

#if MARROWICK_X11_FOCUS
// The buttons a press of which closes the popup; the wheel and the side buttons pass by.
constexpr std::uint8_t closingButtons[] = {1, 2, 3};

template <typename Visit>
void forEachRoot(xcb_connection_t *connection, Visit visit)
{
    for (auto roots = xcb_setup_roots_iterator(xcb_get_setup(connection)); roots.rem > 0; xcb_screen_next(&roots))
        visit(roots.data->root);
}

bool isRoot(xcb_connection_t *connection, xcb_window_t window)
{
    bool found = false;
    forEachRoot(connection, [&](xcb_window_t root) { found = found || root == window; });
    return found;
}
#endif

} // namespace

PopupDismissal::PopupDismissal(QWidget *popup) : QObject(popup), m_popup(popup)
{
    m_holdAgain.setInterval(holdRetryMs);
    connect(&m_holdAgain, &QTimer::timeout, this, &PopupDismissal::holdPointer);
    popup->installEventFilter(this);
    const auto follow = [this](QScreen *screen) {
        connect(screen, &QScreen::geometryChanged, this, [this, screen] { dismissWithScreen(screen); });
    };
    for (QScreen *screen : QGuiApplication::screens())
        follow(screen);
    connect(qGuiApp, &QGuiApplication::screenAdded, this, follow);
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, &PopupDismissal::dismissWithScreen);
}

PopupDismissal::~PopupDismissal()
{
    unwatchPresses();
}

void PopupDismissal::setEnabled(bool enabled)
{
    m_enabled = enabled;
}

bool PopupDismissal::justDismissed() const
{
    return m_dismissedAt.isValid() && m_dismissedAt.elapsed() < reopenGuardMs;
}

void PopupDismissal::holdPointer()
{
    QWindow *window = m_popup->windowHandle();
    m_holding = window && m_popup->isVisible() && window->setMouseGrabEnabled(true);
    if (m_holding || !window || !m_popup->isVisible() || ++m_holdTries >= holdTries)
        m_holdAgain.stop();
    else if (!m_holdAgain.isActive())
        m_holdAgain.start();
}

void PopupDismissal::dismiss()
{
    m_popup->hide();
    m_dismissedAt.start();
}

// The popup was placed for its screen: one that goes would leave it where nothing shows it,
// holding the pointer, and one that changes its size may have moved the panel under it.
void PopupDismissal::dismissWithScreen(QScreen *screen)
{
    if (m_enabled && m_popup->isVisible() && m_popup->screen() == screen)
        dismiss();
}

// A passive grab of the buttons on every root window, in the synchronous mode: each press
// waits for the popup to look at it, and then goes on as if the grab had not been there.
bool PopupDismissal::watchPresses()
{
#if MARROWICK_X11_FOCUS
    xcb_connection_t *connection = x11Connection();
    if (!connection)
        return false;
    bool granted = true;
    forEachRoot(connection, [&](xcb_window_t root) {
        for (const std::uint8_t button : closingButtons) {
            const xcb_void_cookie_t grab = xcb_grab_button_checked(
                connection, 0, root, XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE,
                XCB_GRAB_MODE_SYNC, XCB_GRAB_MODE_ASYNC, XCB_NONE, XCB_NONE, button, XCB_MOD_MASK_ANY);
            const std::unique_ptr<xcb_generic_error_t, decltype(&std::free)> error(xcb_request_check(connection, grab),
                                                                                  &std::free);
            granted = granted && !error;
        }
    });
    m_watching = true;
    qGuiApp->installNativeEventFilter(this);
    if (!granted)
        unwatchPresses();
    return granted;
#else
    return false;
#endif
}

void PopupDismissal::unwatchPresses()
{
    if (!std::exchange(m_watching, false))
        return;
    qGuiApp->removeNativeEventFilter(this);
#if MARROWICK_X11_FOCUS
    if (xcb_connection_t *connection = x11Connection()) {
        forEachRoot(connection, [&](xcb_window_t root) {
            for (const std::uint8_t button : closingButtons)
                xcb_ungrab_button(connection, button, root, XCB_MOD_MASK_ANY);
        });
        // A press that came while the popup closed otherwise waits at the server, the pointer
        // frozen, for an answer that the filter, gone now, would have given: let it go on. The
        // server ignores this where no press waits.
        xcb_allow_events(connection, XCB_ALLOW_REPLAY_POINTER, XCB_CURRENT_TIME);
        xcb_flush(connection);
    }
#endif
}

void PopupDismissal::rememberFocus()
{
    m_focusRemembered = false;
#if MARROWICK_X11_FOCUS
    xcb_connection_t *connection = x11Connection();
    if (!connection)
        return;
    xcb_get_input_focus_reply_t *reply = xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr);
    if (reply) {
        m_focusBefore = reply->focus;
        m_focusRemembered = true;
    }
    std::free(reply);
#endif
}

// Where the popup held the focus, or where it fell when the popup went away.
bool PopupDismissal::focusLeftWithPopup() const
{
#if MARROWICK_X11_FOCUS
    xcb_connection_t *connection = x11Connection();
    if (!connection)
        return false;
    xcb_get_input_focus_reply_t *reply = xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr);
    if (!reply)
        return false;
    const xcb_window_t focus = reply->focus;
    std::free(reply);
    const QWindow *window = m_popup->windowHandle();
    return focus == XCB_NONE || focus == XCB_INPUT_FOCUS_POINTER_ROOT || isRoot(connection, focus)
           || (window && focus == window->winId());
#else
    return false;
#endif
}

void PopupDismissal::restoreFocus(std::uint32_t time)
{
#if MARROWICK_X11_FOCUS
    xcb_connection_t *connection = x11Connection();
    if (!connection || !m_focusRemembered)
        return;
    // The time of the user's action, not the present: a window manager that focuses the window
    // the user asked for (Settings, or the window a press goes on to) names that time, and
    // the server ignores a focus change older than the last one. The window may have gone
    // meanwhile: then the focus stays where it fell, and the error is nobody's business.
    const xcb_void_cookie_t set = xcb_set_input_focus_checked(connection, XCB_INPUT_FOCUS_PARENT, m_focusBefore,
                                                              time ? time : XCB_CURRENT_TIME);
    xcb_discard_reply(connection, set.sequence);
    xcb_flush(connection);
#else
    Q_UNUSED(time);
#endif
}

bool PopupDismissal::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
#if MARROWICK_X11_FOCUS
    if (!m_watching || eventType != "xcb_generic_event_t")
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    if ((event->response_type & 0x7f) != XCB_BUTTON_PRESS)
        return false;
    const auto *press = static_cast<const xcb_button_press_event_t *>(message);
    xcb_connection_t *connection = x11Connection();
    if (!connection || !isRoot(connection, press->event))
        return false;
    // The grab is on the root, so the press names the top-level window under the pointer.
    const QWindow *window = m_popup->windowHandle();
    if (m_enabled && m_popup->isVisible() && !(window && press->child == window->winId())) {
        m_lastInputTime = press->time;
        restoreFocus(press->time);
        dismiss();
    }
    xcb_allow_events(connection, XCB_ALLOW_REPLAY_POINTER, press->time);
    xcb_flush(connection);
    return true;
#else
    Q_UNUSED(eventType);
    Q_UNUSED(message);
    return false;
#endif
}

void PopupDismissal::shown()
{
    // Before the popup is mapped and takes the focus.
    m_lastInputTime = 0;
    if (QWindow *window = m_popup->windowHandle())
        window->installEventFilter(this);
    if (!m_enabled || QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    rememberFocus();
    if (watchPresses())
        return;
    // Held once mapped.
    m_holdTries = 0;
    QTimer::singleShot(0, this, &PopupDismissal::holdPointer);
}

void PopupDismissal::hidden()
{
    unwatchPresses();
    m_holdAgain.stop();
    if (QWindow *window = m_popup->windowHandle(); window && m_holding)
        window->setMouseGrabEnabled(false);
    m_holding = false;
    if (m_focusRemembered && focusLeftWithPopup())
        restoreFocus(m_lastInputTime);
    m_focusRemembered = false;
}

bool PopupDismissal::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_popup->windowHandle()) {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
            m_lastInputTime = static_cast<std::uint32_t>(static_cast<QInputEvent *>(event)->timestamp());
            break;
        default:
            break;
        }
        return false;
    }
    if (watched != m_popup)
        return false;
    switch (event->type()) {
    case QEvent::WindowDeactivate:
        if (m_enabled && m_popup->isVisible())
            dismiss();
        break;
    case QEvent::MouseButtonPress:
        // While the pointer is held, a press anywhere else comes here, outside the popup.
        if (m_enabled && !m_popup->rect().contains(static_cast<QMouseEvent *>(event)->position().toPoint())) {
            restoreFocus(static_cast<std::uint32_t>(static_cast<QMouseEvent *>(event)->timestamp()));
            dismiss();
            return true;
        }
        break;
    case QEvent::Show:
        shown();
        break;
    case QEvent::Hide:
        hidden();
        break;
    default:
        break;
    }
    return false;
}

} // namespace marrowick
