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

void WindowFit::fit()
{
    const QScreen *screen = screenOf(m_window);
    if (!screen)
        return;
    m_frame = frameMargins(m_window);
    if (!m_designed) {
        // Shrinks the window where it is larger; its content's minimum is the least it can take.
        const QSize room = fittedSize(QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX), screen->availableGeometry().size(),
                                      m_frame, screen->devicePixelRatio());
        m_window->setMaximumSize(room.expandedTo(m_window->minimumSize()));
        keepInside();
        return;
    }
    const QSize size = fittedSize(*m_designed, screen->availableGeometry().size(), m_frame, screen->devicePixelRatio());
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
    const QRect outer(m_window->pos(), m_window->size().grownBy(m_frame));
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
    if (event->type() == QEvent::Show)
        m_placed = false;
    const bool placed = isPlacement(event);
    const bool framed = event->type() == QEvent::Move && frameMargins(m_window) != m_frame;
    if (placed || framed || event->type() == QEvent::Show || event->type() == QEvent::ScreenChangeInternal)
        fit();
    return QObject::eventFilter(watched, event);
}

} // namespace marrowick
