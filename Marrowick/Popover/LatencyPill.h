#pragma once

#include <QString>
#include <QWidget>

#include <optional>

class QPainter;

namespace marrowick {

// "—" without a latency; otherwise the whole milliseconds and "ms", after the prefix and a blank.
QString latencyText(const std::optional<QString> &prefix, std::optional<double> latencyMs);

// The accent-coloured capsule with a pulse symbol and the latency text.
class LatencyPill : public QWidget {
    Q_OBJECT

public:
    LatencyPill(std::optional<QString> prefix, std::optional<double> latencyMs, QWidget *parent = nullptr);

    QString text() const { return m_text; }
    void setLatency(std::optional<double> latencyMs);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

    // The pill of `text` as drawn in a widget with `base` as its font; for rows that paint it
    // themselves. `ink` is the pill's accent as read by ink().
    static QSize pillSize(const QFont &base, const QString &text);
    static void paint(QPainter &painter, const QRectF &area, const QString &text, const QFont &base,
                      const QPalette &palette, const QColor &ink);
    // The accent of a pill painted by `widget`, as text on the pill's fill.
    static QColor ink(const QWidget *widget);

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    std::optional<QString> m_prefix;
    QString m_text;
    QColor m_ink;
};

} // namespace marrowick
