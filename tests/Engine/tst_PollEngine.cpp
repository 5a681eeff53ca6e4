#include "MarrowickKit/Engine/PollEngine.h"

#include "MarrowickKit/Transport/NetworkErrors.h"

#include "support/FakeNetworkStatus.h"
#include "support/FakeProviders.h"
#include "support/ScriptedCredentialStore.h"
#include "support/TestSupport.h"
#include "support/VirtualClock.h"

#include <QTest>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace marrowick;
using Update = PollEngine::Update;
using LocalCause = PollEngine::LocalCause;

Q_DECLARE_METATYPE(std::optional<LocalCause>)

namespace {

AnySourceConfig source(const QUuid &id, double interval = 60, const QString &name = QStringLiteral("Router"))
{
    HTTPPingConfig config(id, name, QStringLiteral("http://127.0.0.1:8080/health"));
    config.pollInterval = interval;
    return config;
}

// An engine in virtual time with scripted providers and one subscriber.
struct Rig {
    test::VirtualClock clock;
    test::FakeProviders providers;
    std::shared_ptr<test::ScriptedCredentialStore> keyring = std::make_shared<test::ScriptedCredentialStore>();
    std::shared_ptr<test::FakeNetworkStatus> network = std::make_shared<test::FakeNetworkStatus>();
    PollEngine engine{keyring, providers.factory(), clock.sleepFunction(), network};
    std::unique_ptr<PollEngine::Subscription> subscription = engine.updates();

    Rig() { drain(); }

    QList<Update> drain() { return drain(*subscription); }
    static QList<Update> drain(PollEngine::Subscription &subscription)
    {
        QList<Update> updates;
        while (subscription.pendingCount() > 0)
            updates.append(test::await(subscription.next()));
        return updates;
    }
};

const QUuid first{QStringLiteral("{6f1b8a43-9c0e-4a4b-8a57-1f7d2a3c9e01}")};
const QUuid second{QStringLiteral("{0c2d4e6f-8a1b-4c3d-9e5f-7a8b9c0d1e02}")};

} // namespace

class tst_PollEngine : public QObject {
    Q_OBJECT

private slots:
    void subscribersGetTheCurrentStateFirstThenEveryPoll()
    {
        Rig rig;
        rig.engine.setSources({source(first)});
        rig.clock.settle();
        QCOMPARE(rig.drain().size(), 1);

        auto late = rig.engine.updates();
        const auto firstElement = Rig::drain(*late);
        QCOMPARE(firstElement.size(), 1);
        QCOMPARE(firstElement.first(), rig.engine.latest());
        QVERIFY(!firstElement.first().polledSourceID);
        QVERIFY(!firstElement.first().polledSucceeded);

        rig.clock.advance(120);
        const auto early = rig.drain();
        const auto later = Rig::drain(*late);
        QCOMPARE(early.size(), 2);
        QCOMPARE(later, early);
        QCOMPARE(early.last().polledSourceID, first);
        QVERIFY(early.last().polledSucceeded);
    }

    void nextWaitsForTheNextBroadcast()
    {
        Rig rig;
        auto pending = rig.subscription->next();
        QVERIFY(!pending.isReady());
        rig.engine.setSources({source(first)});
        const Update update = test::await(std::move(pending));
        QCOMPARE(update.polledSourceID, first);
        QCOMPARE(update.snapshots.value(first), test::FakeProviders::snapshot(first, 1));
    }

    void theSameListTwiceRestartsNothing()
    {
        Rig rig;
        rig.engine.setSources({source(first), source(second)});
        rig.clock.settle();
        rig.drain();
        rig.engine.setSources({source(first), source(second)});
        rig.clock.settle();
        QVERIFY(rig.drain().isEmpty());
        QCOMPARE(rig.providers.fetchCount(first), 1);
        QCOMPARE(rig.providers.fetchCount(second), 1);
    }

