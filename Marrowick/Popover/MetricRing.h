#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

#include <optional>

namespace marrowick {

// A percentage as a ring that fills clockwise from the top, with the value inside and a
// label below ("CPU", "MEM", "DISK").
class MetricRing : public QWidget {
    Q_OBJECT

public:
    MetricRing(const QString &label, std::optional<double> pct, QWidget *parent = nullptr);

    QString label() const { return m_label; }
    std::optional<double> pct() const { return m_pct; }
    void setPct(std::optional<double> pct);

    // pct / 100 held to 0...1; 0 when absent.
    static double fillFraction(std::optional<double> pct);
    // Gray when absent, red above 90, yellow above 70, the accent otherwise.
    static QColor ringColor(std::optional<double> pct, const QColor &accent);
    // The whole percent and "%", not clamped to 0...100; "—" when absent.
    static QString percentText(std::optional<double> pct);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QString m_label;
    std::optional<double> m_pct;
    // Read once per accent or theme, not per paint.
    QColor m_accent;
};

} // namespace marrowick
