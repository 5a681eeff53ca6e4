#include "Marrowick/Style/PillButton.h"

#include "Marrowick/Style/MarrowickStyle.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QPainter>

#include <cmath>

namespace marrowick {

PillButton::PillButton(const QString &text, Kind kind, QWidget *parent)
    : QAbstractButton(parent), m_kind(kind)
{
    setText(text);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
}

void PillButton::setSymbol(Symbol symbol)
{
    m_symbol = symbol;
    updateGeometry();
    update();
}

void PillButton::setBusy(bool busy)
{
    if (busy == m_busy)
        return;
    m_busy = busy;
    update();
}

QSize PillButton::sizeHint() const
{
    const bool prominent = m_kind == Kind::prominent;
    const QFont pillFont = prominent ? MarrowickProminentPillStyle::font(font()) : MarrowickGhostPillStyle::font(font());
    const QMarginsF padding = prominent ? MarrowickProminentPillStyle::padding : MarrowickGhostPillStyle::padding;
    const QFontMetricsF metrics(pillFont);
    const qreal width = pillLabelWidth(pillFont, text(), m_symbol) + padding.left() + padding.right();
    const qreal height = metrics.height() + padding.top() + padding.bottom();
    return QSize(static_cast<int>(std::ceil(width)), static_cast<int>(std::ceil(height)));
}

void PillButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    // A disabled pill fades, so an unavailable action does not read as one to press.
    if (!isEnabled() || m_busy)
        painter.setOpacity(0.45);
    const QRectF area = rect();
    // The main action's fill stands out of the window behind it, and its label out of the fill.
    const QColor fill = m_kind == Kind::prominent ? marrowickAccentFill(this) : QColor();
    if (m_kind == Kind::prominent) {
        MarrowickProminentPillStyle::paint(painter, area, text(), font(), isDown(), fill, inkOn(fill), m_symbol);
    } else {
        MarrowickGhostPillStyle::paint(painter, area, text(), font(), isDown(), palette(), m_symbol);
    }
    if (hasFocus()) {
        // Whole even on a busy pill, which keeps the focus.
        painter.setOpacity(1);
        paintFocusRing(painter, area, fill);
    }
}

bool PillButton::isConfirmKey(const QKeyEvent *event)
{
    return (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
           && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

// Return presses the focused pill, as it presses a focused push button, never the window's
// main action behind it; held down, it presses once.
void PillButton::keyPressEvent(QKeyEvent *event)
{
    if (!isConfirmKey(event)) {
        QAbstractButton::keyPressEvent(event);
        return;
    }
    if (!event->isAutoRepeat())
        click();
}

// Keyboard users need to see which pill Space will press: a ring 3:1 apart from both sides.
void PillButton::paintFocusRing(QPainter &painter, const QRectF &area, const QColor &fill) const
{
    painter.setRenderHint(QPainter::Antialiasing);
    // On the accent-filled pill the ring takes the text colour inside the fill, which then lies
    // on both of its sides; on the ghost pill it lies on the edge, between its faint fill and
    // the window.
    const bool prominent = m_kind == Kind::prominent;
    const QColor colour = prominent ? inkOn(fill) : marrowickFocusRing(this, MarrowickGhostPillStyle::fill(palette()));
    painter.setPen(QPen(colour, 2));
    painter.setBrush(Qt::NoBrush);
    const qreal inset = prominent ? 3 : 1;
    const QRectF ring = area.adjusted(inset, inset, -inset, -inset);
    painter.drawRoundedRect(ring, ring.height() / 2, ring.height() / 2);
}

} // namespace marrowick