    void aChangedSourceRestartsAndKeepsItsResults()
    {
        Rig rig;
        rig.engine.setSources({source(first)});
        rig.clock.settle();
        rig.providers.failNext(first, QStringLiteral("HTTP 503"));
        rig.clock.advance(60);
        rig.drain();
        const Update before = rig.engine.latest();
        QCOMPARE(before.errors.value(first), QStringLiteral("HTTP 503"));
        QCOMPARE(before.consecutiveFailures.value(first), 1);

        rig.engine.setSources({source(first, 60, QStringLiteral("Renamed"))});
        QCOMPARE(rig.engine.latest(), before);
        QVERIFY(rig.drain().isEmpty());

        rig.clock.settle(); // no time passes: the restarted loop polls at once
        QCOMPARE(rig.providers.fetchCount(first), 3);
        const auto updates = rig.drain();
        QCOMPARE(updates.size(), 1);
        QVERIFY(updates.first().polledSucceeded);
        QVERIFY(updates.first().errors.isEmpty());
        QVERIFY(updates.first().consecutiveFailures.isEmpty());
    }

    void removingSourcesForgetsThemWithOneUpdate_data()
    {
        QTest::addColumn<QList<AnySourceConfig>>("remaining");
        QTest::addColumn<int>("left");
        QTest::newRow("one removed") << QList<AnySourceConfig>{source(second)} << 1;
        QTest::newRow("empty list") << QList<AnySourceConfig>{} << 0;
    }
    void removingSourcesForgetsThemWithOneUpdate()
    {
        QFETCH(QList<AnySourceConfig>, remaining);
        QFETCH(int, left);
        Rig rig;
        rig.providers.failNext(second, QStringLiteral("timed out"));
        rig.engine.setSources({source(first), source(second)});
        rig.clock.settle();
        rig.drain();

        rig.engine.setSources(remaining);
        const auto updates = rig.drain();
        QCOMPARE(updates.size(), 1);
        QVERIFY(!updates.first().polledSourceID);
        QVERIFY(!updates.first().polledSucceeded);
        QVERIFY(!updates.first().snapshots.contains(first));
        QCOMPARE(updates.first().snapshots.size() + updates.first().errors.size(), left);
        QCOMPARE(updates.first(), rig.engine.latest());

        rig.clock.advance(3600);
        QCOMPARE(rig.providers.fetchCount(first), 1);
    }

    void pausingStopsPollingAndKeepsResults()
    {
        Rig rig;
        rig.providers.failNext(second, QStringLiteral("timed out"));
        rig.engine.setSources({source(first), source(second)});
        rig.clock.settle();
        rig.drain();
        const Update before = rig.engine.latest();

        rig.engine.setPaused(true);
        rig.clock.advance(3600);
        QVERIFY(rig.drain().isEmpty());
        QCOMPARE(rig.engine.latest(), before);
        QCOMPARE(rig.providers.fetchCount(first), 1);

        rig.engine.refreshNow(first);
        rig.engine.setSources({source(first)}); // removal still happens, nothing starts
        rig.clock.advance(3600);
        const auto updates = rig.drain();
        QCOMPARE(updates.size(), 1);
        QVERIFY(!updates.first().errors.contains(second));
        QCOMPARE(rig.providers.fetchCount(first), 1);

        rig.engine.setPaused(false);
        rig.clock.advance(3600);
        QCOMPARE(rig.providers.fetchCount(first), 1);

        rig.engine.setSources({source(first)});
        rig.clock.settle();
        QCOMPARE(rig.providers.fetchCount(first), 2);
    }

    void refreshPollsAtOnceAndKeepsTheFailureCount()
    {
        Rig rig;
        rig.providers.failNext(first, QStringLiteral("timed out"), 2);
        rig.engine.setSources({source(first)});
        rig.clock.settle();
        rig.engine.refreshNow(QUuid::createUuid());
        rig.engine.refreshNow(first);
        rig.clock.settle();
        QCOMPARE(rig.providers.fetchCount(first), 2);
        QCOMPARE(rig.engine.latest().consecutiveFailures.value(first), 2);
        QCOMPARE(rig.clock.requestedSleeps(), (QList<double>{120, 240}));
    }

    void intervalIsClamped_data()
    {
        QTest::addColumn<double>("interval");
        QTest::addColumn<double>("wait");
        QTest::newRow("below the minimum") << 2.0 << 5.0;
        QTest::newRow("inside") << 45.0 << 45.0;
        QTest::newRow("above the maximum") << 10000.0 << 3600.0;
        QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << 60.0;
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << 60.0;
    }
    void intervalIsClamped()
    {
        QFETCH(double, interval);
        QFETCH(double, wait);
        Rig rig;
        rig.engine.setSources({source(first, interval)});
        rig.clock.advance(wait);
        QCOMPARE(rig.clock.requestedSleeps(), (QList<double>{wait, wait}));
        QCOMPARE(rig.providers.fetchCount(first), 2);
    }

