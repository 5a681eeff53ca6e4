#pragma once

#include "Marrowick/Popover/RowChrome.h"
#include "MarrowickKit/Model/ServiceStatus.h"

#include <QList>
#include <QWidget>

#include <optional>

class QLabel;

namespace marrowick {

class LatencyPill;
class Sparkline;

// The right-hand end of a widget row: the down text in red while down, else the sparkline
// when it has two samples or more and sparklines are on; then always the latency pill.
class RowTrailing : public QWidget {
    Q_OBJECT

public:
    RowTrailing(ServiceStatus status, const QString &downText, std::optional<double> latencyMs,
                const QList<double> &history, const RowSettings &settings, QWidget *parent = nullptr);

    void set(ServiceStatus status, const QString &downText, std::optional<double> latencyMs,
             const QList<double> &history, const RowSettings &settings);

private:
    QLabel *m_downText;
    Sparkline *m_sparkline;
    LatencyPill *m_pill;
};

} // namespace marrowick
