// Polls 10,000 sources whose providers answer at once and whose waits last one event-loop
// turn, with one subscriber that keeps the latest update as the application does. Prints
// polls per second and the process's peak resident memory.
#include "BenchSupport.h"
#include "MarrowickKit/Engine/PollEngine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <cstdio>

using namespace marrowick;

namespace {

class InstantProvider : public SourceProvider {
public:
    explicit InstantProvider(QUuid id) : m_id(id) {}

    QCoro::Task<SourceSnapshot> fetch(CancelToken) override
    {
        CheckResult check{QStringLiteral("check"), QStringLiteral("Check"), ServiceStatus::up, 12.0, std::nullopt};
        co_return SourceSnapshot{m_id, Instant{}, {WidgetData::check(check)}};
    }

private:
    QUuid m_id;
};

// Ends when `stop` is set or the subscription goes away; after either it touches nothing.
QCoro::Task<void> consume(PollEngine::Subscription *subscription, PollEngine::Update *latest, qint64 *polls,
                          const bool *stop)
{
    try {
        for (;;) {
            PollEngine::Update update = co_await subscription->next();
            if (*stop)
                co_return;
            if (update.polledSourceID)
                ++*polls;
            *latest = std::move(update);
        }
    } catch (const CancellationError &) {
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int sourceCount = argc > 1 ? QByteArray(argv[1]).toInt() : 10000;
    const qint64 targetPolls = argc > 2 ? QByteArray(argv[2]).toLongLong() : 20 * qint64(sourceCount);

    QList<AnySourceConfig> sources;
    sources.reserve(sourceCount);
    for (int i = 0; i < sourceCount; ++i) {
        HTTPPingConfig config(QUuid::createUuid(), QStringLiteral("Source %1").arg(i), QStringLiteral("http://127.0.0.1/"));
        config.pollInterval = 5;
        sources.append(config);
    }

    PollEngine engine(
        nullptr,
        [](const AnySourceConfig &config, CredentialStoreHandle) { return std::make_unique<InstantProvider>(config.id()); },
        [](double, CancelToken) { return nextEventLoopTurn(); });
    auto subscription = engine.updates();
    PollEngine::Update latest;
    qint64 polls = 0;
    bool stop = false;
    [[maybe_unused]] auto consumer = consume(subscription.get(), &latest, &polls, &stop);

    QElapsedTimer clock;
    clock.start();
    engine.setSources(sources);
    const qint64 setSourcesNs = clock.nsecsElapsed();

    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (polls >= targetPolls)
            app.quit();
    });
    check.start(10);
    app.exec();
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    engine.setPaused(true);

    std::printf("sources: %d\n", sourceCount);
    std::printf("setSources: %.1f ms\n", double(setSourcesNs) / 1e6);
    std::printf("polls: %lld in %.2f s = %.0f polls/s\n", static_cast<long long>(polls), seconds,
                double(polls) / seconds);
    std::printf("peak memory (VmHWM): %s\n", qPrintable(bench::peakMemory()));
    stop = true;
    subscription.reset();
    QCoreApplication::processEvents();
    return 0;
}
