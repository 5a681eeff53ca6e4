#include "Marrowick/Style/Symbol.h"

#include "Marrowick/Style/MarrowickStyle.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <cmath>

namespace marrowick {

namespace {

// Every symbol is drawn on a 24-unit grid with a round pen, then scaled to the area.
constexpr qreal lineWidth = 1.8;

void fillDot(QPainter &p, const QPointF &centre, qreal radius)
{
    p.save();
    p.setBrush(p.pen().color());
    p.drawEllipse(centre, radius, radius);
    p.restore();
}

void drawGear(QPainter &p)
{
    p.drawEllipse(QPointF(12, 12), 3.2, 3.2);
    QPainterPath outline;
    const int teeth = 8;
    for (int i = 0; i < teeth * 2; ++i) {
        const qreal angle = M_PI * 2 * i / (teeth * 2);
        const qreal radius = i % 2 == 0 ? 9.5 : 7;
        const qreal half = M_PI / (teeth * 2) * 0.55;
        const QPointF a(12 + radius * std::cos(angle - half), 12 + radius * std::sin(angle - half));
        const QPointF b(12 + radius * std::cos(angle + half), 12 + radius * std::sin(angle + half));
        if (i == 0)
            outline.moveTo(a);
        else
            outline.lineTo(a);
        outline.lineTo(b);
    }
    outline.closeSubpath();
    p.drawPath(outline);
}

void drawPlay(QPainter &p)
{
    QPainterPath triangle;
    triangle.moveTo(7, 4.5);
    triangle.lineTo(19, 12);
    triangle.lineTo(7, 19.5);
    triangle.closeSubpath();
    p.drawPath(triangle);
}

void drawPower(QPainter &p)
{
    p.drawArc(QRectF(4.5, 5, 15, 15), 60 * 16, -300 * 16);
    p.drawLine(QPointF(12, 3), QPointF(12, 11.5));
}

void drawArrowClockwise(QPainter &p)
{
    p.drawArc(QRectF(4.5, 4.5, 15, 15), 60 * 16, 280 * 16);
    QPainterPath head;
    head.moveTo(15.2, 3.2);
    head.lineTo(19.6, 5.6);
    head.lineTo(15.8, 9.2);
    p.drawPath(head);
}

void drawThermometer(QPainter &p)
{
    QPainterPath tube;
    tube.addRoundedRect(QRectF(9.5, 2.5, 5, 13), 2.5, 2.5);
    p.drawPath(tube);
    fillDot(p, QPointF(12, 17.5), 3.8);
    p.drawLine(QPointF(12, 9), QPointF(12, 16));
}

void drawQuestionmarkCircle(QPainter &p)
{
    p.drawEllipse(QPointF(12, 12), 9.5, 9.5);
    QPainterPath hook;
    hook.moveTo(9, 9.5);
    hook.cubicTo(9, 6.5, 15, 6.5, 15, 9.5);
    hook.cubicTo(15, 11.5, 12, 11.5, 12, 14);
    p.drawPath(hook);
    fillDot(p, QPointF(12, 17.2), 0.6);
}

void drawEye(QPainter &p, bool slashed)
{
    QPainterPath eye;
    eye.moveTo(2, 12);
    eye.quadTo(12, 2, 22, 12);
    eye.quadTo(12, 22, 2, 12);
    p.drawPath(eye);
    p.drawEllipse(QRectF(9, 9, 6, 6));
    if (slashed)
        p.drawLine(QPointF(4, 3), QPointF(20, 21));
}

void drawServerRack(QPainter &p)
{
    for (int i = 0; i < 3; ++i) {
        // A clear gap between the units, so they read as three even at large sizes.
        const qreal top = 2.9 + i * 6.8;
        p.drawRoundedRect(QRectF(3, top, 18, 4.4), 1.2, 1.2);
        fillDot(p, QPointF(6.5, top + 2.2), 0.6);
        p.drawLine(QPointF(13, top + 2.2), QPointF(18, top + 2.2));
    }
}

void drawWaveform(QPainter &p)
{
    p.drawPolyline(QPolygonF{QPointF(2, 13), QPointF(7, 13), QPointF(9.5, 6), QPointF(13, 19), QPointF(15.5, 10),
                             QPointF(17, 13), QPointF(22, 13)});
}

void drawGauge(QPainter &p)
{
    p.drawArc(QRectF(3, 4, 18, 18), 200 * 16, -220 * 16);
    for (int i = 0; i < 5; ++i) {
        const qreal angle = (200 - i * 55) * M_PI / 180.0;
        p.drawPoint(QPointF(12 + 6.5 * std::cos(angle), 13 - 6.5 * std::sin(angle)));
    }
    p.drawLine(QPointF(12, 13), QPointF(8.5, 9.5));
}

void drawGameController(QPainter &p)
{
    p.drawRoundedRect(QRectF(2.5, 7, 19, 11), 5, 5);
    p.drawLine(QPointF(6, 12.5), QPointF(10, 12.5));
    p.drawLine(QPointF(8, 10.5), QPointF(8, 14.5));
    p.drawPoint(QPointF(15.5, 11.5));
    p.drawPoint(QPointF(17.5, 13.5));
}

void drawGlobe(QPainter &p)
{
    p.drawEllipse(QRectF(3, 3, 18, 18));
    p.drawEllipse(QRectF(8, 3, 8, 18));
    p.drawLine(QPointF(3, 12), QPointF(21, 12));
}

void drawNetwork(QPainter &p)
{
    p.drawEllipse(QRectF(9.5, 2.5, 5, 5));
    p.drawEllipse(QRectF(2.5, 16.5, 5, 5));
    p.drawEllipse(QRectF(16.5, 16.5, 5, 5));
    p.drawLine(QPointF(12, 7.5), QPointF(12, 12));
    p.drawLine(QPointF(5, 16.5), QPointF(5, 12));
    p.drawLine(QPointF(5, 12), QPointF(19, 12));
    p.drawLine(QPointF(19, 12), QPointF(19, 16.5));
}

void drawCurlyBraces(QPainter &p)
{
    QPainterPath left;
    left.moveTo(9, 3);
    left.cubicTo(6, 3, 7, 6, 7, 9);
    left.cubicTo(7, 11, 6, 12, 4, 12);
    left.cubicTo(6, 12, 7, 13, 7, 15);
    left.cubicTo(7, 18, 6, 21, 9, 21);
    p.drawPath(left);
    p.drawPath(QTransform(-1, 0, 0, 1, 24, 0).map(left));
}

void drawCheckmarkSeal(QPainter &p)
{
    QPainterPath seal;
    for (int i = 0; i <= 24; ++i) {
        const qreal angle = i * M_PI / 12.0;
        const qreal radius = i % 2 ? 8 : 9.5;
        const QPointF point(12 + radius * std::cos(angle), 12 + radius * std::sin(angle));
        i ? seal.lineTo(point) : seal.moveTo(point);
    }
    p.drawPath(seal);
    p.drawPolyline(QPolygonF{QPointF(8, 12.5), QPointF(11, 15.5), QPointF(16.5, 9)});
}

void drawCube(QPainter &p)
{
    QPainterPath cube;
    cube.moveTo(12, 2.5);
    cube.lineTo(20.5, 7);
    cube.lineTo(20.5, 17);
    cube.lineTo(12, 21.5);
    cube.lineTo(3.5, 17);
    cube.lineTo(3.5, 7);
    cube.closeSubpath();
    cube.moveTo(3.5, 7);
    cube.lineTo(12, 11.5);
    cube.lineTo(20.5, 7);
    cube.moveTo(12, 11.5);
    cube.lineTo(12, 21.5);
    p.drawPath(cube);
}

void drawBell(QPainter &p)
{
    QPainterPath bell;
    bell.moveTo(4.5, 17);
    bell.cubicTo(6.5, 15.5, 6.5, 14, 6.5, 11);
    bell.cubicTo(6.5, 7, 9, 4.5, 12, 4.5);
    bell.cubicTo(15, 4.5, 17.5, 7, 17.5, 11);
    bell.cubicTo(17.5, 14, 17.5, 15.5, 19.5, 17);
    bell.closeSubpath();
    p.drawPath(bell);
    p.drawArc(QRectF(10, 17, 4, 3.5), 180 * 16, 180 * 16);
}

void drawTrash(QPainter &p)
{
    p.drawLine(QPointF(4, 6), QPointF(20, 6));
    p.drawRect(QRectF(9, 3, 6, 3));
    p.drawPolygon(QPolygonF{QPointF(6, 6), QPointF(7, 21), QPointF(17, 21), QPointF(18, 6)});
    p.drawLine(QPointF(10, 10), QPointF(10, 17));
    p.drawLine(QPointF(14, 10), QPointF(14, 17));
}

void drawCheckmarkCircle(QPainter &p, const QColor &color)
{
    p.setBrush(color);
    p.drawEllipse(QRectF(3, 3, 18, 18));
    p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF{QPointF(8, 12.5), QPointF(11, 15.5), QPointF(16.5, 9)});
}

void draw(QPainter &p, Symbol symbol, const QColor &color)
{
    switch (symbol) {
    case Symbol::gear:
        drawGear(p);
        break;
    case Symbol::play:
        drawPlay(p);
        break;
    case Symbol::pause:
        p.drawLine(QPointF(8.5, 5), QPointF(8.5, 19));
        p.drawLine(QPointF(15.5, 5), QPointF(15.5, 19));
        break;
    case Symbol::power:
        drawPower(p);
        break;
    case Symbol::arrowClockwise:
        drawArrowClockwise(p);
        break;
    case Symbol::chevronRight:
        p.drawPolyline(QPolygonF{QPointF(9, 5), QPointF(16, 12), QPointF(9, 19)});
        break;
    case Symbol::chevronDown:
        p.drawPolyline(QPolygonF{QPointF(5, 9), QPointF(12, 16), QPointF(19, 9)});
        break;
    case Symbol::chevronLeft:
        p.drawPolyline(QPolygonF{QPointF(15, 4), QPointF(8, 12), QPointF(15, 20)});
        break;
    case Symbol::thermometer:
        drawThermometer(p);
        break;
    case Symbol::questionmarkCircle:
        drawQuestionmarkCircle(p);
        break;
    case Symbol::eye:
    case Symbol::eyeSlash:
        drawEye(p, symbol == Symbol::eyeSlash);
        break;
    case Symbol::serverRack:
        drawServerRack(p);
        break;
    case Symbol::waveform:
        drawWaveform(p);
        break;
    case Symbol::gauge:
        drawGauge(p);
        break;
    case Symbol::gameController:
        drawGameController(p);
        break;
    case Symbol::globe:
        drawGlobe(p);
        break;
    case Symbol::network:
        drawNetwork(p);
        break;
    case Symbol::curlyBraces:
        drawCurlyBraces(p);
        break;
    case Symbol::checkmarkSeal:
        drawCheckmarkSeal(p);
        break;
    case Symbol::cube:
        drawCube(p);
        break;
    case Symbol::dragHandle:
        for (const qreal y : {7.0, 12.0, 17.0})
            p.drawLine(QPointF(5, y), QPointF(19, y));
        break;
    case Symbol::bell:
        drawBell(p);
        break;
    case Symbol::bellSlash:
        drawBell(p);
        p.drawLine(QPointF(4, 3), QPointF(20, 21));
        break;
    case Symbol::bellBadge:
        drawBell(p);
        fillDot(p, QPointF(18, 5), 3);
        break;
    case Symbol::trash:
        drawTrash(p);
        break;
    case Symbol::plus:
        p.drawLine(QPointF(12, 5), QPointF(12, 19));
        p.drawLine(QPointF(5, 12), QPointF(19, 12));
        break;
    case Symbol::plusCircle:
        p.drawEllipse(QRectF(3, 3, 18, 18));
        p.drawLine(QPointF(12, 8), QPointF(12, 16));
        p.drawLine(QPointF(8, 12), QPointF(16, 12));
        break;
    case Symbol::checkmarkCircle:
        drawCheckmarkCircle(p, color);
        break;
    }
}

} // namespace

