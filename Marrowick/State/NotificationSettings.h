#pragma once

namespace marrowick {

// The desktop's own notification settings, where one is known (GNOME, KDE Plasma). Starts it
// and returns true; otherwise does nothing and returns false.
bool openNotificationSettings();
// Whether openNotificationSettings() has anything to open here.
bool canOpenNotificationSettings();

} // namespace marrowick
