#include "Marrowick/PillButton.h"

#include "Marrowick/MarrowickStyle.h"

#include <QFontMetrics>
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

QSize PillButton::sizeHint() const
{
    const bool prominent = m_kind == Kind::prominent;
    const QFont pillFont = prominent ? MarrowickProminentPillStyle::font(font()) : MarrowickGhostPillStyle::font(font());
    const QMarginsF padding = prominent ? MarrowickProminentPillStyle::padding : MarrowickGhostPillStyle::padding;
    const QFontMetricsF metrics(pillFont);
    const qreal width = metrics.horizontalAdvance(text()) + padding.left() + padding.right();
    const qreal height = metrics.height() + padding.top() + padding.bottom();
    return QSize(static_cast<int>(std::ceil(width)), static_cast<int>(std::ceil(height)));
}

void PillButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRectF area = rect();
    if (m_kind == Kind::prominent) {
        MarrowickProminentPillStyle::paint(painter, area, text(), font(), isDown(), marrowickAccent(this),
                                           marrowickOnAccent(this));
    } else {
        MarrowickGhostPillStyle::paint(painter, area, text(), font(), isDown(), palette());
    }
}

} // namespace marrowick