void paintSymbol(QPainter &painter, Symbol symbol, const QRectF &area, const QColor &color)
{
    const qreal side = std::min(area.width(), area.height());
    if (side <= 0)
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(area.center() - QPointF(side / 2, side / 2));
    painter.scale(side / 24, side / 24);
    painter.setPen(QPen(color, lineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    draw(painter, symbol, color);
    painter.restore();
}

void paintAppMark(QPainter &painter, const QRectF &area, const QColor &tile, const QColor &ink)
{
    const qreal side = std::min(area.width(), area.height());
    const QRectF square(area.center() - QPointF(side / 2, side / 2), QSizeF(side, side));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(tile);
    painter.drawRoundedRect(square, side * 0.23, side * 0.23);
    const qreal inset = side * 0.15;
    paintSymbol(painter, Symbol::serverRack, square.adjusted(inset, inset, -inset, -inset), ink);
    painter.restore();
}

QImage appMarkImage(int pixels)
{
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    paintAppMark(painter, image.rect(), accentColor(defaultAccentHex),
                 onAccentColor(defaultAccentHex));
    painter.end();
    return image.convertToFormat(QImage::Format_RGBA8888);
}

QIcon symbolIcon(Symbol symbol, const QColor &color, int size)
{
    QIcon icon;
    for (const int scale : {1, 2}) {
        QPixmap pixmap(size * scale, size * scale);
        pixmap.setDevicePixelRatio(scale);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paintSymbol(painter, symbol, QRectF(0, 0, size, size), color);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

SymbolView::SymbolView(Symbol symbol, int side, QWidget *parent) : QWidget(parent), m_symbol(symbol)
{
    setFixedSize(side, side);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void SymbolView::setSymbol(Symbol symbol)
{
    if (symbol == m_symbol)
        return;
    m_symbol = symbol;
    update();
}

void SymbolView::setColor(const QColor &color)
{
    m_color = color;
    update();
}

void SymbolView::setUseAccent(bool on)
{
    m_useAccent = on;
    update();
}

QColor SymbolView::color() const
{
    if (m_color.isValid())
        return m_color;
    return m_useAccent ? marrowickAccentMark(this) : palette().color(QPalette::WindowText);
}

void SymbolView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintSymbol(painter, m_symbol, rect(), color());
}

} // namespace marrowick
