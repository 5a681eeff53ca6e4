// Opens the settings window over sources of every kind, as the shell does when it is first
// asked for (building it, showing it and the first paint), closes and opens it again, scrolls
// to the end of the list and back, then lets every source answer with changed values, round
// after round, with the window open and with it closed. A full update's time is the round's
// whole time, the sources' answers included: the open window's share is the difference from
// the closed one. Prints those times and the resident memory before and after opening.
//
//   bench_Settings [--sources 200,10000,40000] [--rounds 20]
// runs once per source count, each over a fresh state.
#include "BenchSupport.h"
#include "StateBench.h"
#include "Marrowick/Settings/SettingsView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollArea>
#include <QScrollBar>

#include <algorithm>
#include <cstdio>
#include <memory>

using namespace marrowick;

namespace {

double elapsedMs(const QElapsedTimer &timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

void paint(QWidget &window)
{
    QCoreApplication::sendPostedEvents();
    window.repaint();
}

// The median of full updates, each timed from the refresh to the last answer and its paint.
double medianUpdate(bench::StateRig &rig, QWidget &window, int firstRound, int rounds)
{
    QList<double> times;
    for (int round = firstRound; round < firstRound + rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        rig.updateAll(round);
        if (window.isVisible())
            paint(window);
        times.append(elapsedMs(timer));
    }
    std::sort(times.begin(), times.end());
    return times.at(times.size() / 2);
}

void run(int sourceCount, int rounds)
{
    bench::StateRig rig(sourceCount);

    const QString before = bench::residentMemory();
    QElapsedTimer opening;
    opening.start();
    auto window = std::make_unique<SettingsView>(rig.state.get(), QStringList(), GeneralSettingsServices());
    window->show();
    paint(*window);
    const double openMs = elapsedMs(opening);
    const qsizetype cards = window->cards().size();
    const QString opened = bench::residentMemory();

    window->hide();
    QElapsedTimer reopening;
    reopening.start();
    window->show();
    paint(*window);
    const double reopenMs = elapsedMs(reopening);

    QElapsedTimer scrolling;
    scrolling.start();
    QScrollBar *bar = window->findChild<QScrollArea *>()->verticalScrollBar();
    bar->setValue(bar->maximum());
    paint(*window);
    bar->setValue(0);
    paint(*window);
    const double scrollMs = elapsedMs(scrolling);

    const double shownMs = medianUpdate(rig, *window, 1, rounds);
    QElapsedTimer failing;
    failing.start();
    rig.updateAll(-1);
    paint(*window);
    const double outageMs = elapsedMs(failing);
    window->hide();
    const double hiddenMs = medianUpdate(rig, *window, rounds + 1, rounds);

    std::printf("sources: %d, cards made: %lld, full updates: %d each way\n", sourceCount,
                static_cast<long long>(cards), rounds);
    std::printf("opening the window the first time: %.2f ms, again: %.2f ms\n", openMs, reopenMs);
    std::printf("scrolling to the end and back: %.2f ms\n", scrollMs);
    std::printf("full update, median: %.2f ms with the window open, %.2f ms with it closed\n", shownMs, hiddenMs);
    std::printf("every source failing at once, window open: %.2f ms\n", outageMs);
    std::printf("memory: %s before the window, %s once it opened; peak %s\n", qPrintable(before), qPrintable(opened),
                qPrintable(bench::peakMemory()));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    bench::Options options = bench::parseOptions(app.arguments());
    if (!app.arguments().contains(QStringLiteral("--rounds")))
        options.rounds = 20;
    for (int count : options.sourceCounts)
        run(count, options.rounds);
    return 0;
}
