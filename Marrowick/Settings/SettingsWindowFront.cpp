#include "Marrowick/Settings/SettingsWindowFront.h"

#include <QApplication>
#include <QWidget>

namespace marrowick {

QWidget *findSettingsWindow()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (window->objectName() == settingsWindowIdentifier)
            return window;
    }
    // Popups and tool windows cannot become the main window; ordinary windows can.
    for (QWidget *window : windows) {
        if (window->isVisible() && window->windowType() == Qt::Window)
            return window;
    }
    return nullptr;
}

void bringSettingsWindowToFront()
{
    QWidget *window = findSettingsWindow();
    if (!window)
        return;
    if (QGuiApplication::applicationState() == Qt::ApplicationActive && QApplication::activeWindow() == window)
        return;
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace marrowick
