#pragma once

#include "Marrowick/State/OverallStatus.h"
#include "MarrowickKit/Model/ServiceStatus.h"

#include <QColor>
#include <QWidget>

namespace marrowick {

// Up green, down red, warn yellow, unknown gray.
QColor statusColor(ServiceStatus status);
// Up green, degraded yellow, down red, paused and unknown gray.
QColor overallStatusColor(OverallStatus status);

// A small circle in a status colour that glows in its own colour. The widget leaves room for
// the glow around the circle, so it is twice the circle's size.
class StatusOrb : public QWidget {
    Q_OBJECT

public:
    StatusOrb(const QColor &color, qreal size, QWidget *parent = nullptr);

    QColor color() const { return m_color; }
    qreal orbSize() const { return m_size; }
    void setColor(const QColor &color);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_color;
    qreal m_size;
};

} // namespace marrowick
