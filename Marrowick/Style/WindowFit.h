#pragma once

#include <QMargins>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>

#include <optional>

class QScreen;
class QWidget;

namespace marrowick {

// Where `rect` starts once moved inside `area`; one larger than the area keeps its top or left
// inside it, so that edge stays visible.
QPoint keptInside(const QRect &rect, const QRect &area);

// Gives a window its designed size where the screen it is on has room for it, else what fits.
//
// The designed sizes are fixed, which suits a screen with room to spare. On a smaller available
// area (a laptop at 125 or 150 %) such a window would reach under the panel or off the screen,
// where the window manager cannot resize it: there it takes the room the area leaves beside its
// frame, resizable up to its designed size, and is moved inside the area. Its content must
// scroll, with its buttons outside the scrolling part. Fitted when shown, and again once per
// change of its screen, of that screen's size or scale, or of its frame; never in reply to a
// move of its own. The window manager's first placement is kept inside the area.
class WindowFit : public QObject {
    Q_OBJECT

public:
    // Fits `window` from now on, and gives it its designed size now; owned by the window.
    static void apply(QWidget *window, QSize designed);
    // Fits a window that chooses its own size (a file dialog) from now on: no larger than the
    // room the screen leaves, and inside the area once placed.
    static void applyToOwnSize(QWidget *window);

    // What a window of `designed` size gets on an available area of `area` with `frame` around
    // it, on a screen of `scale` device pixels to one of the window's.
    static QSize fittedSize(QSize designed, QSize area, QMargins frame, qreal scale);
    // The room the available area of the window's screen leaves beside the window's frame.
    static QSize room(const QWidget *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // What a fit depends on; the window is fitted again only when one of them changes.
    struct Fitting {
        const QScreen *screen = nullptr;
        QRect area;
        qreal scale = 0;
        QMargins frame;
        bool operator==(const Fitting &) const = default;
    };

    WindowFit(QWidget *window, std::optional<QSize> designed);
    static const QScreen *screenOf(const QWidget *window);
    static QMargins frameMargins(const QWidget *window);
    // Fits the window where what it depends on has changed since the last fit, else only keeps
    // it inside the area where `placed`; nothing while the window system still has it on
    // another screen than the one Qt reports.
    void follow(bool placed);
    bool reportedScreenIsStale(const QScreen *screen) const;
    void followScreen(const QScreen *screen);
    // Follows a change while the window is shown; a hidden one is fitted when next shown.
    void refit();
    void fit(const Fitting &fitting);
    void keepInside();
    // Whether `event` is the window manager's placement of the shown window.
    bool isPlacement(const QEvent *event);

    QWidget *m_window;
    // None for a window that chooses its own size.
    std::optional<QSize> m_designed;
    // What the last fit allowed for.
    Fitting m_fitted;
    // The screen whose changes of size and scale are followed.
    QPointer<const QScreen> m_followed;
    // Whether the window manager has placed the window since it was last shown, and where the
    // window was last asked to go.
    bool m_placed = false;
    QPoint m_asked;
};

} // namespace marrowick
