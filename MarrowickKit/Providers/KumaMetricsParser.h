#pragma once

#include "MarrowickKit/Model/WidgetData.h"

#include <QList>
#include <QString>

namespace marrowick {

// Reads the monitors out of an Uptime Kuma metrics page (Prometheus text exposition format):
// one row per "monitor_status" line that names a monitor, in line order, with the latest
// "monitor_response_time" of the same series (same labels) as its latency. A row's id is the
// monitor name; monitors that share a name get ids of their own (see sharedNameID). Pure and
// stateless. Text it does not understand gives fewer rows or none; it never fails.
namespace KumaMetricsParser {

QList<ServiceRow> parse(const QString &text);

} // namespace KumaMetricsParser

} // namespace marrowick
