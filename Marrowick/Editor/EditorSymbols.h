#pragma once

#include <QColor>
#include <QIcon>
#include <QRectF>
#include <QString>

class QPainter;

namespace marrowick {

// The small line symbols of the editor (type and example cards, back, show and hide), drawn
// by us so they look the same with or without an icon theme. Unknown names draw a circle.
void paintSymbol(QPainter &painter, const QString &name, const QRectF &box, const QColor &colour);

// The symbol as an icon of the given size, for tool buttons.
QIcon symbolIcon(const QString &name, const QColor &colour, int size = 16);

} // namespace marrowick
