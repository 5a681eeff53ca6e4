#include "Marrowick/Shell/PopupPlacement.h"

#include <algorithm>

namespace marrowick {

namespace {

constexpr int gap = 4;

int clampedStart(int start, int length, int areaStart, int areaLength)
{
    // When the popup is larger than the area its start wins, so its top or left stays visible.
    return std::max(areaStart, std::min(start, areaStart + areaLength - length));
}

} // namespace

QPoint popupPosition(QSize popup, QRect iconGeometry, QPoint cursor, QRect screenArea)
{
    const QRect anchor = iconGeometry.isValid() && !iconGeometry.isEmpty() ? iconGeometry : QRect(cursor, QSize(1, 1));
    const bool opensDownward = anchor.center().y() < screenArea.center().y();
    const int x = anchor.center().x() - popup.width() / 2;
    const int y = opensDownward ? anchor.bottom() + 1 + gap : anchor.top() - gap - popup.height();
    return QPoint(clampedStart(x, popup.width(), screenArea.left(), screenArea.width()),
                  clampedStart(y, popup.height(), screenArea.top(), screenArea.height()));
}

} // namespace marrowick
