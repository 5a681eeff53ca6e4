// Opens the popup over sources of every kind, then lets every source answer with changed
// values, round after round, as a refresh of all sources does. Prints how long opening takes
// (reading the state as the shell does before showing, showing and the first paint), how long
// the open popup takes to redraw after each full update (collecting the changes, updating the
// rows, the layouts they ask for and painting the window), and the peak resident memory.
//
//   bench_Popover [--sources 200,10000] [--rounds 40]
// runs once per source count, each over a fresh state.
#include "BenchSupport.h"
#include "StateBench.h"
#include "Marrowick/Popover/PopoverView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

using namespace marrowick;

namespace {

void run(int sourceCount, int rounds)
{
    bench::StateRig rig(sourceCount);
    AppState &state = *rig.state;

    // Opening reads the whole state and lays every row out once; measured on its own.
    PopoverView popover(&state);
    QElapsedTimer opening;
    opening.start();
    popover.syncWithState();
    popover.show();
    QCoreApplication::sendPostedEvents();
    popover.repaint();
    const double openMs = static_cast<double>(opening.nsecsElapsed()) / 1e6;
    // Scrolling to the end makes the blocks there; timed as one step, painted.
    QElapsedTimer scrolling;
    scrolling.start();
    if (auto *list = popover.findChild<QScrollArea *>(QStringLiteral("popover.list"))) {
        QCoreApplication::sendPostedEvents();
        list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum());
        popover.repaint();
        list->verticalScrollBar()->setValue(0);
        popover.repaint();
    }
    const double scrollMs = static_cast<double>(scrolling.nsecsElapsed()) / 1e6;
    QCoreApplication::processEvents();

    const auto fullUpdate = [&](int round) {
        rig.updateAll(round);
        QElapsedTimer timer;
        timer.start();
        popover.flushPendingChanges();
        // The layouts the changed rows ask for are part of the redraw.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        popover.repaint();
        return static_cast<double>(timer.nsecsElapsed()) / 1e6;
    };
    QList<double> redraws;
    for (int round = 1; round <= rounds; ++round)
        redraws.append(fullUpdate(round));
    // Every row changes its kind at once, as when the network goes away and comes back.
    const double outageMs = fullUpdate(-1);
    const double recoveryMs = fullUpdate(rounds + 1);
    // Pausing dims the whole list at once.
    QElapsedTimer pausing;
    pausing.start();
    state.setPaused(true);
    popover.flushPendingChanges();
    popover.repaint();
    const double pauseMs = static_cast<double>(pausing.nsecsElapsed()) / 1e6;
    std::sort(redraws.begin(), redraws.end());
    std::printf("sources: %d, rows drawn: %lld, full updates: %d\n", sourceCount,
                static_cast<long long>(popover.rowCount()), rounds);
    std::printf("redraw after a full update: median %.2f ms, p90 %.2f ms, max %.2f ms\n", redraws.at(redraws.size() / 2),
                redraws.at(redraws.size() * 9 / 10), redraws.last());
    std::printf("every source failing at once: %.2f ms, all recovering: %.2f ms\n", outageMs, recoveryMs);
    std::printf("opening the popup: %.2f ms\n", openMs);
    std::printf("scrolling to the end and back: %.2f ms\n", scrollMs);
    std::printf("pausing: %.2f ms\n", pauseMs);
    std::printf("peak memory: %s\n", qPrintable(bench::peakMemory()));
}
} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const bench::Options options = bench::parseOptions(app.arguments());
    for (int count : options.sourceCounts)
        run(count, options.rounds);
    return 0;
}
