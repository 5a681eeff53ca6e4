#include "Marrowick/App/MarrowickApp.h"

#include <QApplication>

using namespace marrowick;

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("tobrin"));
    QApplication::setOrganizationDomain(QStringLiteral("tobrin.dev"));
    QApplication::setApplicationName(QStringLiteral("Marrowick"));
    QApplication::setApplicationVersion(QStringLiteral(MARROWICK_VERSION));
    QGuiApplication::setDesktopFileName(MarrowickApp::bundleIdentifier);
    // A tray application: closing a window must not end it.
    QApplication::setQuitOnLastWindowClosed(false);

    MarrowickApp marrowick(QCoreApplication::arguments());
    marrowick.start();
    return app.exec();
}
