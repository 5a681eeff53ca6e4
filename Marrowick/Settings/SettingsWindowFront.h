#pragma once

#include <QString>

class QWidget;

namespace marrowick {

// The object name that identifies the settings window among the application's windows.
inline const QString settingsWindowIdentifier = QStringLiteral("settings");

// The settings window, visible or not; else the first visible ordinary window (the first-run
// window, for one); else none.
QWidget *findSettingsWindow();

// Shows and activates the window findSettingsWindow() finds, unless it is already the active
// window of the active application.
void bringSettingsWindowToFront();

} // namespace marrowick
