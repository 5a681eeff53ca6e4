#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace marrowick {

// Where the popup's top-left corner goes: centred under the tray icon when the tray tells its
// geometry (above it when the icon sits in the lower half of the screen, as on a bottom
// panel), else beside the cursor; always kept within the screen's available area.
QPoint popupPosition(QSize popup, QRect iconGeometry, QPoint cursor, QRect screenArea);

} // namespace marrowick
