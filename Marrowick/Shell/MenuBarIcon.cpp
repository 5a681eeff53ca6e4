#include "Marrowick/Shell/MenuBarIcon.h"

#include "Marrowick/Style/MarrowickStyle.h"
#include "Marrowick/Style/StatusOrb.h"

#include <QGuiApplication>
#include <QIconEngine>
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

// Draws the icon at whatever size it is asked for: a tray on a scaled screen asks for sizes
// between the listed ones (33 px at 150 %), which a pixmap of another size would blur.
class MenuBarIconEngine : public QIconEngine {
public:
    explicit MenuBarIconEngine(MenuBarIcon icon) : m_icon(std::move(icon)) {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode, QIcon::State) override
    {
        const int side = qMin(rect.width(), rect.height());
        const qreal scale = painter->device() ? painter->device()->devicePixelRatioF() : 1;
        QImage image = m_icon.image(qMax(1, qRound(side * scale)));
        image.setDevicePixelRatio(scale);
        const QRect square(rect.x() + (rect.width() - side) / 2, rect.y() + (rect.height() - side) / 2, side, side);
        painter->drawImage(square, image);
    }
    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override
    {
        const int side = qMin(size.width(), size.height());
        return QSize(side, side);
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode, QIcon::State) override
    {
        return QPixmap::fromImage(m_icon.image(qMax(1, qMin(size.width(), size.height()))));
    }
    // `size` is in device pixels already.
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state, qreal) override
    {
        return pixmap(size, mode, state);
    }
    // What trays that take a list of pixmaps (a StatusNotifierItem host) are offered.
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        QList<QSize> sizes;
        for (const int pixels : MenuBarIcon::traySizes)
            sizes.append(QSize(pixels, pixels));
        return sizes;
    }
    QString key() const override { return QStringLiteral("MenuBarIcon"); }
    QIconEngine *clone() const override { return new MenuBarIconEngine(m_icon); }

private:
    MenuBarIcon m_icon;
};

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
    return QIcon(new MenuBarIconEngine(*this));
}

} // namespace marrowick
