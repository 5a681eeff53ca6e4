#include "Marrowick/Shell/PopupDismissal.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#if defined(MARROWICK_WITH_XCB) && QT_CONFIG(xcb)
#define MARROWICK_X11_FOCUS 1
#include <xcb/xcb.h>

#include <cstdlib>
#endif

namespace marrowick {

namespace {

constexpr int holdRetryMs = 50;
constexpr int holdTries = 40;

#if MARROWICK_X11_FOCUS
xcb_connection_t *x11Connection()
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
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

void PopupDismissal::restoreFocus()
{
#if MARROWICK_X11_FOCUS
    xcb_connection_t *connection = x11Connection();
    if (!connection || !m_focusRemembered)
        return;
    // The window may have gone meanwhile: then the focus stays where it fell, and the error is
    // nobody's business.
    const xcb_void_cookie_t set = xcb_set_input_focus_checked(connection, XCB_INPUT_FOCUS_PARENT, m_focusBefore,
                                                              XCB_CURRENT_TIME);
    xcb_discard_reply(connection, set.sequence);
    xcb_flush(connection);
#endif
}

bool PopupDismissal::eventFilter(QObject *watched, QEvent *event)
{
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
            dismiss();
            restoreFocus();
            return true;
        }
        break;
    case QEvent::Show:
        // Before the popup is mapped and takes the focus; it is held once mapped.
        if (m_enabled && QGuiApplication::platformName() == QLatin1String("xcb")) {
            rememberFocus();
            m_holdTries = 0;
            QTimer::singleShot(0, this, &PopupDismissal::holdPointer);
        }
        break;
    case QEvent::Hide:
        m_holdAgain.stop();
        if (QWindow *window = m_popup->windowHandle(); window && m_holding)
            window->setMouseGrabEnabled(false);
        m_holding = false;
        break;
    default:
        break;
    }
    return false;
}

} // namespace marrowick
