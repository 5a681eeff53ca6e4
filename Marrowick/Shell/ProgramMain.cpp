#include "Marrowick/Shell/ProgramMain.h"

#include "Marrowick/Shell/MarrowickApp.h"
#include "Marrowick/Shell/SingleInstance.h"
#include "Marrowick/Shell/TerminationSignals.h"
#include "Marrowick/State/SourcesStore.h"
#include "Marrowick/Style/MarrowickProxyStyle.h"

#include <QApplication>

#include <cstdio>

namespace marrowick {

int runProgram(int argc, char *argv[], const ProgramMainHooks &hooks)
{
    ignoreFileSizeSignal();
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("tobrin"));
    QApplication::setOrganizationDomain(QStringLiteral("tobrin.dev"));
    QApplication::setApplicationName(QStringLiteral("Marrowick"));
    QApplication::setApplicationVersion(QStringLiteral(MARROWICK_VERSION));
    QGuiApplication::setDesktopFileName(MarrowickApp::bundleIdentifier);
    // A tray application: closing a window must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    MarrowickProxyStyle::install();

    // Until the claim is settled a signal ends the process at once: nothing is loaded yet, and a
    // hand-over to a copy that does not answer would otherwise hold a Ctrl-C for its time-out.
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

    // Before anything loads: a logout while the program starts still quits through its quit path.
    TerminationSignals::catchFromNow();
    if (hooks.beforeLoading)
        hooks.beforeLoading();
    int status = 0;
    {
        MarrowickApp marrowick(QCoreApplication::arguments());
        QObject::connect(&instance, &SingleInstance::activationRequested, &marrowick, &MarrowickApp::showPopover);
        if (hooks.beforeLoop)
            hooks.beforeLoop(marrowick);
        marrowick.start();
        status = QApplication::exec();
    }
    // Tasks the program's objects cancelled as they went (a poll that had not begun, a wait)
    // resume from the event loop and end at once: a last few turns, so none stays suspended.
    for (int turn = 0; turn < 4; ++turn)
        QCoreApplication::processEvents();
    return status;
}

} // namespace marrowick
