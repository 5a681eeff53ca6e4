#pragma once

#include "Marrowick/Popover/RowChrome.h"
#include "MarrowickKit/Model/WidgetData.h"

#include <QWidget>

#include <optional>

class QLabel;

namespace marrowick {

class MetricRing;
class StatusOrb;
class SymbolView;

// One host of a monitoring hub: orb, name, its state in a word while not up, the CPU, memory
// and disk rings, and the hottest drive's temperature.
class HostRowView : public QWidget {
    Q_OBJECT

public:
    HostRowView(const HostStats &host, const RowSettings &settings, QWidget *parent = nullptr);

    void set(const HostStats &host, const RowSettings &settings);

    // "55°C" of the hottest drive (the first of equal ones); none without drives.
    static std::optional<QString> temperatureText(const QList<DriveTemp> &temps);

private:
    StatusOrb *m_orb;
    QLabel *m_name;
    QLabel *m_state;
    MetricRing *m_cpu;
    MetricRing *m_mem;
    MetricRing *m_disk;
    SymbolView *m_thermometer;
    QLabel *m_temperature;
};

} // namespace marrowick
