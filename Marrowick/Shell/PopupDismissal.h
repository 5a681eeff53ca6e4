#pragma once

#include <QAbstractNativeEventFilter>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdint>

class QScreen;
class QWidget;

namespace marrowick {

// Hides the tray popup when the user turns elsewhere: another window takes the focus, or a
// click lands outside the popup; and when its screen goes or changes its size.
//
// The focus alone does not tell of every click. The popup is left alone by the window manager,
// so a window manager that lets a click through to the window it counts as active, without
// setting the focus again (icewm), leaves the focus in the popup; without a window manager
// nothing moves the focus at all. So on X11 the popup watches the presses while it is open:
// it grabs the buttons on the root window, as a window manager does for click-to-focus. A
// press outside closes it, hands the focus back to the window that had it before, and then
// goes on to the window under the pointer, whose window manager focuses it as after any click.
// Where another program already holds that grab, the popup holds the pointer instead, as a
// menu does, and the press that closes it goes no further. Wayland has no global pointer to
// watch; there the compositor moves the focus, and that deactivates the popup.
//
// However else it closes (Escape, the tray icon, a button of its own), the focus goes back to
// the window that had it, unless something else has taken it meanwhile: left where the popup
// held it, it would fall to the root window, and icewm, which never saw the popup take it,
// still shows that window as active while typing goes nowhere.
class PopupDismissal : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT

public:
    // A click on the tray icon that closed the popup arrives after it closed: within this time
    // it is the same gesture, not a request to reopen.
    static constexpr qint64 reopenGuardMs = 300;

    explicit PopupDismissal(QWidget *popup);
    ~PopupDismissal() override;

    // Off while the popup is shown as an ordinary window.
    void setEnabled(bool enabled);
    // Whether the popup was dismissed a moment ago.
    bool justDismissed() const;

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void dismiss();
    void dismissWithScreen(QScreen *screen);
    void shown();
    void hidden();
    bool watchPresses();
    void unwatchPresses();
    void holdPointer();
    void rememberFocus();
    // `time` is the X server time of the user's action that closed the popup, or 0 for now.
    void restoreFocus(std::uint32_t time);
    bool focusLeftWithPopup() const;

    QWidget *m_popup;
    bool m_enabled = false;
    // The buttons are grabbed on the root window while the popup is shown.
    bool m_watching = false;
    // The panel may still hold the pointer for the click that opened the popup: asked again
    // until it lets go.
    QTimer m_holdAgain;
    int m_holdTries = 0;
    bool m_holding = false;
    QElapsedTimer m_dismissedAt;
    std::uint32_t m_focusBefore = 0; // the X11 window, or none
    bool m_focusRemembered = false;
    // The time of the last key or button event the popup saw, for handing the focus back.
    std::uint32_t m_lastInputTime = 0;
};

} // namespace marrowick
