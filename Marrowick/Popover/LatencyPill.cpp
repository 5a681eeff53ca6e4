#include "Marrowick/Popover/LatencyPill.h"

#include "Marrowick/Style/Symbol.h"
#include "Marrowick/Popover/PopoverText.h"
#include "Marrowick/Style/MarrowickStyle.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace marrowick {

namespace {

constexpr qreal symbolSide = 9;
constexpr qreal spacing = 5;
constexpr qreal horizontalPadding = 8;
constexpr qreal verticalPadding = 3;
// About eleven days: no real answer takes longer, and every value up to it prints exactly.
constexpr double latencyLimit = 1e9;

QColor pillFill(const QPalette &palette)
{
    QColor fill = palette.color(QPalette::WindowText);
    fill.setAlphaF(0.03f);
    return fill;
}

} // namespace

QString latencyText(const std::optional<QString> &prefix, std::optional<double> latencyMs)
{
    if (!latencyMs)
        return QStringLiteral("\u2014");
    const QString value = QString::number(truncatedForDisplay(*latencyMs, latencyLimit)) + QStringLiteral("ms");
    return prefix ? *prefix + QLatin1Char(' ') + value : value;
}

LatencyPill::LatencyPill(std::optional<QString> prefix, std::optional<double> latencyMs, QWidget *parent)
    : QWidget(parent), m_prefix(std::move(prefix))
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setObjectName(QStringLiteral("latencyPill"));
    setLatency(latencyMs);
    m_ink = ink(this);
}

void LatencyPill::setLatency(std::optional<double> latencyMs)
{
    const QString text = latencyText(m_prefix, latencyMs);
    if (text == m_text)
        return;
    m_text = text;
    setAccessibleName(text);
    updateGeometry();
    update();
}

QSize LatencyPill::sizeHint() const
{
    return pillSize(font(), m_text);
}

QSize LatencyPill::pillSize(const QFont &base, const QString &text)
{
    const QFontMetricsF metrics(textFont(base, TextStyle::caption, QFont::DemiBold));
    const qreal width = horizontalPadding * 2 + symbolSide + spacing + metrics.horizontalAdvance(text);
    const qreal height = verticalPadding * 2 + std::max(metrics.height(), symbolSide);
    return QSize(static_cast<int>(std::ceil(width)), static_cast<int>(std::ceil(height)));
}

void LatencyPill::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paint(painter, rect(), m_text, font(), palette(), m_ink);
}

void LatencyPill::changeEvent(QEvent *event)
{
    if (accentSurroundingsChanged(event))
        m_ink = ink(this);
    QWidget::changeEvent(event);
}

QColor LatencyPill::ink(const QWidget *widget)
{
    return marrowickAccentOn(widget, accentTextContrast, pillFill(widget->palette()));
}

void LatencyPill::paint(QPainter &painter, const QRectF &area, const QString &text, const QFont &base,
                        const QPalette &palette, const QColor &ink)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath capsule;
    capsule.addRoundedRect(area.adjusted(0.5, 0.5, -0.5, -0.5), area.height() / 2, area.height() / 2);
    painter.fillPath(capsule, pillFill(palette));
    QColor stroke = cardStroke(palette);
    stroke.setAlphaF(stroke.alphaF() * 0.7f);
    painter.strokePath(capsule, QPen(stroke, 1));

    const QRectF symbol(area.left() + horizontalPadding, area.top() + (area.height() - symbolSide) / 2, symbolSide,
                        symbolSide);
    paintSymbol(painter, Symbol::waveform, symbol, ink);
    painter.setFont(textFont(base, TextStyle::caption, QFont::DemiBold));
    painter.setPen(ink);
    const QRectF textArea(symbol.right() + spacing, area.top(), area.right() - symbol.right() - spacing - horizontalPadding,
                          area.height());
    painter.drawText(textArea, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, text);
    painter.restore();
}

} // namespace marrowick
