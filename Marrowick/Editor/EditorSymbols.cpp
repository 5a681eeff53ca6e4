#include "Marrowick/Editor/EditorSymbols.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <cmath>

namespace marrowick {

namespace {

// Draws in a 24 by 24 grid scaled into the box.
void drawSymbol(QPainter &p, const QString &name)
{
    if (name == QLatin1String("waveform.path.ecg")) {
        QPainterPath path;
        path.moveTo(2, 12);
        path.lineTo(7, 12);
        path.lineTo(9, 6);
        path.lineTo(12, 19);
        path.lineTo(15, 9);
        path.lineTo(17, 12);
        path.lineTo(22, 12);
        p.drawPath(path);
    } else if (name.startsWith(QLatin1String("gauge"))) {
        p.drawArc(QRectF(3, 4, 18, 18), 200 * 16, -220 * 16);
        for (int i = 0; i < 5; ++i) {
            const double angle = (200 - i * 55) * M_PI / 180.0;
            p.drawPoint(QPointF(12 + 6.5 * std::cos(angle), 13 - 6.5 * std::sin(angle)));
        }
        p.drawLine(QPointF(12, 13), QPointF(8.5, 9.5));
    } else if (name == QLatin1String("gamecontroller")) {
        p.drawRoundedRect(QRectF(2.5, 7, 19, 11), 5, 5);
        p.drawLine(QPointF(6, 12.5), QPointF(10, 12.5));
        p.drawLine(QPointF(8, 10.5), QPointF(8, 14.5));
        p.drawPoint(QPointF(15.5, 11.5));
        p.drawPoint(QPointF(17.5, 13.5));
    } else if (name == QLatin1String("globe")) {
        p.drawEllipse(QRectF(3, 3, 18, 18));
        p.drawEllipse(QRectF(8, 3, 8, 18));
        p.drawLine(QPointF(3, 12), QPointF(21, 12));
        p.drawLine(QPointF(12, 3), QPointF(12, 21));
    } else if (name == QLatin1String("network")) {
        p.drawEllipse(QRectF(9.5, 2.5, 5, 5));
        p.drawEllipse(QRectF(2.5, 16.5, 5, 5));
        p.drawEllipse(QRectF(16.5, 16.5, 5, 5));
        p.drawLine(QPointF(12, 7.5), QPointF(12, 12));
        p.drawLine(QPointF(5, 16.5), QPointF(5, 12));
        p.drawLine(QPointF(5, 12), QPointF(19, 12));
        p.drawLine(QPointF(19, 12), QPointF(19, 16.5));
    } else if (name == QLatin1String("curlybraces")) {
        QPainterPath left;
        left.moveTo(9, 3);
        left.cubicTo(5, 3, 7, 11, 4, 12);
        left.cubicTo(7, 13, 5, 21, 9, 21);
        p.drawPath(left);
        QPainterPath right;
        right.moveTo(15, 3);
        right.cubicTo(19, 3, 17, 11, 20, 12);
        right.cubicTo(17, 13, 19, 21, 15, 21);
        p.drawPath(right);
    } else if (name == QLatin1String("checkmark.seal")) {
        QPainterPath seal;
        for (int i = 0; i <= 24; ++i) {
            const double angle = i * M_PI / 12.0;
            const double radius = i % 2 ? 8 : 9.5;
            const QPointF point(12 + radius * std::cos(angle), 12 + radius * std::sin(angle));
            i ? seal.lineTo(point) : seal.moveTo(point);
        }
        p.drawPath(seal);
        QPainterPath tick;
        tick.moveTo(8, 12.5);
        tick.lineTo(11, 15.5);
        tick.lineTo(16.5, 9);
        p.drawPath(tick);
    } else if (name == QLatin1String("cube")) {
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
    } else if (name == QLatin1String("chevron.left")) {
        QPainterPath chevron;
        chevron.moveTo(15, 4);
        chevron.lineTo(8, 12);
        chevron.lineTo(15, 20);
        p.drawPath(chevron);
    } else if (name.startsWith(QLatin1String("eye"))) {
        QPainterPath eye;
        eye.moveTo(2, 12);
        eye.quadTo(12, 2, 22, 12);
        eye.quadTo(12, 22, 2, 12);
        p.drawPath(eye);
        p.drawEllipse(QRectF(9, 9, 6, 6));
        if (name == QLatin1String("eye.slash"))
            p.drawLine(QPointF(4, 3), QPointF(20, 21));
    } else {
        p.drawEllipse(QRectF(4, 4, 16, 16));
    }
}

} // namespace

void paintSymbol(QPainter &painter, const QString &name, const QRectF &box, const QColor &colour)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const double side = std::min(box.width(), box.height());
    painter.translate(box.center().x() - side / 2, box.center().y() - side / 2);
    painter.scale(side / 24.0, side / 24.0);
    QPen pen(colour, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    drawSymbol(painter, name);
    painter.restore();
}

QIcon symbolIcon(const QString &name, const QColor &colour, int size)
{
    QIcon icon;
    for (const int scale : {1, 2}) {
        QPixmap pixmap(size * scale, size * scale);
        pixmap.setDevicePixelRatio(scale);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paintSymbol(painter, name, QRectF(0, 0, size, size), colour);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace marrowick
