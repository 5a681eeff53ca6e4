#pragma once

#include <QImage>

#include <algorithm>
#include <QList>
#include <QPainterPath>
#include <QPoint>

namespace marrowick::test {

// The pixels that are not the same in two pictures of one size.
inline QList<QPoint> differingPixels(const QImage &first, const QImage &second)
{
    const QImage a = first.convertToFormat(QImage::Format_ARGB32);
    const QImage b = second.convertToFormat(QImage::Format_ARGB32);
    QList<QPoint> pixels;
    for (int y = 0; y < std::min(a.height(), b.height()); ++y) {
        for (int x = 0; x < std::min(a.width(), b.width()); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y))
                pixels.append(QPoint(x, y));
        }
    }
    return pixels;
}

// How many of those pixels have their centre inside `area`: a focus ring drawn around a
// widget's content changes none inside it.
inline qsizetype pixelsInside(const QList<QPoint> &pixels, const QPainterPath &area)
{
    qsizetype inside = 0;
    for (const QPoint &pixel : pixels)
        inside += area.contains(QPointF(pixel) + QPointF(0.5, 0.5)) ? 1 : 0;
    return inside;
}

// A rounded rectangle `inset` inside a widget of `size`.
inline QPainterPath roundedArea(QSize size, qreal inset, qreal radius)
{
    QPainterPath path;
    path.addRoundedRect(QRectF(QPointF(0, 0), size).adjusted(inset, inset, -inset, -inset), radius, radius);
    return path;
}

} // namespace marrowick::test
