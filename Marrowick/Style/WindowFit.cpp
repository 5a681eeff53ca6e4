#include "Marrowick/Style/WindowFit.h"

#include <QEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace marrowick {

namespace {

// Until the window manager has framed a window, a title bar and thin borders are assumed.
const QMargins assumedFrame(4, 32, 4, 4);

int clampedStart(int start, int length, int areaStart, int areaLength)
{
    return std::max(areaStart, std::min(start, areaStart + areaLength - length));
}

// Qt hands out the area and the frame rounded to whole device-independent pixels, and rounds
// the window's size back to device pixels: on a fractional scale that may take a device pixel
// or two more than the area has. Integral scales divide exactly.
constexpr int roundingSlack = 2;

int roundingAllowance(qreal scale)
{
    return qFuzzyCompare(scale, std::round(scale)) ? 0 : roundingSlack;
}

} // namespace

QPoint keptInside(const QRect &rect, const QRect &area)
{
    return QPoint(clampedStart(rect.left(), rect.width(), area.left(), area.width()),
                  clampedStart(rect.top(), rect.height(), area.top(), area.height()));
}

WindowFit::WindowFit(QWidget *window, std::optional<QSize> designed)
    : QObject(window), m_window(window), m_designed(designed)
{
    window->installEventFilter(this);
}

void WindowFit::apply(QWidget *window, QSize designed)
{
    window->setFixedSize(designed);
    new WindowFit(window, designed);
}

void WindowFit::applyToOwnSize(QWidget *window)
{
    new WindowFit(window, std::nullopt);
}

QSize WindowFit::fittedSize(QSize designed, QSize area, QMargins frame, qreal scale)
{
    const int allowance = roundingAllowance(scale);
    const QSize room(area.width() - frame.left() - frame.right() - allowance,
                     area.height() - frame.top() - frame.bottom() - allowance);
    return designed.boundedTo(room.expandedTo(QSize(1, 1)));
}

QMargins WindowFit::frameMargins(const QWidget *window)
{
    if (const QWindow *handle = window->windowHandle(); handle && !handle->frameMargins().isNull())
        return handle->frameMargins();
    // Another window the window manager has framed is framed as this one will be.
    for (const QWindow *other : QGuiApplication::topLevelWindows()) {
        if (other->isVisible() && other->type() != Qt::Popup && other->type() != Qt::ToolTip
            && !other->frameMargins().isNull())
            return other->frameMargins();
    }
    return assumedFrame;
}

// A dialog about to be shown opens over its parent, on the parent's screen.
const QScreen *WindowFit::screenOf(const QWidget *window)
{
    const QWindow *handle = window->windowHandle();
    if (window->parentWidget() && !(handle && handle->isVisible()))
        return window->parentWidget()->window()->screen();
    return window->screen();
}

QSize WindowFit::room(const QWidget *window)
{
    const QScreen *screen = screenOf(window);
    if (!screen)
        return QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    return fittedSize(QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX), screen->availableGeometry().size(),
                      frameMargins(window), screen->devicePixelRatio());
}

// Qt's screen of a window changes only once the window system has told where the window went;
// until then a window moved onto another screen is still reported on the one it left, and a
// fit for that screen would move it back, over and over. The window system counts a window on
// the screen under its centre, in device pixels: the screens' device-independent areas of
// different scales leave gaps and overlaps between them.
bool WindowFit::reportedScreenIsStale(const QScreen *screen) const
{
    const QWindow *handle = m_window->windowHandle();
    if (!handle || !handle->isVisible())
        return false;
    const auto devicePixelArea = [](const QScreen *of) {
        const QRect area = of->geometry();
        return QRectF(area.topLeft(), QSizeF(area.size()) * of->devicePixelRatio());
    };
    const QPointF origin = screen->geometry().topLeft();
    const QPointF centre = origin + (QRectF(m_window->geometry()).center() - origin) * screen->devicePixelRatio();
    if (devicePixelArea(screen).contains(centre))
        return false;
    const QList<QScreen *> screens = QGuiApplication::screens();
    return std::any_of(screens.cbegin(), screens.cend(),
                       [&](const QScreen *other) { return devicePixelArea(other).contains(centre); });
}

