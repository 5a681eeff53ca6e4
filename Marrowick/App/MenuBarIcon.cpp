#include "Marrowick/App/MenuBarIcon.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>

namespace marrowick {

namespace {

// Proportions of the 22-pixel design: rack, 2 px of space, a 6 px dot.
constexpr qreal designSize = 22;
constexpr qreal dotDiameter = 6;
constexpr qreal dotGap = 2;
constexpr int rackUnits = 3;

} // namespace

MenuBarIcon::MenuBarIcon(OverallStatus status, QColor symbolColor)
    : m_status(status), m_symbolColor(std::move(symbolColor))
{
}

QColor MenuBarIcon::dotColor(OverallStatus status)
{
    switch (status) {
    case OverallStatus::up:
        return QColor(52, 199, 89);
    case OverallStatus::degraded:
        return QColor(255, 204, 0);
    case OverallStatus::down:
        return QColor(255, 59, 48);
    case OverallStatus::paused:
    case OverallStatus::unknown:
        break;
    }
    return QColor(142, 142, 147);
}

QColor MenuBarIcon::defaultSymbolColor()
{
    return QGuiApplication::palette().color(QPalette::WindowText);
}

QRectF MenuBarIcon::dotRect(int pixels)
{
    const qreal scale = pixels / designSize;
    const qreal diameter = dotDiameter * scale;
    return QRectF(pixels - diameter, (pixels - diameter) / 2, diameter, diameter);
}

void MenuBarIcon::paintRack(QPainter &painter, int pixels) const
{
    const qreal scale = pixels / designSize;
    const qreal width = pixels - (dotDiameter + dotGap) * scale;
    const qreal height = pixels * 0.8;
    const qreal top = (pixels - height) / 2;
    const qreal spacing = qMax<qreal>(1, scale);
    const qreal unitHeight = (height - spacing * (rackUnits - 1)) / rackUnits;
    const qreal radius = unitHeight * 0.25;
    const qreal led = qMax<qreal>(1, unitHeight * 0.3);

    for (int unit = 0; unit < rackUnits; ++unit) {
        const QRectF box(0, top + unit * (unitHeight + spacing), width, unitHeight);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.setBrush(m_symbolColor);
        painter.drawRoundedRect(box, radius, radius);
        // The unit's light and drive slot are cut out, so the panel shows through them.
        painter.setCompositionMode(QPainter::CompositionMode_Clear);
        const qreal middle = box.center().y();
        painter.drawEllipse(QPointF(box.left() + unitHeight * 0.5, middle), led / 2, led / 2);
        painter.drawRect(QRectF(box.left() + width * 0.45, middle - led / 4, width * 0.4, led / 2));
    }
}

QImage MenuBarIcon::image(int pixels) const
{
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    paintRack(painter, pixels);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setBrush(dotColor(m_status));
    painter.drawEllipse(dotRect(pixels));
    return image;
}

QIcon MenuBarIcon::icon() const
{
    QIcon icon;
    for (const int pixels : traySizes)
        icon.addPixmap(QPixmap::fromImage(image(pixels)));
    return icon;
}

} // namespace marrowick
