#pragma once

#include "Marrowick/Popover/RowChrome.h"
#include "MarrowickKit/Model/WidgetData.h"

#include <QWidget>

class QLabel;

namespace marrowick {

class RowTrailing;
class StatusOrb;

// One HTTP or TCP check: orb, name and detail (the reason, while down), then "Down" in red
// while down, the sparkline and the latency.
class CheckRowView : public QWidget {
    Q_OBJECT

public:
    CheckRowView(const CheckResult &check, const QList<double> &history, const RowSettings &settings,
                 QWidget *parent = nullptr);

    void set(const CheckResult &check, const QList<double> &history, const RowSettings &settings);

private:
    StatusOrb *m_orb;
    QLabel *m_name;
    QLabel *m_detail;
    RowTrailing *m_trailing;
};

} // namespace marrowick
