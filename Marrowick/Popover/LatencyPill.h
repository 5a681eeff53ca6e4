#pragma once

#include <QString>
#include <QWidget>

#include <optional>

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

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QFont textFont() const;

    std::optional<QString> m_prefix;
    QString m_text;
};

} // namespace marrowick
