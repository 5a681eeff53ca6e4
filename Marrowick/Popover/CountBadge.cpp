#include "Marrowick/Popover/CountBadge.h"

#include "Marrowick/Popover/PopoverText.h"
#include "Marrowick/Style/MarrowickStyle.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace marrowick {

CountBadge::CountBadge(qsizetype count, QWidget *parent) : QWidget(parent), m_count(count)
{
    setObjectName(QStringLiteral("countBadge"));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void CountBadge::setCount(qsizetype count)
{
    if (count == m_count)
        return;
    m_count = count;
    updateGeometry();
    update();
}

QFont CountBadge::textFont() const
{
    return marrowick::textFont(font(), TextStyle::caption2, QFont::DemiBold);
}

QSize CountBadge::sizeHint() const
{
    const QFontMetricsF metrics(textFont());
    return QSize(static_cast<int>(std::ceil(metrics.horizontalAdvance(text()) + 12)),
                 static_cast<int>(std::ceil(metrics.height() + 2)));
}

void CountBadge::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath capsule;
    capsule.addRoundedRect(area, area.height() / 2, area.height() / 2);
    QColor fill = palette().color(QPalette::WindowText);
    fill.setAlphaF(0.08f);
    painter.fillPath(capsule, fill);
    painter.strokePath(capsule, QPen(cardStroke(palette()), 1));
    painter.setFont(textFont());
    painter.setPen(secondaryColor(palette()));
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text());
}

} // namespace marrowick
