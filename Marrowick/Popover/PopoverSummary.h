#pragma once

#include "Marrowick/State/OverallStatus.h"
#include "Marrowick/Popover/PopoverRows.h"

#include <QString>

#include <optional>

namespace marrowick {

// The texts of the popup's header, computed from the state on each redraw.
namespace PopoverSummary {

// Every widget of every source that has no error, by its status; each failed source counts
// once as down, whatever its old snapshot held.
PopoverRows::StatusCounts statusCounts(const SourceMap<SourceSnapshot> &snapshots, const SourceMap<QString> &errors);
// "<n> services affected" (down and warn), else "<n> services online"; none when both are 0.
std::optional<QString> affectedText(const PopoverRows::StatusCounts &counts);
std::optional<QString> affectedText(const SourceMap<SourceSnapshot> &snapshots, const SourceMap<QString> &errors);
// "<n> services inactive", counting every widget of every snapshot; none for 0.
std::optional<QString> inactiveText(const SourceMap<SourceSnapshot> &snapshots);

// "All systems up", "Some issues", … and "No sources yet" for unknown without a source.
QString summaryText(OverallStatus status, bool hasSources);
// "Healthy", "Degraded", … and "Not configured" for unknown without a source.
QString statusWord(OverallStatus status, bool hasSources);

} // namespace PopoverSummary

} // namespace marrowick
