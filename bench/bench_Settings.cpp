// Opens the settings window over sources of every kind, as the shell does when it is first
// asked for (building it, showing it and the first paint), closes and opens it again, scrolls
// to the end of the list and back, then lets every source answer with changed values, round
// after round, with the window open and closed in turn. Prints those times, a full update's
// share of the window (its handling of every answer, the layouts its cards ask for and its
// paint) and the round's whole time, the same share with no window at all (what measuring it
// costs), and the resident memory before opening, once opened and once closed.
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
#include <functional>
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

double median(QList<double> times)
{
    std::sort(times.begin(), times.end());
    return times.at(times.size() / 2);
}

// The time the window spends on the answers: each source's result reaches it between two
// handlers of the state's signal, one connected before the window and one after.
struct WindowShare {
    QElapsedTimer clock;
    qint64 handlerStarted = 0;
    qint64 spent = 0;

    WindowShare(AppState *state, const std::function<void()> &makeWindow)
    {
        clock.start();
        QObject::connect(state, &AppState::sourceResultChanged, [this] { handlerStarted = clock.nsecsElapsed(); });
        makeWindow();
        QObject::connect(state, &AppState::sourceResultChanged, [this] { spent += clock.nsecsElapsed() - handlerStarted; });
    }
};

struct Update {
    double wholeMs = 0;  // from the refresh to the last answer and, with the window open, its paint
    double windowMs = 0; // of that, the window's handling of the answers and its paint
};

Update fullUpdate(bench::StateRig &rig, QWidget &window, WindowShare &share, int round)
{
    QElapsedTimer timer;
    timer.start();
    share.spent = 0;
    rig.updateAll(round);
    // The layouts its cards ask for are the window's; the engine's own posted events are not.
    QElapsedTimer layouts;
    layouts.start();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    const double layoutMs = elapsedMs(layouts);
    QCoreApplication::sendPostedEvents();
    QElapsedTimer painting;
    painting.start();
    if (window.isVisible())
        window.repaint();
    return {elapsedMs(timer), static_cast<double>(share.spent) / 1e6 + layoutMs + elapsedMs(painting)};
}

void run(int sourceCount, int rounds)
{
    bench::StateRig rig(sourceCount);

    const QString before = bench::residentMemory();
    QElapsedTimer opening;
    opening.start();
    std::unique_ptr<SettingsView> window;
    WindowShare share(rig.state.get(), [&] {
        window = std::make_unique<SettingsView>(rig.state.get(), QStringList(), GeneralSettingsServices());
    });
    window->show();
    paint(*window);
    const double openMs = elapsedMs(opening);
    const qsizetype cards = window->cards().size();
    const QString opened = bench::residentMemory();

    window->hide();
    QCoreApplication::sendPostedEvents();
    const QString closed = bench::residentMemory();
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

    // Open and closed in turn, so that both meet the same state as it grows.
    QList<double> shown;
    QList<double> ownShare;
    QList<double> hidden;
    QList<double> hiddenShare;
    for (int round = 1; round <= rounds; ++round) {
        window->show();
        paint(*window);
        const Update open = fullUpdate(rig, *window, share, 2 * round);
        shown.append(open.wholeMs);
        ownShare.append(open.windowMs);
        window->hide();
        const Update closed = fullUpdate(rig, *window, share, 2 * round + 1);
        hidden.append(closed.wholeMs);
        hiddenShare.append(closed.windowMs);
    }
    window->show();
    paint(*window);
    const Update outage = fullUpdate(rig, *window, share, -1);

    // Gone: the share measured with no window between the two handlers, the measurement's own floor.
    window.reset();
    QWidget none;
    QList<double> noneShare;
    for (int round = 1; round <= rounds; ++round)
        noneShare.append(fullUpdate(rig, none, share, 2 * rounds + round).windowMs);

    std::printf("sources: %d, cards made: %lld, full updates: %d each way\n", sourceCount,
                static_cast<long long>(cards), rounds);
    std::printf("opening the window the first time: %.2f ms, again: %.2f ms\n", openMs, reopenMs);
    std::printf("scrolling to the end and back: %.2f ms\n", scrollMs);
    std::printf("full update, median: %.2f ms of the window's own with it open (%.2f ms in all), %.3f ms with it "
                "closed (%.2f ms in all)\n",
                median(ownShare), median(shown), median(hiddenShare), median(hidden));
    std::printf("every source failing at once, window open: %.2f ms of the window's own (%.2f ms in all)\n",
                outage.windowMs, outage.wholeMs);
    std::printf("full update with no window, median: %.3f ms measured between the handlers\n", median(noneShare));
    std::printf("memory: %s before the window, %s once it opened, %s once it closed; peak %s\n", qPrintable(before),
                qPrintable(opened), qPrintable(closed), qPrintable(bench::peakMemory()));
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
