#pragma once

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
// nothing moves the focus at all. So on X11 the popup holds the pointer while it is open, as a
// menu does, and a press outside closes it. Wayland has no global pointer to hold; there the
// compositor moves the focus, and that deactivates the popup.
//
// The press that closes the popup goes nowhere else, as with a menu; the focus goes back to the
// window that had it before the popup opened, as if the popup had never taken it.
class PopupDismissal : public QObject {
    Q_OBJECT

public:
    // A click on the tray icon that closed the popup arrives after it closed: within this time
    // it is the same gesture, not a request to reopen.
    static constexpr qint64 reopenGuardMs = 300;

    explicit PopupDismissal(QWidget *popup);

    // Off while the popup is shown as an ordinary window.
    void setEnabled(bool enabled);
    // Whether the popup was dismissed a moment ago.
    bool justDismissed() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void dismiss();
    void dismissWithScreen(QScreen *screen);
    void holdPointer();
    void rememberFocus();
    void restoreFocus();

    QWidget *m_popup;
    bool m_enabled = false;
    // The panel may still hold the pointer for the click that opened the popup: asked again
    // until it lets go.
    QTimer m_holdAgain;
    int m_holdTries = 0;
    bool m_holding = false;
    QElapsedTimer m_dismissedAt;
    std::uint32_t m_focusBefore = 0; // the X11 window, or none
    bool m_focusRemembered = false;
};

} // namespace marrowick
