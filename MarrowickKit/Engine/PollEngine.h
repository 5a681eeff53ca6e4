#pragma once

#include "MarrowickKit/Model/AnySourceConfig.h"
#include "MarrowickKit/Async/Cancellation.h"
#include "MarrowickKit/Async/Completion.h"
#include "MarrowickKit/Credentials/CredentialStore.h"
#include "MarrowickKit/Async/Sleep.h"
#include "MarrowickKit/Engine/SourceProvider.h"
#include "MarrowickKit/Engine/SourceMap.h"
#include "MarrowickKit/Model/SourceSnapshot.h"
#include "MarrowickKit/Transport/NetworkStatus.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QString>
#include <QUuid>

#include <QCoro/QCoroTask>

#include <exception>
#include <memory>
#include <optional>

namespace marrowick {

// Polls every source on its own interval through a fresh provider per poll, keeps the latest
// snapshot, error text and consecutive-failure count of each, and hands the whole state to
// every subscriber after each poll. Lives on the main thread; waits only through the injected
// sleep, so tests drive it in virtual time.
//
// A poll that failed on this computer (no route or no network here, the keyring) counts no
// failure: its error is kept, its back-off does not grow, and the source is polled again as
// soon as the cause may have ended (the network changed, the keyring became usable). When the
// network returns after this computer was offline, every source is polled.
class PollEngine : public QObject {
    Q_OBJECT
public:
    // Why a source's last poll failed on this computer rather than at its target.
    enum class LocalCause { network, keyring };

    // The whole state after one poll (or after sources were removed).
    struct Update {
        SourceMap<SourceSnapshot> snapshots;
        SourceMap<QString> errors;
        SourceMap<qint64> consecutiveFailures;
        // Sources whose last poll failed on this computer.
        SourceMap<LocalCause> localCauses;
        std::optional<QUuid> polledSourceID;
        bool polledSucceeded = false;

        static Update empty() { return {}; }
        bool operator==(const Update &) const = default;
    };

    class Subscription;

    // Without `network`, only a failure that says so itself (no route) is this computer's.
    PollEngine(CredentialStoreHandle credentials, ProviderFactory makeProvider, SleepFunction sleep,
               std::shared_ptr<NetworkStatus> network = nullptr, QObject *parent = nullptr);
    ~PollEngine() override;

    Update latest() const { return m_state; }
    // A new subscription whose first element is the current state; destroying it unsubscribes.
    std::unique_ptr<Subscription> updates();

    // Stops the loops of sources that are gone (and forgets their results), starts new and
    // changed sources with an immediate poll unless paused (beyond the first few, a set that starts
    // together is spread over a few milliseconds each). Broadcasts only when sources went.
    void setSources(const QList<AnySourceConfig> &sources);
    // Pausing stops every loop and keeps every result; resuming starts nothing by itself.
    void setPaused(bool paused);
    // Restarts the source's loop for an immediate poll; ignored for an id without a loop.
    void refreshNow(const QUuid &sourceID);

    // The wait after a poll: the interval after a success, else interval x 2^failures, capped
    // at 300 seconds, or at the interval when that is longer.
    static double waitAfter(double interval, qint64 consecutiveFailures);

private:
    struct Poll {
        AnySourceConfig source;
        CancelSource cancel;
    };
    // What one poll ended with: a snapshot or the text of its failure, and whether that failure
    // was this computer's.
    struct Outcome {
        std::optional<SourceSnapshot> snapshot;
        QString error;
        std::optional<LocalCause> localCause;
        // A source that cannot be polled as configured fails wherever it is polled from.
        bool ofConfiguration = false;
    };

    // `delay` holds back the first poll, in seconds.
    void startPolling(const AnySourceConfig &source, double delay = 0);
    QCoro::Task<void> pollLoop(AnySourceConfig source, double interval, double delay, CancelToken cancel);
    QCoro::Task<Outcome> pollOnce(AnySourceConfig source, CancelToken cancel);
    // While this computer has no network, a failure, or a check of ours that found its target
    // down, found nothing about the target.
    void blameNoNetwork(Outcome &outcome) const;
    void record(const Outcome &outcome, const QUuid &sourceID);
    // Back from being offline, every source is polled now; after any other change of the network,
    // those whose last poll found no network.
    void networkChanged();
    // Polls now every source whose last poll failed for `cause`.
    void retryWaiting(LocalCause cause);
    void broadcast(std::optional<QUuid> polledSourceID, bool succeeded);
    void forget(Subscription *subscription);

    CredentialStoreHandle m_credentials;
    ProviderFactory m_makeProvider;
    SleepFunction m_sleep;
    std::shared_ptr<NetworkStatus> m_network;
    bool m_wasOffline = false;
    Update m_state;
    QHash<QUuid, Poll> m_polls;
    QList<Subscription *> m_subscriptions;
    bool m_isPaused = false;
};

// One subscriber's unbounded, ordered queue of updates: nothing is dropped or merged.
class PollEngine::Subscription : public QObject {
    Q_OBJECT
public:
    ~Subscription() override;

    // The oldest update not yet taken; waits for the next broadcast when none is queued.
    // Throws CancellationError if the subscription is destroyed while waiting; an update
    // already handed to a waiting call still arrives, so a consumer that destroys its own
    // subscription must also stop its loop rather than call next() again.
    QCoro::Task<Update> next();
    qsizetype pendingCount() const { return m_queue.size(); }

signals:
    // An update arrived: queued, or handed to a waiting next().
    void updateArrived();

private:
    friend class PollEngine;
    explicit Subscription(PollEngine *engine);
    void deliver(const Update &update);
    void announce();

    QPointer<PollEngine> m_engine;
    QQueue<Update> m_queue;
    QQueue<Completion<Update>> m_waiters;
};

} // namespace marrowick
