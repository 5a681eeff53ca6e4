#pragma once

#include "Marrowick/Popover/RowChrome.h"
#include "MarrowickKit/Model/WidgetData.h"

#include <QWidget>

class QLabel;

namespace marrowick {

class RowTrailing;
class StatusOrb;

// One service of a monitoring server: orb, name and detail, then "Unreachable" while down,
// the sparkline and the latency.
class ServiceRowView : public QWidget {
    Q_OBJECT

public:
    ServiceRowView(const ServiceRow &row, const QList<double> &history, const RowSettings &settings,
                   QWidget *parent = nullptr);

    void set(const ServiceRow &row, const QList<double> &history, const RowSettings &settings);

private:
    StatusOrb *m_orb;
    QLabel *m_name;
    QLabel *m_detail;
    RowTrailing *m_trailing;
};

} // namespace marrowick