void WindowFit::followScreen(const QScreen *screen)
{
    if (m_followed == screen)
        return;
    if (m_followed)
        disconnect(m_followed, nullptr, this, nullptr);
    m_followed = screen;
    if (!screen)
        return;
    connect(screen, &QScreen::geometryChanged, this, &WindowFit::refit);
    connect(screen, &QScreen::availableGeometryChanged, this, &WindowFit::refit);
    connect(screen, &QScreen::logicalDotsPerInchChanged, this, &WindowFit::refit);
    connect(screen, &QScreen::physicalDotsPerInchChanged, this, &WindowFit::refit);
}

void WindowFit::refit()
{
    if (m_window->isVisible())
        follow(false);
}

void WindowFit::follow(bool placed)
{
    const QScreen *screen = screenOf(m_window);
    followScreen(screen);
    if (!screen || reportedScreenIsStale(screen))
        return;
    const Fitting now{screen, screen->availableGeometry(), screen->devicePixelRatio(), frameMargins(m_window)};
    if (now != m_fitted)
        fit(now);
    else if (placed)
        keepInside();
}

void WindowFit::fit(const Fitting &fitting)
{
    m_fitted = fitting;
    if (!m_designed) {
        // Shrinks the window where it is larger; its content's minimum is the least it can take.
        const QSize room = fittedSize(QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX), fitting.area.size(), fitting.frame,
                                      fitting.scale);
        m_window->setMaximumSize(room.expandedTo(m_window->minimumSize()));
        keepInside();
        return;
    }
    const QSize size = fittedSize(*m_designed, fitting.area.size(), fitting.frame, fitting.scale);
    if (size == *m_designed) {
        m_window->setFixedSize(*m_designed);
    } else {
        // The content's own minimum, small where it scrolls, so the user may shrink it further.
        const QSize minimum = m_window->layout() ? m_window->layout()->totalMinimumSize() : m_window->minimumSizeHint();
        m_window->setMinimumSize(minimum.boundedTo(size));
        m_window->setMaximumSize(*m_designed);
        m_window->resize(size);
    }
    keepInside();
}

// A window not yet placed is left to the window manager, or to its dialog, which places it
// inside the area; one already placed is moved inside.
void WindowFit::keepInside()
{
    const QWindow *handle = m_window->windowHandle();
    const QScreen *screen = screenOf(m_window);
    if (!screen || (!m_window->testAttribute(Qt::WA_Moved) && !(handle && handle->isVisible())))
        return;
    const QRect area = screen->availableGeometry();
    // A window's position is that of its frame.
    const QRect outer(m_window->pos(), m_window->size().grownBy(m_fitted.frame));
    const QPoint inside = keptInside(outer, area);
    if (inside != outer.topLeft())
        m_window->move(inside);
}

// The window manager frames and places a shown window where it likes, which may reach out of
// the area (a dialog centred over a window at the top of the screen): the first move from the
// window system to anywhere but where the window was asked to go (give or take the rounding of
// a scaled screen) is that placement. Only it counts, never a move the user makes later.
bool WindowFit::isPlacement(const QEvent *event)
{
    if (event->type() != QEvent::Move)
        return false;
    if (!event->spontaneous()) {
        m_asked = m_window->pos();
        return false;
    }
    if (m_placed || (m_window->pos() - m_asked).manhattanLength() <= roundingSlack)
        return false;
    m_placed = true;
    return true;
}

bool WindowFit::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window)
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::Show:
        // Fitted before it is mapped; the window manager may frame it otherwise than last time.
        m_placed = false;
        m_fitted = {};
        follow(false);
        break;
    case QEvent::ScreenChangeInternal:
        // Qt gives the window its place on the new screen only after telling of the change.
        QMetaObject::invokeMethod(this, &WindowFit::refit, Qt::QueuedConnection);
        break;
    case QEvent::Move: {
        if (!m_window->isVisible())
            break;
        const bool placed = isPlacement(event);
        if (placed || frameMargins(m_window) != m_fitted.frame)
            follow(placed);
        break;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace marrowick
