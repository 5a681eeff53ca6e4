#include "Marrowick/Shell/MarrowickApp.h"
#include "Marrowick/Shell/SingleInstance.h"
#include "Marrowick/Shell/TerminationSignals.h"
#include "Marrowick/State/SourcesStore.h"

#include <QApplication>

#include <cstdio>

using namespace marrowick;

int main(int argc, char *argv[])
{
    ignoreFileSizeSignal();
    // Before anything loads: a logout while the program starts still quits through its quit path.
    TerminationSignals::catchFromNow();
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("tobrin"));
    QApplication::setOrganizationDomain(QStringLiteral("tobrin.dev"));
    QApplication::setApplicationName(QStringLiteral("Marrowick"));
    QApplication::setApplicationVersion(QStringLiteral(MARROWICK_VERSION));
    QGuiApplication::setDesktopFileName(MarrowickApp::bundleIdentifier);
    // A tray application: closing a window must not end it.
    QApplication::setQuitOnLastWindowClosed(false);

    SingleInstance instance(MarrowickApp::bundleIdentifier, SourcesStore::defaultDirectory(),
                            QDBusConnection::sessionBus());
    switch (instance.claim()) {
    case SingleInstance::Claim::owner:
        break;
    case SingleInstance::Claim::handedOver:
        return 0;
    case SingleInstance::Claim::alreadyRunning:
        std::fprintf(stderr, "%s\n", qPrintable(instance.error()));
        return 1;
    }

    MarrowickApp marrowick(QCoreApplication::arguments());
    QObject::connect(&instance, &SingleInstance::activationRequested, &marrowick, &MarrowickApp::showPopover);
    marrowick.start();
    return app.exec();
}
