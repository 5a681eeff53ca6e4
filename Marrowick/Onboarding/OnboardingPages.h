#pragma once

#include "Marrowick/State/AlertCenter.h"

#include <QString>

namespace marrowick {

// The texts of the first-run window, apart from its widgets.
namespace OnboardingPages {

inline constexpr int pageCount = 3;

QString title(int step);
// "Skip" on the first page, "Back" after it; "Next" until the last page, then "Done".
QString backTitle(int step);
QString forwardTitle(int step);
// "1 source added", "3 sources added"; empty with no source.
QString sourceCountText(qsizetype count);

// What the notification page offers for a permission state.
enum class NotificationBlock { on, unavailable, enable };
NotificationBlock notificationBlock(AuthorizationStatus status);

} // namespace OnboardingPages

} // namespace marrowick
