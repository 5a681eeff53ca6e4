#include "Marrowick/MenuBarIcon.h"

#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>

using namespace marrowick;

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("tobrin"));
    QApplication::setOrganizationDomain(QStringLiteral("tobrin.dev"));
    QApplication::setApplicationName(QStringLiteral("Marrowick"));
    QGuiApplication::setDesktopFileName(QStringLiteral("dev.tobrin.marrowick"));
    // A tray application: closing a window must not end it.
    QApplication::setQuitOnLastWindowClosed(false);

    QMenu menu;
    menu.addAction(QStringLiteral("Quit"), &app, &QCoreApplication::quit);

    QSystemTrayIcon tray(MenuBarIcon(OverallStatus::unknown).icon());
    tray.setToolTip(QApplication::applicationName());
    tray.setContextMenu(&menu);
    tray.show();

    return app.exec();
}
