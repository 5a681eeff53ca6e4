#pragma once

#include <QGraphicsOpacityEffect>
#include <QPointer>

namespace marrowick {

// Dims a widget as one layer, like QGraphicsOpacityEffect, but renders only its visible part:
// the popup's list can be many thousands of pixels tall, and a layer of all of it would cost
// seconds and hundreds of megabytes on every paint.
class ListDimming : public QGraphicsOpacityEffect {
    Q_OBJECT

public:
    ListDimming(QWidget *target, qreal opacity);

protected:
    void draw(QPainter *painter) override;

private:
    QPointer<QWidget> m_target;
};

} // namespace marrowick
