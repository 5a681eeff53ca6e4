#pragma once

#include <QList>
#include <QPointF>
#include <QWidget>

class QPainter;

namespace marrowick {

// A line of the latency samples, oldest at the left, scaled to fill the height so that small
// variations show. The caller sets its size.
class Sparkline : public QWidget {
    Q_OBJECT

public:
    explicit Sparkline(QList<double> values, QWidget *parent = nullptr);

    const QList<double> &values() const { return m_values; }
    void setValues(const QList<double> &values);
    // (offset, value) pairs, offsets 0, 1, 2, … in order.
    QList<QPointF> points() const;

    // The line of `values` in `area`; nothing for fewer than two values.
    static void paint(QPainter &painter, const QRectF &area, const QList<double> &values, const QColor &color);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QList<double> m_values;
};

} // namespace marrowick
