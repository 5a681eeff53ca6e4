#include "Marrowick/Popover/RowChrome.h"

#include <QLayout>

namespace marrowick {

void applyRowChrome(QLayout *layout, const RowSettings &settings)
{
    const int vertical = settings.compactMode ? 4 : 8;
    layout->setContentsMargins(12, vertical, 12, vertical);
}

} // namespace marrowick
