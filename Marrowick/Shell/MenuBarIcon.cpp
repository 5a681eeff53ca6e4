#include "Marrowick/Shell/MenuBarIcon.h"

#include "Marrowick/Style/MarrowickStyle.h"
#include "Marrowick/Style/StatusOrb.h"

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

QPainterPath MenuBarIcon::rackPath(int pixels)
{
    const qreal scale = pixels / designSize;
    // Room on the left for the edge, which is as wide as the spacing between units.
    const qreal left = qMax<qreal>(1, scale);
    const qreal width = pixels - (dotDiameter + dotGap) * scale - left;
    const qreal height = pixels * 0.8;
    const qreal top = (pixels - height) / 2;
    const qreal spacing = qMax<qreal>(1, scale);
    const qreal unitHeight = (height - spacing * (rackUnits - 1)) / rackUnits;
    const qreal radius = unitHeight * 0.25;
    const qreal led = qMax<qreal>(1, unitHeight * 0.3);

    QPainterPath rack;
    for (int unit = 0; unit < rackUnits; ++unit) {
        const QRectF box(left, top + unit * (unitHeight + spacing), width, unitHeight);
        QPainterPath body;
        body.addRoundedRect(box, radius, radius);
        // The unit's light and drive slot are cut out, so the panel shows through them.
        QPainterPath holes;
        const qreal middle = box.center().y();
        holes.addEllipse(QPointF(box.left() + unitHeight * 0.5, middle), led / 2, led / 2);
        holes.addRect(QRectF(box.left() + width * 0.45, middle - led / 4, width * 0.4, led / 2));
        rack.addPath(body.subtracted(holes));
    }
    return rack;
}

void MenuBarIcon::paintRack(QPainter &painter, int pixels) const
{
    // A tray may sit on a panel of any colour, whatever the application's palette says: an
    // edge of the opposite lightness keeps the rack in sight where its own colour is lost.
    const QPainterPath rack = rackPath(pixels);
    const qreal edge = qMax<qreal>(1, pixels / designSize);
    painter.strokePath(rack, QPen(inkOn(m_symbolColor), 2 * edge, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.fillPath(rack, m_symbolColor);
}

QImage MenuBarIcon::image(int pixels) const
{
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    paintRack(painter, pixels);
    painter.setPen(Qt::NoPen);
    painter.setBrush(overallStatusColor(m_status));
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
