#pragma once

#include "Marrowick/Popover/RowChrome.h"
#include "MarrowickKit/Model/ServiceStatus.h"

#include <QList>
#include <QWidget>

#include <optional>

namespace marrowick {

// The right-hand end of a widget row: while the row is not up, its state in a word in the
// state's colour (the row's down text while down), else the sparkline when it has two samples
// or more and sparklines are on; then always the latency pill.
// Painted as one widget, so a sparkline that comes or goes only changes this widget's size
// instead of showing a child, which would lay out the whole list at once.
//
// The sparkline is the one part a row can do without: it is not in the size hint, the widget
// grows up to its width only from the room the row has left, and it is drawn only when that
// room was there. Add it to the row with stretch, after a spacer that takes what remains.
class RowTrailing : public QWidget {
    Q_OBJECT

public:
    static constexpr int spacing = 8;
    static constexpr QSize sparklineSize{44, 16};
    // A long reason from a peer is cut rather than pushing the name out of the row.
    static constexpr int maximumStatusTextWidth = 120;

    RowTrailing(ServiceStatus status, const QString &downText, std::optional<double> latencyMs,
                const QList<double> &history, const RowSettings &settings, QWidget *parent = nullptr);

    void set(ServiceStatus status, const QString &downText, std::optional<double> latencyMs,
             const QList<double> &history, const RowSettings &settings);

    // What is drawn: the state's word (empty while up), whether the sparkline is, the pill's text.
    QString statusText() const { return m_statusText; }
    bool showsSparkline() const { return m_sparkline && width() >= widthWithSparkline(); }
    QString latencyText() const { return m_latencyText; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void readInks();
    QFont statusFont() const;
    int statusTextWidth() const;
    int widthWithSparkline() const;

    ServiceStatus m_status = ServiceStatus::up;
    QString m_statusText;
    bool m_sparkline = false;
    QList<double> m_history;
    QString m_latencyText;
    // The accent as the pill's text and as the sparkline, and the state's colour as text,
    // adjusted to the card once per accent, theme or state rather than per paint.
    QColor m_pillInk;
    QColor m_lineInk;
    QColor m_statusInk;
};

} // namespace marrowick
