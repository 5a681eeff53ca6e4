#pragma once

#include "MarrowickKit/Async/Completion.h"
#include "MarrowickKit/Async/Sleep.h"
#include "MarrowickKit/Credentials/CredentialStore.h"
#include "MarrowickKit/Credentials/Keyring.h"

#include <QList>
#include <QObject>
#include <QPointer>

#include <utility>

namespace marrowick {

// Secrets in the desktop's own keyring, one item per reference name under the store's service
// name. The store keeps what it has learnt about the keyring in one place:
//
// - Calls run one at a time, as the keyring serves them anyway, so at most one prompt is ever
//   open: callers that arrive while a call waits on an unlock prompt wait for its answer.
// - A caller waits at most the prompt time-out, counted from its own submission. A call that
//   outlives it keeps running in the keyring; until it ends, every caller fails at once rather
//   than queue behind a prompt nobody answers.
// - A keyring that stays locked, refuses, or has no keyring to write to was answered by the
//   user (or could not ask): callers fail at once with that cause, without asking again, until
//   askAgain() says the user acted, or, for a locked one, until the keyring tells that it was
//   unlocked. Watchers hear of that, and of a keyring service that appeared.
class KeychainCredentialStore : public CredentialStore {
public:
    static constexpr double defaultPromptTimeout = 60.0;

    explicit KeychainCredentialStore(QString service, double promptTimeout = defaultPromptTimeout);
    // For tests: a scripted keyring and virtual time.
    KeychainCredentialStore(QString service, double promptTimeout, std::shared_ptr<Keyring> keyring,
                            SleepFunction sleep);

    const QString &service() const { return m_state->service; }

    QCoro::Task<std::optional<QString>> secret(QString referenceName) override;
    QCoro::Task<void> setSecret(QString secret, QString referenceName) override;
    QCoro::Task<void> removeSecret(QString referenceName) override;
    void askAgain() override;
    void watchAvailability(QObject *context, std::function<void()> usable) override;

private:
    struct Call {
        quint64 number = 0;
        Keyring::Request request;
        Completion<Keyring::Reply> reply;
        CancelSource timer;
    };

    // Shared with calls in flight, which may outlive the store.
    struct State {
        QString service;
        double promptTimeout = defaultPromptTimeout;
        std::shared_ptr<Keyring> keyring;
        SleepFunction sleep;
        QList<Call> waiting; // in order of submission
        std::optional<quint64> running;
        bool runningOverdue = false; // the running call outlived its caller's time-out
        std::optional<CredentialError> refusal; // until the user acts
        quint64 nextNumber = 1;
        QList<std::pair<QPointer<QObject>, std::function<void()>>> watchers;
    };

    QCoro::Task<Keyring::Reply> call(Keyring::Operation operation, QString referenceName, QString secret = {});
    static void startNext(const std::shared_ptr<State> &state);
    static QCoro::Task<void> run(std::shared_ptr<State> state, Call call);
    static QCoro::Task<void> expire(std::shared_ptr<State> state, Call call);
    static void failWaiting(State &state, const CredentialError &error);
    static void noticed(State &state, Keyring::Change change);

    std::shared_ptr<State> m_state;
};

} // namespace marrowick
