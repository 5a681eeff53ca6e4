#include "Marrowick/Popover/PopoverSymbol.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace marrowick {

namespace {

// Each symbol is drawn on a 24-unit grid, then scaled to the area.
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

void drawWaveform(QPainter &p)
{
    QPainterPath path;
    path.moveTo(2, 13);
    path.lineTo(7, 13);
    path.lineTo(9.5, 6);
    path.lineTo(13, 19);
    path.lineTo(15.5, 10);
    path.lineTo(17, 13);
    path.lineTo(22, 13);
    p.drawPath(path);
}

void drawThermometer(QPainter &p)
{
    QPainterPath tube;
    tube.addRoundedRect(QRectF(9.5, 2.5, 5, 13), 2.5, 2.5);
    p.drawPath(tube);
    p.save();
    p.setBrush(p.pen().color());
    p.drawEllipse(QPointF(12, 17.5), 3.8, 3.8);
    p.drawLine(QPointF(12, 9), QPointF(12, 16));
    p.restore();
}

void drawQuestionmarkCircle(QPainter &p)
{
    p.drawEllipse(QPointF(12, 12), 9.5, 9.5);
    QPainterPath hook;
    hook.moveTo(9, 9.5);
    hook.cubicTo(9, 6.5, 15, 6.5, 15, 9.5);
    hook.cubicTo(15, 11.5, 12, 11.5, 12, 14);
    p.drawPath(hook);
    p.save();
    p.setBrush(p.pen().color());
    p.drawEllipse(QPointF(12, 17.2), 0.6, 0.6);
    p.restore();
}

void drawServerRack(QPainter &p)
{
    for (int i = 0; i < 3; ++i) {
        const qreal top = 3 + i * 6.3;
        p.drawRoundedRect(QRectF(3, top, 18, 5), 1.2, 1.2);
        p.save();
        p.setBrush(p.pen().color());
        p.drawEllipse(QPointF(6.5, top + 2.5), 0.6, 0.6);
        p.restore();
        p.drawLine(QPointF(13, top + 2.5), QPointF(18, top + 2.5));
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
    QPen pen(color, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    switch (symbol) {
    case Symbol::gear:
        drawGear(painter);
        break;
    case Symbol::play: {
        QPainterPath triangle;
        triangle.moveTo(7, 4.5);
        triangle.lineTo(19, 12);
        triangle.lineTo(7, 19.5);
        triangle.closeSubpath();
        painter.drawPath(triangle);
        break;
    }
    case Symbol::pause:
        painter.drawLine(QPointF(8.5, 5), QPointF(8.5, 19));
        painter.drawLine(QPointF(15.5, 5), QPointF(15.5, 19));
        break;
    case Symbol::power:
        drawPower(painter);
        break;
    case Symbol::arrowClockwise:
        drawArrowClockwise(painter);
        break;
    case Symbol::chevronRight:
        painter.drawPolyline(QPolygonF{QPointF(9, 5), QPointF(16, 12), QPointF(9, 19)});
        break;
    case Symbol::chevronDown:
        painter.drawPolyline(QPolygonF{QPointF(5, 9), QPointF(12, 16), QPointF(19, 9)});
        break;
    case Symbol::waveform:
        drawWaveform(painter);
        break;
    case Symbol::thermometer:
        drawThermometer(painter);
        break;
    case Symbol::questionmarkCircle:
        drawQuestionmarkCircle(painter);
        break;
    case Symbol::serverRack:
        drawServerRack(painter);
        break;
    }
    painter.restore();
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

void SymbolView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintSymbol(painter, m_symbol, rect(), m_color.isValid() ? m_color : palette().color(QPalette::WindowText));
}

} // namespace marrowick
