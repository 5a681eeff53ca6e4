#include "Marrowick/Settings/SettingsSymbol.h"

#include "Marrowick/Style/MarrowickStyle.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace marrowick {

namespace {

// Every drawing is made in a 24 x 24 box with a 1.6 wide line.
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

void drawCircle(QPainter &p) { p.drawEllipse(QRectF(3, 3, 18, 18)); }

void draw(QPainter &p, SettingsSymbol symbol, const QColor &color)
{
    switch (symbol) {
    case SettingsSymbol::dragHandle:
        for (const qreal y : {7.0, 12.0, 17.0})
            p.drawLine(QPointF(5, y), QPointF(19, y));
        break;
    case SettingsSymbol::bell:
        drawBell(p);
        break;
    case SettingsSymbol::bellSlash:
        drawBell(p);
        p.drawLine(QPointF(4, 3), QPointF(20, 21));
        break;
    case SettingsSymbol::bellBadge:
        drawBell(p);
        p.setBrush(color);
        p.drawEllipse(QRectF(15, 2, 6, 6));
        break;
    case SettingsSymbol::trash:
        p.drawLine(QPointF(4, 6), QPointF(20, 6));
        p.drawRect(QRectF(9, 3, 6, 3));
        p.drawPolygon(QPolygonF({QPointF(6, 6), QPointF(7, 21), QPointF(17, 21), QPointF(18, 6)}));
        p.drawLine(QPointF(10, 10), QPointF(10, 17));
        p.drawLine(QPointF(14, 10), QPointF(14, 17));
        break;
    case SettingsSymbol::plus:
        p.drawLine(QPointF(12, 5), QPointF(12, 19));
        p.drawLine(QPointF(5, 12), QPointF(19, 12));
        break;
    case SettingsSymbol::plusCircle:
        drawCircle(p);
        p.drawLine(QPointF(12, 8), QPointF(12, 16));
        p.drawLine(QPointF(8, 12), QPointF(16, 12));
        break;
    case SettingsSymbol::checkmarkCircle:
        p.setBrush(color);
        p.drawEllipse(QRectF(3, 3, 18, 18));
        p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(8, 12.5), QPointF(11, 15.5), QPointF(16.5, 9)}));
        break;
    case SettingsSymbol::serverRack:
        for (const qreal y : {3.5, 9.5, 15.5}) {
            p.drawRoundedRect(QRectF(3.5, y, 17, 5), 1.2, 1.2);
            p.drawPoint(QPointF(7, y + 2.5));
        }
        break;
    case SettingsSymbol::waveform:
        p.drawPolyline(QPolygonF({QPointF(2, 13), QPointF(7, 13), QPointF(9, 7), QPointF(12, 19), QPointF(15, 5),
                                  QPointF(17, 13), QPointF(22, 13)}));
        break;
    case SettingsSymbol::gauge:
        p.drawArc(QRectF(3, 5, 18, 18), 0, 180 * 16);
        p.drawLine(QPointF(12, 14), QPointF(8, 9));
        p.drawPoint(QPointF(12, 14));
        break;
    case SettingsSymbol::gameController:
        p.drawRoundedRect(QRectF(2.5, 7, 19, 11), 5.5, 5.5);
        p.drawLine(QPointF(7.5, 10.5), QPointF(7.5, 14.5));
        p.drawLine(QPointF(5.5, 12.5), QPointF(9.5, 12.5));
        p.drawPoint(QPointF(16, 11));
        p.drawPoint(QPointF(18, 13.5));
        break;
    case SettingsSymbol::globe:
        drawCircle(p);
        p.drawEllipse(QRectF(8, 3, 8, 18));
        p.drawLine(QPointF(3, 12), QPointF(21, 12));
        break;
    case SettingsSymbol::network:
        p.drawLine(QPointF(12, 7), QPointF(6, 17));
        p.drawLine(QPointF(12, 7), QPointF(18, 17));
        p.setBrush(p.pen().color());
        for (const QPointF &node : {QPointF(12, 5.5), QPointF(5.5, 18), QPointF(18.5, 18)})
            p.drawEllipse(node, 2.3, 2.3);
        break;
    case SettingsSymbol::curlyBraces: {
        QPainterPath left;
        left.moveTo(9, 3);
        left.cubicTo(6, 3, 7, 6, 7, 9);
        left.cubicTo(7, 11, 6, 12, 4, 12);
        left.cubicTo(6, 12, 7, 13, 7, 15);
        left.cubicTo(7, 18, 6, 21, 9, 21);
        p.drawPath(left);
        p.drawPath(QTransform(-1, 0, 0, 1, 24, 0).map(left));
        break;
    }
    }
}

} // namespace

void paintSettingsSymbol(QPainter &painter, const QRectF &rect, SettingsSymbol symbol, const QColor &color)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal side = std::min(rect.width(), rect.height());
    painter.translate(rect.center() - QPointF(side / 2, side / 2));
    painter.scale(side / 24.0, side / 24.0);
    painter.setPen(QPen(color, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    draw(painter, symbol, color);
    painter.restore();
}

SettingsSymbolView::SettingsSymbolView(SettingsSymbol symbol, int size, QWidget *parent) : QWidget(parent), m_symbol(symbol)
{
    setFixedSize(size, size);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void SettingsSymbolView::setSymbol(SettingsSymbol symbol)
{
    if (m_symbol != symbol) {
        m_symbol = symbol;
        update();
    }
}

void SettingsSymbolView::setColor(std::optional<QColor> color)
{
    m_color = color;
    update();
}

void SettingsSymbolView::setUseAccent(bool on)
{
    m_useAccent = on;
    update();
}

QColor SettingsSymbolView::color() const
{
    if (m_color)
        return *m_color;
    return m_useAccent ? marrowickAccent(this) : palette().color(QPalette::WindowText);
}

void SettingsSymbolView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintSettingsSymbol(painter, rect(), m_symbol, color());
}

} // namespace marrowick
