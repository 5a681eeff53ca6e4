#pragma once

// What bench_Popover and bench_Settings share: the whole application state over a throw-away
// folder, whose sources of every kind answer when asked with values that change round after
// round, and the options both take. bench_Application takes its alert center and its sources
// file from here too.
#include "Marrowick/State/AlertCenter.h"
#include "Marrowick/State/AppSettings.h"
#include "Marrowick/State/AppState.h"
#include "Marrowick/State/SourcesStore.h"
#include "MarrowickKit/Credentials/InMemoryCredentialStore.h"
#include "MarrowickKit/Engine/JSONFileStore.h"
#include "MarrowickKit/Model/JsonWriter.h"
#include "MarrowickKit/Model/ProviderError.h"

#include <QCoreApplication>
#include <QDir>
#include <QHash>
#include <QTemporaryDir>

#include <algorithm>
#include <memory>

namespace marrowick::bench {

class SilentAlertCenter : public AlertCenter {
public:
    QCoro::Task<AuthorizationStatus> authorizationStatus() override { co_return AuthorizationStatus::authorized; }
    QCoro::Task<bool> requestAuthorization() override { co_return true; }
    void post(const AlertNotification &) override {}
};

// Writes "sources.json" in `folder` compact, as a file written by hand may be: 40,000 sources
// fit under the file cap so.
inline void saveCompactSources(const QList<AnySourceConfig> &sources, const QString &folder)
{
    JSONFileStore::save(writeJson(sourcesToJson(sources), JsonStyle::compact),
                        QDir(folder).filePath(SourcesStore::fileName()));
}

inline QList<WidgetData> widgetsOf(int kind, int round)
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

inline QList<AnySourceConfig> mixedSources(int count, QHash<QUuid, int> *kinds)
{
    QList<AnySourceConfig> sources;
    for (int i = 0; i < count; ++i) {
        const QUuid id = QUuid::createUuid();
        const QString name = QStringLiteral("S%1").arg(i);
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

// --sources 200,10000 and --rounds 40.
inline Options parseOptions(const QStringList &arguments)
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

// The state with `count` sources of every kind, each of which has answered once. A negative
// round is an outage: every source fails.
struct StateRig {
    QTemporaryDir dir;
    AppSettings settings{std::make_unique<QSettings>(dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat)};
    QHash<QUuid, int> kinds;
    int round = 0;
    int count;
    int answered = 0;
    std::unique_ptr<AppState> state;

    explicit StateRig(int sourceCount) : count(sourceCount)
    {
        const QString folder = dir.filePath(QStringLiteral("Marrowick"));
        saveCompactSources(mixedSources(count, &kinds), folder);
        AppStateServices services;
        services.credentials = std::make_shared<InMemoryCredentialStore>();
        services.sourcesDirectory = folder;
        services.settings = &settings;
        services.alertCenter = std::make_shared<SilentAlertCenter>();
        services.makeProvider = [this](const AnySourceConfig &config, CredentialStoreHandle) {
            return std::make_unique<BenchProvider>(config.id(), kinds.value(config.id()), &round);
        };
        services.sleep = [](double seconds, CancelToken cancel) { return continuousSleep(seconds, std::move(cancel)); };
        services.now = [] { return Instant::now(); };
        services.bootClock = BootClock::system();
        state = std::make_unique<AppState>(std::move(services));
        QObject::connect(state.get(), &AppState::sourceResultChanged, [this] { ++answered; });
        waitForAnswers();
    }

    void waitForAnswers()
    {
        while (answered < count)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        answered = 0;
    }
    // Every source polled again, with the values of `nextRound`.
    void updateAll(int nextRound)
    {
        round = nextRound;
        state->refreshAll();
        waitForAnswers();
    }
};

} // namespace marrowick::bench