    void aLargeSetStartsInGroupsWithinOneInterval_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<double>("interval");
        QTest::addColumn<double>("lastDelay");
        // Four at once, then one group every 4 ms; never later than the interval allows.
        QTest::newRow("few start at once") << 4 << 60.0 << 0.0;
        QTest::newRow("groups of four") << 10 << 60.0 << 0.008;
        QTest::newRow("capped by the interval") << 6000 << 5.0 << 5.0 * 5999 / 6000;
    }
    void aLargeSetStartsInGroupsWithinOneInterval()
    {
        QFETCH(int, count);
        QFETCH(double, interval);
        QFETCH(double, lastDelay);
        Rig rig;
        QList<AnySourceConfig> sources;
        for (int i = 0; i < count; ++i)
            sources.append(source(QUuid::createUuid(), interval));
        rig.engine.setSources(sources);
        rig.clock.settle();
        // The first four have polled and now sleep their interval; the others wait to start.
        QList<double> delays;
        for (double sleep : rig.clock.requestedSleeps()) {
            if (sleep < interval)
                delays.append(sleep);
        }
        QCOMPARE(delays.size(), count - std::min(count, 4));
        if (!delays.isEmpty())
            QCOMPARE(*std::max_element(delays.begin(), delays.end()), lastDelay);
        rig.clock.advance(lastDelay);
        for (const auto &config : std::as_const(sources))
            QCOMPARE(rig.providers.fetchCount(config.id()), 1);
    }

    void failuresBackOff_data()
    {
        QTest::addColumn<double>("interval");
        QTest::addColumn<QList<double>>("waits");
        QTest::newRow("60 s") << 60.0 << QList<double>{120, 240, 300, 300};
        QTest::newRow("5 s") << 5.0 << QList<double>{10, 20, 40, 80, 160, 300};
        QTest::newRow("300 s") << 300.0 << QList<double>{300, 300, 300};
        QTest::newRow("600 s") << 600.0 << QList<double>{600, 600};
    }
    void failuresBackOff()
    {
        QFETCH(double, interval);
        QFETCH(QList<double>, waits);
        Rig rig;
        rig.providers.failNext(first, QStringLiteral("connection refused"), int(waits.size()));
        rig.engine.setSources({source(first, interval)});
        rig.clock.settle();
        for (double wait : waits)
            rig.clock.advance(wait);
        QCOMPARE(rig.clock.requestedSleeps(), waits + QList<double>{interval});

        const auto updates = rig.drain();
        QCOMPARE(updates.size(), waits.size() + 1);
        QCOMPARE(updates.at(waits.size() - 1).consecutiveFailures.value(first), waits.size());
        QCOMPARE(updates.last().polledSourceID, first);
        QVERIFY(updates.last().polledSucceeded);
        QVERIFY(!updates.last().errors.contains(first));
        QVERIFY(!updates.last().consecutiveFailures.contains(first));
    }

    // A poll that failed on this computer keeps its error, counts no failure, grows no back-off,
    // and is polled again once its cause may have ended; any other failure counts.
    void failuresOfThisComputerCountNothing_data()
    {
        QTest::addColumn<std::exception_ptr>("failure"); // else the check reports its target down
        QTest::addColumn<bool>("offline");
        QTest::addColumn<std::optional<LocalCause>>("cause");
        QTest::addColumn<QString>("error");
        const auto upstream = std::make_exception_ptr(ProviderError::upstream(QStringLiteral("host not found")));
        const auto noNetwork = QStringLiteral("no network on this computer");
        QTest::newRow("no route") << std::make_exception_ptr(noRouteError()) << false
                                  << std::optional(LocalCause::network) << QStringLiteral("no route from this computer");
        QTest::newRow("keyring locked") << std::make_exception_ptr(CredentialError::locked()) << false
                                        << std::optional(LocalCause::keyring)
                                        << CredentialError::locked().errorDescription();
        QTest::newRow("failure while offline") << upstream << true << std::optional(LocalCause::network) << noNetwork;
        QTest::newRow("check down while offline")
            << std::exception_ptr() << true << std::optional(LocalCause::network) << noNetwork;
        QTest::newRow("failure while online")
            << upstream << false << std::optional<LocalCause>() << QStringLiteral("host not found");
        QTest::newRow("misconfigured while offline")
            << std::make_exception_ptr(ProviderError::misconfigured(QStringLiteral("bad URL: x"))) << true
            << std::optional<LocalCause>() << QStringLiteral("bad URL: x");
    }
    void failuresOfThisComputerCountNothing()
    {
        QFETCH(std::exception_ptr, failure);
        QFETCH(bool, offline);
        QFETCH(std::optional<LocalCause>, cause);
        QFETCH(QString, error);
        Rig rig;
        rig.engine.setSources({source(first)});
        rig.clock.settle();
        const SourceSnapshot before = rig.engine.latest().snapshots.value(first);
        rig.network->offline = offline;
        if (failure)
            rig.providers.throwNext(first, failure);
        else
            rig.providers.downNext(first, QStringLiteral("host not found"));
        rig.clock.advance(60);
        const Update update = rig.engine.latest();
        QCOMPARE(update.errors.value(first), error);
        QCOMPARE(update.snapshots.value(first), before);
        QCOMPARE(update.localCauses.contains(first), cause.has_value());
        if (cause)
            QCOMPARE(update.localCauses.value(first), *cause);
        QCOMPARE(update.consecutiveFailures.value(first), cause ? 0 : 1);
        QCOMPARE(rig.clock.requestedSleeps(), (QList<double>{60, cause ? 60.0 : 120.0}));

        // The cause ends: the source is polled at once, and only then.
        rig.network->set(false);
        rig.keyring->becomeUsable();
        rig.clock.settle();
        QCOMPARE(rig.providers.fetchCount(first), cause ? 3 : 2);
        QVERIFY(rig.engine.latest().localCauses.isEmpty());
    }

    // A change of the network polls those that found none; the return from an outage polls
    // every source, whose polls may hang on connections it broke. Nothing is polled while the
    // computer stays offline.
    void theNetworkBackPollsWhatItMayHaveHeldUp_data()
    {
        QTest::addColumn<bool>("fromOffline");
        QTest::addColumn<int>("secondPolls");
        QTest::newRow("a route changed") << false << 1;
        QTest::newRow("back from offline") << true << 2;
    }
    void theNetworkBackPollsWhatItMayHaveHeldUp()
    {
        QFETCH(bool, fromOffline);
        Rig rig;
        rig.providers.throwNext(first, std::make_exception_ptr(noRouteError()));
        rig.engine.setSources({source(first), source(second)});
        rig.clock.settle();
        if (fromOffline) {
            rig.network->set(true);
            rig.clock.settle();
            QCOMPARE(rig.providers.fetchCount(first), 1);
        }
        rig.network->set(false);
        rig.clock.settle();
        QCOMPARE(rig.providers.fetchCount(first), 2);
        QTEST(rig.providers.fetchCount(second), "secondPolls");
    }

    void backOffHasNoOverflow()
    {
        QCOMPARE(PollEngine::waitAfter(5, std::numeric_limits<qint64>::max()), 300.0);
        QCOMPARE(PollEngine::waitAfter(3600, 1000000), 3600.0);
    }

    void aFailedPollKeepsThePreviousSnapshot()
    {
        Rig rig;
        rig.engine.setSources({source(first)});
        rig.clock.settle();
        rig.providers.failNext(first, QStringLiteral("HTTP 500"));
        rig.clock.advance(60);
        const auto updates = rig.drain();
        QCOMPARE(updates.size(), 2);
        QCOMPARE(updates.last().snapshots.value(first), test::FakeProviders::snapshot(first, 1));
        QCOMPARE(updates.last().errors.value(first), QStringLiteral("HTTP 500"));
        QCOMPARE(updates.last().polledSourceID, first);
        QVERIFY(!updates.last().polledSucceeded);
    }

    void aThrowingFactoryIsAFailedPollEveryTime()
    {
        Rig rig;
        rig.providers.failInFactoryNext(first, QStringLiteral("expected kuma config"), 3);
        rig.engine.setSources({source(first)});
        rig.clock.advance(120 + 240);
        QCOMPARE(rig.providers.factoryCalls(first), 3);
        QCOMPARE(rig.engine.latest().errors.value(first), QStringLiteral("expected kuma config"));
        QCOMPARE(rig.engine.latest().consecutiveFailures.value(first), 3);
        QCOMPARE(rig.clock.requestedSleeps(), (QList<double>{120, 240, 300}));
    }

    // A provider that reports a cancellation of its own is not the loop being cancelled.
    void aProviderCancellationIsAFailedPollNotTheEnd()
    {
        Rig rig;
        rig.providers.throwCancellationNext(first);
        rig.engine.setSources({source(first)});
        rig.clock.settle();
        QCOMPARE(rig.engine.latest().errors.value(first), QStringLiteral("cancelled"));
        QCOMPARE(rig.engine.latest().consecutiveFailures.value(first), 1);
        rig.clock.advance(120);
        QCOMPARE(rig.providers.fetchCount(first), 2);
        QVERIFY(rig.engine.latest().errors.isEmpty());
    }

    void aFetchThatEndsAfterItsLoopWasCancelledChangesNothing_data()
    {
        QTest::addColumn<int>("cause");
        QTest::newRow("source changed") << 0;
        QTest::newRow("source removed") << 1;
        QTest::newRow("paused") << 2;
        QTest::newRow("refreshed") << 3;
    }
    void aFetchThatEndsAfterItsLoopWasCancelledChangesNothing()
    {
        QFETCH(int, cause);
        Rig rig;
        rig.engine.setSources({source(first), source(second)});
        rig.clock.settle();
        auto lateGate = rig.providers.holdNext(first);
        auto nextGate = rig.providers.holdNext(first);
        rig.clock.advance(60);
        rig.drain();

        switch (cause) {
        case 0: rig.engine.setSources({source(first, 60, QStringLiteral("Renamed")), source(second)}); break;
        case 1: rig.engine.setSources({source(second)}); break;
        case 2: rig.engine.setPaused(true); break;
        case 3: rig.engine.refreshNow(first); break;
        }
        rig.clock.settle();
        rig.drain();
        const Update before = rig.engine.latest();

        lateGate.complete({});
        rig.clock.settle();
        QVERIFY(rig.drain().isEmpty());
        QCOMPARE(rig.engine.latest(), before);

        nextGate.complete({});
        rig.clock.settle();
    }

    // Handlers run inside the broadcast: the loop that broadcast must not touch the engine after.
    void aSubscriberMayStopTheEngineFromItsHandler_data()
    {
        QTest::addColumn<bool>("destroy");
        QTest::newRow("paused") << false;
        QTest::newRow("destroyed") << true;
    }
    void aSubscriberMayStopTheEngineFromItsHandler()
    {
        QFETCH(bool, destroy);
        test::VirtualClock clock;
        test::FakeProviders providers;
        auto engine = std::make_unique<PollEngine>(nullptr, providers.factory(), clock.sleepFunction());
        auto subscription = engine->updates();
        connect(subscription.get(), &PollEngine::Subscription::updateArrived, subscription.get(), [&] {
            if (destroy)
                engine.reset();
            else
                engine->setPaused(true);
        });
        engine->setSources({source(first)});
        clock.settle();
        QCOMPARE(providers.fetchCount(first), 1);
        QCOMPARE(engine == nullptr, destroy);
        QVERIFY(clock.requestedSleeps().isEmpty());
    }

    void destroyingTheEngineEndsItsLoops()
    {
        test::VirtualClock clock;
        test::FakeProviders providers;
        auto engine = std::make_unique<PollEngine>(nullptr, providers.factory(), clock.sleepFunction());
        auto subscription = engine->updates();
        engine->setSources({source(first), source(second)});
        clock.settle();
        auto gate = providers.holdNext(first);
        clock.advance(60);
        while (subscription->pendingCount() > 0)
            test::await(subscription->next());
        auto pending = subscription->next();
        engine.reset();
        subscription.reset();
        gate.complete({});
        clock.advance(3600);
        QCOMPARE(providers.fetchCount(second), 2);
        QVERIFY(test::thrownBy([&] { test::await(std::move(pending)); }));
    }
};

QTEST_GUILESS_MAIN(tst_PollEngine)
#include "tst_PollEngine.moc"
