#pragma once

namespace marrowick {

// The one state of every watched source that the tray icon and the popover header show.
// Computed on every read; never stored.
enum class OverallStatus { up, degraded, down, paused, unknown };

} // namespace marrowick
