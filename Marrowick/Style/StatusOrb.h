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
// The status in a word, for what its colour alone would tell: "Up", "Down", "Warning", "Unknown".
QString statusWord(ServiceStatus status);

// A small circle in a status colour that glows in its own colour. The widget leaves room for
// the glow around the circle, so it is twice the circle's size. Its accessible name is the
// state its colour stands for.
class StatusOrb : public QWidget {
    Q_OBJECT

public:
    StatusOrb(ServiceStatus status, qreal size, QWidget *parent = nullptr);

    QColor color() const { return m_color; }
    qreal orbSize() const { return m_size; }
    void setStatus(ServiceStatus status);
    // A colour that is not a widget status's, and the word for it.
    void setStatus(const QColor &color, const QString &word);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_color;
    qreal m_size;
};

} // namespace marrowick
