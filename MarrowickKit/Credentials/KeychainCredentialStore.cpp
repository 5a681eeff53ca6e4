#include "MarrowickKit/Credentials/KeychainCredentialStore.h"

#include "MarrowickKit/Credentials/DesktopKeyring.h"
#include "MarrowickKit/Model/StrictUtf8.h"

#include <cmath>

namespace marrowick {

namespace {

// What a reply that is not the expected answer tells the caller.
CredentialError errorFor(const Keyring::Reply &reply)
{
    switch (reply.outcome) {
    case Keyring::Outcome::noService:
        return CredentialError::noService();
    case Keyring::Outcome::locked:
        return CredentialError::locked();
    case Keyring::Outcome::refused:
        return CredentialError::refused();
    case Keyring::Outcome::noKeyring:
        return CredentialError::noKeyring();
    case Keyring::Outcome::done:
    case Keyring::Outcome::absent:
    case Keyring::Outcome::failed:
        break;
    }
    return CredentialError::unexpectedStatus(reply.code, reply.message);
}

// The answers that came from the user, or from a keyring that could not ask: asking again
// before the user acts would only repeat them, or put up the prompt they declined.
bool isRefusal(Keyring::Outcome outcome)
{
    return outcome == Keyring::Outcome::locked || outcome == Keyring::Outcome::refused
        || outcome == Keyring::Outcome::noKeyring;
}

} // namespace

KeychainCredentialStore::KeychainCredentialStore(QString service, double promptTimeout)
    : KeychainCredentialStore(std::move(service), promptTimeout, std::make_shared<DesktopKeyring>(),
                              [](double seconds, CancelToken cancel) { return continuousSleep(seconds, cancel); })
{
}

KeychainCredentialStore::KeychainCredentialStore(QString service, double promptTimeout,
                                                 std::shared_ptr<Keyring> keyring, SleepFunction sleep)
    : m_state(std::make_shared<State>())
{
    m_state->service = std::move(service);
    m_state->promptTimeout = promptTimeout;
    m_state->keyring = std::move(keyring);
    m_state->sleep = std::move(sleep);
    m_state->keyring->watch([weak = std::weak_ptr<State>(m_state)](Keyring::Change change) {
        if (const std::shared_ptr<State> state = weak.lock())
            noticed(*state, change);
    });
}

QCoro::Task<std::optional<QString>> KeychainCredentialStore::secret(QString referenceName)
{
    const Keyring::Reply reply = co_await call(Keyring::Operation::read, std::move(referenceName));
    if (reply.outcome == Keyring::Outcome::absent)
        co_return std::nullopt;
    if (reply.outcome != Keyring::Outcome::done)
        throw errorFor(reply);
    co_return decodeStrictUtf8(reply.data);
}

QCoro::Task<void> KeychainCredentialStore::setSecret(QString secret, QString referenceName)
{
    const Keyring::Reply reply = co_await call(Keyring::Operation::write, std::move(referenceName), std::move(secret));
    if (reply.outcome != Keyring::Outcome::done)
        throw errorFor(reply);
}

QCoro::Task<void> KeychainCredentialStore::removeSecret(QString referenceName)
{
    const Keyring::Reply reply = co_await call(Keyring::Operation::remove, std::move(referenceName));
    if (reply.outcome != Keyring::Outcome::done && reply.outcome != Keyring::Outcome::absent)
        throw errorFor(reply);
}

void KeychainCredentialStore::askAgain()
{
    m_state->refusal.reset();
}

void KeychainCredentialStore::watchAvailability(QObject *context, std::function<void()> usable)
{
    m_state->watchers.append({QPointer<QObject>(context), std::move(usable)});
}

void KeychainCredentialStore::noticed(State &state, Keyring::Change change)
{
    // Unlocked by someone: reading it puts up no prompt, so the decline no longer holds.
    if (change == Keyring::Change::unlocked && state.refusal && state.refusal->kind() == CredentialError::Kind::locked)
        state.refusal.reset();
    state.watchers.removeIf([](const auto &watcher) { return watcher.first.isNull(); });
    // A watcher may watch again, or end its context, while it is told.
    const auto watchers = state.watchers;
    for (const auto &[context, usable] : watchers) {
        if (context)
            usable();
    }
}

QCoro::Task<Keyring::Reply> KeychainCredentialStore::call(Keyring::Operation operation, QString referenceName,
                                                          QString secret)
{
    const std::shared_ptr<State> state = m_state;
    if (state->refusal)
        throw *state->refusal;
    if (state->runningOverdue)
        throw CredentialError::timedOut();
    Keyring::Request request{operation, state->service, std::move(referenceName), std::move(secret)};
    const Call submitted{state->nextNumber++, std::move(request), {}, {}};
    state->waiting.append(submitted);
    // An endless time-out waits as long as the keyring does.
    if (std::isfinite(state->promptTimeout)) {
        [[maybe_unused]] auto timer = expire(state, submitted);
    }
    startNext(state);
    Keyring::Reply reply = co_await submitted.reply;
    co_return reply;
}

void KeychainCredentialStore::startNext(const std::shared_ptr<State> &state)
{
    if (state->running)
        return;
    while (!state->waiting.isEmpty()) {
        const Call next = state->waiting.takeFirst();
        if (next.reply.isDone())
            continue;
        [[maybe_unused]] auto running = run(state, next);
        return;
    }
}

QCoro::Task<void> KeychainCredentialStore::run(std::shared_ptr<State> state, Call call)
{
    state->running = call.number;
    const Keyring::Reply reply = co_await state->keyring->run(call.request);
    state->running.reset();
    state->runningOverdue = false;
    call.timer.cancel();
    call.reply.complete(reply);
    if (isRefusal(reply.outcome)) {
        state->refusal = errorFor(reply);
        // They would put up the prompt just declined.
        failWaiting(*state, *state->refusal);
    }
    startNext(state);
}

QCoro::Task<void> KeychainCredentialStore::expire(std::shared_ptr<State> state, Call call)
{
    co_await state->sleep(state->promptTimeout, call.timer.token());
    if (call.timer.isCancelled() || call.reply.isDone())
        co_return;
    call.reply.fail(CredentialError::timedOut());
    if (state->running == call.number) {
        // Most likely waiting on a prompt nobody answers: the calls behind it would wait out
        // their own time-outs for nothing, and none may put up a second prompt.
        state->runningOverdue = true;
        failWaiting(*state, CredentialError::timedOut());
    }
}

void KeychainCredentialStore::failWaiting(State &state, const CredentialError &error)
{
    for (Call waiting : std::exchange(state.waiting, {})) {
        waiting.timer.cancel();
        waiting.reply.fail(error);
    }
}

} // namespace marrowick
