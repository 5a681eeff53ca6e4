#pragma once

class QLayout;

namespace marrowick {

// What every row reads of the stored settings ("compactMode", "showSparklines").
struct RowSettings {
    bool compactMode = false;
    bool showSparklines = true;

    bool operator==(const RowSettings &) const = default;
};

// A row's padding: 12 left and right, 8 above and below, or 4 in compact mode.
void applyRowChrome(QLayout *layout, const RowSettings &settings);

} // namespace marrowick
