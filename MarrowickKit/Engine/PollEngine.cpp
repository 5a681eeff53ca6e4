#include "MarrowickKit/Engine/PollEngine.h"

#include "MarrowickKit/Transport/NetworkErrors.h"

#include "MarrowickKit/Model/PollInterval.h"
#include "MarrowickKit/Model/ProviderError.h"

#include <QSet>

#include <algorithm>
#include <cmath>

namespace marrowick {

namespace {

// Beyond this many doublings every interval is past the cap; keeps the exponent an int.
constexpr qint64 largestExponent = 64;
constexpr double backOffCap = 300.0;

// Sources that start together would otherwise poll in step for good, every check of a large
// set waiting on the others in one burst: this many first polls start at once, then the next
// group a few milliseconds later (at most one interval for the whole set).
constexpr qsizetype startGroupSize = 4;
constexpr double startGroupSpacing = 0.004;

double startDelay(qsizetype index, qsizetype count, double interval)
{
    const double spread = static_cast<double>(index / startGroupSize) * startGroupSpacing;
    return std::min(spread, interval * static_cast<double>(index) / static_cast<double>(std::max<qsizetype>(count, 1)));
}

// `failure` read as `error`; the keyring's failures are all its own: locked, declined, absent,
// stuck on a prompt.
std::optional<PollEngine::LocalCause> localCauseOf(std::exception_ptr failure, const ProviderError &error)
{
    if (error.kind() == ProviderError::Kind::noNetwork)
        return PollEngine::LocalCause::network;
    try {
        std::rethrow_exception(failure);
    } catch (const CredentialError &) {
        return PollEngine::LocalCause::keyring;
    } catch (...) {
    }
    return std::nullopt;
}

// Checks made from this computer (an HTTP ping, a TCP port, a game query) that found their
// target down; a server's own view of its monitors is the server's.
bool checkFoundDown(const SourceSnapshot &snapshot)
{
    return std::any_of(snapshot.widgets.cbegin(), snapshot.widgets.cend(), [](const WidgetData &widget) {
        if (const auto *check = widget.get<CheckResult>())
            return check->status == ServiceStatus::down;
        if (const auto *game = widget.get<GameServerStatus>())
            return !game->online;
        return false;
    });
}

} // namespace

PollEngine::PollEngine(CredentialStoreHandle credentials, ProviderFactory makeProvider, SleepFunction sleep,
                       std::shared_ptr<NetworkStatus> network, QObject *parent)
    : QObject(parent),
      m_credentials(std::move(credentials)),
      m_makeProvider(std::move(makeProvider)),
      m_sleep(std::move(sleep)),
      m_network(std::move(network))
{
    if (m_network) {
        m_wasOffline = m_network->isOffline();
        connect(m_network.get(), &NetworkStatus::changed, this, &PollEngine::networkChanged);
    }
    if (m_credentials)
        m_credentials->watchAvailability(this, [this] { retryWaiting(LocalCause::keyring); });
}

PollEngine::~PollEngine()
{
    // Loops still suspended in a fetch or a sleep wake up cancelled and end without touching us.
    for (auto &poll : m_polls)
        poll.cancel.cancel();
    for (auto *subscription : std::as_const(m_subscriptions))
        subscription->m_engine = nullptr;
}

std::unique_ptr<PollEngine::Subscription> PollEngine::updates()
{
    std::unique_ptr<Subscription> subscription(new Subscription(this));
    m_subscriptions.append(subscription.get());
    subscription->deliver(m_state);
    subscription->announce();
    return subscription;
}

void PollEngine::setSources(const QList<AnySourceConfig> &sources)
{
    QSet<QUuid> wanted;
    for (const auto &source : sources)
        wanted.insert(source.id());

    bool changed = false;
    for (auto it = m_polls.begin(); it != m_polls.end();) {
        if (wanted.contains(it.key())) {
            ++it;
            continue;
        }
        it->cancel.cancel();
        it = m_polls.erase(it);
        changed = true;
    }

    QSet<QUuid> vanished;
    const auto noteVanished = [&wanted, &vanished](const QUuid &id, const auto &) {
        if (!wanted.contains(id))
            vanished.insert(id);
    };
    m_state.snapshots.forEach(noteVanished);
    m_state.errors.forEach(noteVanished);
    for (const auto &id : std::as_const(vanished)) {
        m_state.snapshots.remove(id);
        m_state.errors.remove(id);
        m_state.consecutiveFailures.remove(id);
        m_state.localCauses.remove(id);
        changed = true;
    }

    if (!m_isPaused) {
        QList<AnySourceConfig> starting;
        for (const auto &source : sources) {
            const auto poll = m_polls.constFind(source.id());
            if (poll == m_polls.cend() || !(poll->source == source))
                starting.append(source);
        }
        for (qsizetype i = 0; i < starting.size(); ++i) {
            const double interval = PollInterval::clamped(starting.at(i).config().pollInterval);
            startPolling(starting.at(i), startDelay(i, starting.size(), interval));
        }
    }

    if (changed)
        broadcast(std::nullopt, false);
}

void PollEngine::setPaused(bool paused)
{
    m_isPaused = paused;
    if (!paused)
        return;
    for (auto &poll : m_polls)
        poll.cancel.cancel();
    m_polls.clear();
}

void PollEngine::refreshNow(const QUuid &sourceID)
{
    const auto poll = m_polls.constFind(sourceID);
    if (poll == m_polls.cend())
        return;
    const AnySourceConfig source = poll->source;
    startPolling(source);
}

double PollEngine::waitAfter(double interval, qint64 consecutiveFailures)
{
    if (consecutiveFailures <= 0)
        return interval;
    const int exponent = static_cast<int>(std::min(consecutiveFailures, largestExponent));
    return std::min(std::max(backOffCap, interval), std::ldexp(interval, exponent));
}

void PollEngine::startPolling(const AnySourceConfig &source, double delay)
{
    const QUuid id = source.id();
    if (const auto running = m_polls.find(id); running != m_polls.end()) {
        running->cancel.cancel();
        m_polls.erase(running);
    }
    const double interval = PollInterval::clamped(source.config().pollInterval);
    Poll poll{source, CancelSource()};
    const CancelToken token = poll.cancel.token();
    m_polls.insert(id, std::move(poll));
    // Detached: the frame runs to its end, which comes only once the token is cancelled.
    [[maybe_unused]] auto loop = pollLoop(source, interval, delay, token);
}

QCoro::Task<void> PollEngine::pollLoop(AnySourceConfig source, double interval, double delay, CancelToken cancel)
{
    // The caller stores this loop's entry before the first poll begins.
    co_await nextEventLoopTurn();
    if (delay > 0 && !cancel.isCancelled())
        co_await m_sleep(delay, cancel);
    // Only our own token ends the loop: a provider's error, whatever its type, is a failed poll.
    // After every suspension the token is checked before anything of the engine is touched,
    // since a cancelled loop may outlive the engine.
    while (!cancel.isCancelled()) {
        Outcome outcome = co_await pollOnce(source, cancel);
        if (cancel.isCancelled())
            co_return;
        blameNoNetwork(outcome);
        record(outcome, source.id());
        // A subscriber's handler may have cancelled this loop, or destroyed the engine.
        if (cancel.isCancelled())
            co_return;
        const qint64 failures = outcome.snapshot ? 0 : m_state.consecutiveFailures.value(source.id());
        co_await m_sleep(waitAfter(interval, failures), cancel);
    }
}

QCoro::Task<PollEngine::Outcome> PollEngine::pollOnce(AnySourceConfig source, CancelToken cancel)
{
    Outcome outcome;
    // Owned here so that it outlives its fetch.
    std::unique_ptr<SourceProvider> provider;
    try {
        provider = m_makeProvider(source, m_credentials);
        if (!provider)
            throw ProviderError::misconfigured(QStringLiteral("unsupported source"));
        SourceSnapshot snapshot = co_await provider->fetch(cancel);
        outcome.snapshot = std::move(snapshot);
    } catch (...) {
        // Only the loop's own token ends it; whatever a provider throws is a failed poll.
        const std::exception_ptr failure = std::current_exception();
        const ProviderError error = providerError(failure);
        outcome.error = error.description();
        outcome.localCause = localCauseOf(failure, error);
        outcome.ofConfiguration = error.kind() == ProviderError::Kind::misconfigured
            || error.kind() == ProviderError::Kind::missingCredential;
    }
    // The engine may be gone by now: nothing of it is touched here.
    co_return outcome;
}

void PollEngine::blameNoNetwork(Outcome &outcome) const
{
    if (outcome.localCause || outcome.ofConfiguration || !m_network
        || (outcome.snapshot && !checkFoundDown(*outcome.snapshot)) || !m_network->isOffline())
        return;
    outcome.snapshot.reset();
    outcome.error = noNetworkError().description();
    outcome.localCause = LocalCause::network;
}

void PollEngine::record(const Outcome &outcome, const QUuid &sourceID)
{
    if (outcome.snapshot) {
        m_state.snapshots.insert(sourceID, *outcome.snapshot);
        m_state.errors.remove(sourceID);
        m_state.consecutiveFailures.remove(sourceID);
        m_state.localCauses.remove(sourceID);
    } else if (outcome.localCause) {
        // The target was never asked: its count and back-off stay as they were.
        m_state.errors.insert(sourceID, outcome.error);
        m_state.localCauses.insert(sourceID, *outcome.localCause);
    } else {
        m_state.errors.insert(sourceID, outcome.error);
        m_state.consecutiveFailures.insert(sourceID, m_state.consecutiveFailures.value(sourceID) + 1);
        m_state.localCauses.remove(sourceID);
    }
    broadcast(sourceID, outcome.snapshot.has_value());
}

void PollEngine::networkChanged()
{
    const bool offline = m_network->isOffline();
    if (std::exchange(m_wasOffline, offline) && !offline) {
        // Back from an outage: polls that began before it may hang on connections it broke.
        const QList<QUuid> ids = m_polls.keys();
        for (const QUuid &id : ids)
            refreshNow(id);
    } else if (!offline) {
        retryWaiting(LocalCause::network);
    }
}

void PollEngine::retryWaiting(LocalCause cause)
{
    QList<QUuid> waiting;
    m_state.localCauses.forEach([&waiting, cause](const QUuid &id, LocalCause each) {
        if (each == cause)
            waiting.append(id);
    });
    for (const QUuid &id : std::as_const(waiting))
        refreshNow(id);
}

void PollEngine::broadcast(std::optional<QUuid> polledSourceID, bool succeeded)
{
    Update update = m_state;
    update.polledSourceID = polledSourceID;
    update.polledSucceeded = succeeded;
    // Queue everywhere before any signal runs, so a handler that makes the engine broadcast
    // again cannot put its update ahead of this one in another subscriber's queue.
    QList<QPointer<Subscription>> receivers;
    for (auto *subscription : std::as_const(m_subscriptions)) {
        subscription->deliver(update);
        receivers.append(subscription);
    }
    for (const auto &subscription : std::as_const(receivers)) {
        if (subscription)
            subscription->announce();
    }
}

void PollEngine::forget(Subscription *subscription)
{
    m_subscriptions.removeOne(subscription);
}

PollEngine::Subscription::Subscription(PollEngine *engine) : m_engine(engine) {}

PollEngine::Subscription::~Subscription()
{
    if (m_engine)
        m_engine->forget(this);
    while (!m_waiters.isEmpty())
        m_waiters.dequeue().fail(CancellationError());
}

QCoro::Task<PollEngine::Update> PollEngine::Subscription::next()
{
    if (!m_queue.isEmpty())
        co_return m_queue.dequeue();
    Completion<Update> arrival;
    m_waiters.enqueue(arrival);
    // The subscription may be gone when this resumes: touch nothing of it.
    Update update = co_await arrival;
    co_return update;
}

void PollEngine::Subscription::deliver(const Update &update)
{
    if (!m_waiters.isEmpty())
        m_waiters.dequeue().complete(update);
    else
        m_queue.enqueue(update);
}

void PollEngine::Subscription::announce()
{
    emit updateArrived();
}

} // namespace marrowick
