// Opens the popup over sources of every kind, then lets every source answer with changed
// values, round after round, as a refresh of all sources does. Prints how long opening takes
// (reading the state as the shell does before showing, showing and the first paint), how long
// the open popup takes to redraw after each full update (collecting the changes, updating the
// rows and painting the window), and the peak resident memory.
//
//   bench_Popover [--sources 200,10000] [--rounds 40]
// runs once per source count, each over a fresh state.
#include "BenchSupport.h"
#include "Marrowick/State/AppSettings.h"
#include "Marrowick/State/AppState.h"
#include "Marrowick/State/SourcesStore.h"
#include "Marrowick/Popover/PopoverView.h"
#include "MarrowickKit/Credentials/InMemoryCredentialStore.h"
#include "MarrowickKit/Model/ProviderError.h"

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

class SilentAlertCenter : public AlertCenter {
public:
    QCoro::Task<AuthorizationStatus> authorizationStatus() override { co_return AuthorizationStatus::authorized; }
    QCoro::Task<bool> requestAuthorization() override { co_return true; }
    void post(const AlertNotification &) override {}
};

QList<WidgetData> widgetsOf(int kind, int round)
{
    const double wobble = (round * 7 + kind * 3) % 11;
    const ServiceStatus flip = round % 5 == 0 ? ServiceStatus::warn : ServiceStatus::up;
    switch (kind) {
    case 0:
        return {WidgetData::service(ServiceRow{"a", "Web", ServiceStatus::up, 30 + wobble, QStringLiteral("HTTP 200")}),
                WidgetData::service(ServiceRow{"b", "Mail", flip, 80 + wobble, std::nullopt}),
                WidgetData::service(ServiceRow{"c", "DNS", ServiceStatus::up, 4 + wobble, std::nullopt})};
    case 1:
        return {WidgetData::host(HostStats{"h1", "nas", ServiceStatus::up, 20 + wobble, 60, 80 + wobble, {{"sda", 40 + wobble}}}),
                WidgetData::host(HostStats{"h2", "pi", flip, 5 + wobble, 30, 50, {}})};
    case 2:
        return {WidgetData::game(GameServerStatus{"g", "mc", true, qint64(round % 20), 20, {"Alex", "Steve"}, 20 + wobble, {}})};
    case 3:
    case 4:
        return {WidgetData::check(CheckResult{"c", "c", flip, 10 + wobble, std::nullopt})};
    default:
        return {WidgetData::keyValues("Stats", {{"Power", QString::number(3 + wobble)}, {"Today", "18 kWh"},
                                                {"Battery", QString::number(80 + wobble)}, {"Mode", "grid"}})};
    }
}

class BenchProvider : public SourceProvider {
public:
    BenchProvider(QUuid id, int kind, const int *round) : m_id(id), m_kind(kind), m_round(round) {}
    QCoro::Task<SourceSnapshot> fetch(CancelToken) override
    {
        // A negative round is an outage: every source fails.
        if (*m_round < 0)
            throw ProviderError::upstream(QStringLiteral("timed out"));
        co_return SourceSnapshot{m_id, Instant::now(), widgetsOf(m_kind, *m_round)};
    }

private:
    QUuid m_id;
    int m_kind;
    const int *m_round;
};

QList<AnySourceConfig> mixedSources(int count, QHash<QUuid, int> *kinds)
{
    QList<AnySourceConfig> sources;
    for (int i = 0; i < count; ++i) {
        const QUuid id = QUuid::createUuid();
        const QString name = QStringLiteral("Source %1").arg(i);
        // Polls happen only when the benchmark asks for them.
        const auto rarely = [](auto config) -> AnySourceConfig {
            config.pollInterval = 3600;
            return config;
        };
        const AnySourceConfig source = [&]() -> AnySourceConfig {
            switch (i % 6) {
            case 0:
                return rarely(KumaConfig(id, name, QStringLiteral("http://127.0.0.1"), std::nullopt, std::nullopt, QStringLiteral("s")));
            case 1:
                return rarely(BeszelConfig(id, name, QStringLiteral("http://127.0.0.1"), QStringLiteral("t")));
            case 2:
                return rarely(GameServerConfig(id, name, QStringLiteral("minecraft-java"), QStringLiteral("127.0.0.1"),
                                               25565, std::nullopt, std::nullopt, false));
            case 3:
                return rarely(HTTPPingConfig(id, name, QStringLiteral("http://127.0.0.1")));
            case 4:
                return rarely(TCPPortConfig(id, name, QStringLiteral("127.0.0.1"), 22));
            default:
                return rarely(JSONWidgetConfig(id, name, QStringLiteral("http://127.0.0.1"), std::nullopt, {}));
            }
        }();
        kinds->insert(id, i % 6);
        sources.append(source);
    }
    return sources;
}

struct Options {
    QList<int> sourceCounts{200};
    int rounds = 40;
};

Options parseOptions(const QStringList &arguments)
{
    Options options;
    for (qsizetype i = 1; i + 1 < arguments.size(); i += 2) {
        if (arguments.at(i) == QLatin1String("--sources")) {
            options.sourceCounts.clear();
            for (const QString &count : arguments.at(i + 1).split(QLatin1Char(',')))
                options.sourceCounts.append(std::max(1, count.toInt()));
        } else if (arguments.at(i) == QLatin1String("--rounds")) {
            options.rounds = std::max(1, arguments.at(i + 1).toInt());
        }
    }
    return options;
}

void run(int sourceCount, int rounds)
{
    QTemporaryDir dir;
    AppSettings settings(std::make_unique<QSettings>(dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat));
    const QString folder = dir.filePath(QStringLiteral("Marrowick"));
    QHash<QUuid, int> kinds;
    SourcesStore::save(mixedSources(sourceCount, &kinds), folder);

    int round = 0;
    AppStateServices services;
    services.credentials = std::make_shared<InMemoryCredentialStore>();
    services.sourcesDirectory = folder;
    services.settings = &settings;
    services.alertCenter = std::make_shared<SilentAlertCenter>();
    services.makeProvider = [&kinds, &round](const AnySourceConfig &config, CredentialStoreHandle) {
        return std::make_unique<BenchProvider>(config.id(), kinds.value(config.id()), &round);
    };
    services.sleep = [](double seconds, CancelToken cancel) { return continuousSleep(seconds, std::move(cancel)); };
    services.now = [] { return Instant::now(); };
    AppState state(std::move(services));

    int answered = 0;
    QObject::connect(&state, &AppState::sourceResultChanged, [&answered] { ++answered; });
    const auto waitForAnswers = [&] {
        while (answered < sourceCount)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        answered = 0;
    };
    waitForAnswers();

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

    const auto fullUpdate = [&] {
        state.refreshAll();
        waitForAnswers();
        QElapsedTimer timer;
        timer.start();
        popover.flushPendingChanges();
        popover.repaint();
        return static_cast<double>(timer.nsecsElapsed()) / 1e6;
    };
    QList<double> redraws;
    for (round = 1; round <= rounds; ++round)
        redraws.append(fullUpdate());
    // Every row changes its kind at once, as when the network goes away and comes back.
    round = -1;
    const double outageMs = fullUpdate();
    round = rounds + 1;
    const double recoveryMs = fullUpdate();
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
    const Options options = parseOptions(app.arguments());
    for (int count : options.sourceCounts)
        run(count, options.rounds);
    return 0;
}
