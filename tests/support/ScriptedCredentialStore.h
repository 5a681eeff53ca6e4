#pragma once

#include "MarrowickKit/Async/Completion.h"
#include "MarrowickKit/Credentials/InMemoryCredentialStore.h"

#include <QList>
#include <QPointer>
#include <QSet>

#include <functional>

#include <optional>
#include <stdexcept>

namespace marrowick::test {

// The keyring of a test: in memory, and able to fail or to hold a read or a write until released.
class ScriptedCredentialStore : public InMemoryCredentialStore {
public:
    std::optional<QString> failure; // of every write
    std::optional<CredentialError> refusal; // of every read and write, as a keyring that said no
    std::optional<Completion<Done>> gate; // holds writes
    QSet<QString> failingReads; // names whose reads time out
    std::optional<Completion<Done>> readGate;
    int reads = 0;
    int writes = 0;
    int askedAgain = 0;

    void askAgain() override { ++askedAgain; }

    void watchAvailability(QObject *context, std::function<void()> usable) override
    {
        m_watchers.append({QPointer<QObject>(context), std::move(usable)});
    }
    // As the keyring says it was unlocked, or a keyring service appeared.
    void becomeUsable()
    {
        refusal.reset();
        for (const auto &[context, usable] : std::as_const(m_watchers)) {
            if (context)
                usable();
        }
    }

    QCoro::Task<std::optional<QString>> secret(QString referenceName) override
    {
        ++reads;
        if (readGate)
            co_await *readGate;
        if (failingReads.contains(referenceName))
            throw CredentialError::timedOut();
        if (refusal)
            throw *refusal;
        co_return co_await InMemoryCredentialStore::secret(std::move(referenceName));
    }
    QCoro::Task<void> setSecret(QString secret, QString referenceName) override
    {
        ++writes;
        if (gate)
            co_await *gate;
        if (failure)
            throw std::runtime_error(failure->toStdString());
        if (refusal)
            throw *refusal;
        co_await InMemoryCredentialStore::setSecret(std::move(secret), std::move(referenceName));
    }

private:
    QList<std::pair<QPointer<QObject>, std::function<void()>>> m_watchers;
};

} // namespace marrowick::test
