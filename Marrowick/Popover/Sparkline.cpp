#include "Marrowick/Popover/Sparkline.h"

#include "Marrowick/Style/MarrowickStyle.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace marrowick {

namespace {

// Far beyond any latency, and small enough that the difference of two values stays finite.
constexpr double valueLimit = 1e12;

double drawable(double value)
{
    return std::isfinite(value) ? std::clamp(value, -valueLimit, valueLimit) : 0.0;
}

} // namespace

Sparkline::Sparkline(QList<double> values, QWidget *parent) : QWidget(parent), m_values(std::move(values))
{
    setObjectName(QStringLiteral("sparkline"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void Sparkline::setValues(const QList<double> &values)
{
    if (values == m_values)
        return;
    m_values = values;
    update();
}

QList<QPointF> Sparkline::points() const
{
    QList<QPointF> result;
    result.reserve(m_values.size());
    for (qsizetype i = 0; i < m_values.size(); ++i)
        result.append(QPointF(static_cast<qreal>(i), m_values.at(i)));
    return result;
}

void Sparkline::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paint(painter, QRectF(rect()).adjusted(1, 1, -1, -1), m_values, marrowickAccentMark(this));
}

void Sparkline::paint(QPainter &painter, const QRectF &area, const QList<double> &values, const QColor &color)
{
    if (values.size() < 2)
        return;
    double low = drawable(values.front());
    double high = low;
    for (const double value : values) {
        low = std::min(low, drawable(value));
        high = std::max(high, drawable(value));
    }
    const double span = high - low;
    QPolygonF line;
    line.reserve(values.size());
    for (qsizetype i = 0; i < values.size(); ++i) {
        const double x = area.left() + area.width() * static_cast<double>(i) / static_cast<double>(values.size() - 1);
        // A flat series runs along the middle.
        const double fraction = span > 0 ? (drawable(values.at(i)) - low) / span : 0.5;
        line.append(QPointF(x, area.bottom() - fraction * area.height()));
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(color, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPolyline(line);
    painter.restore();
}

} // namespace marrowick
