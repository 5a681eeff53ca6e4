#include "Marrowick/Popover/ListDimming.h"

#include <QPainter>
#include <QPixmap>
#include <QWidget>

namespace marrowick {

ListDimming::ListDimming(QWidget *target, qreal opacity) : QGraphicsOpacityEffect(target), m_target(target)
{
    setOpacity(opacity);
}

void ListDimming::draw(QPainter *painter)
{
    const QRect area = m_target ? m_target->visibleRegion().boundingRect() : QRect();
    if (area.isEmpty())
        return;
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    QPixmap layer((QSizeF(area.size()) * ratio).toSize());
    layer.setDevicePixelRatio(ratio);
    layer.fill(Qt::transparent);
    {
        // A painter other than the one painting the window draws the source as it is, unaffected.
        QPainter layerPainter(&layer);
        layerPainter.translate(-area.topLeft());
        drawSource(&layerPainter);
    }
    painter->save();
    painter->setOpacity(painter->opacity() * opacity());
    painter->drawPixmap(area.topLeft(), layer);
    painter->restore();
}

} // namespace marrowick
