#pragma once

#include "MarrowickKit/Async/Completion.h"
#include "MarrowickKit/Engine/SourceProvider.h"

#include <QHash>
#include <QQueue>
#include <QString>
#include <QUuid>

#include <exception>
#include <optional>

namespace marrowick::test {

// A provider factory whose polls follow a script per source. Without a script a poll
// succeeds with a snapshot holding one up check named "poll <n>" (n counts the source's fetches).
class FakeProviders {
public:
    struct Step {
        enum class Kind { succeed, down, fail, failInFactory, throwCancellation, throwError };
        Kind kind = Kind::succeed;
        QString error;
        // When set, the fetch waits for it and ignores its cancel token: a provider that runs
        // to completion after its poll was cancelled.
        std::optional<Completion<Done>> gate;
        std::exception_ptr thrown = nullptr; // of throwError
    };

    ProviderFactory factory();

    void failNext(const QUuid &id, const QString &error, int times = 1);
    void failInFactoryNext(const QUuid &id, const QString &error, int times = 1);
    void throwCancellationNext(const QUuid &id);
    // The next fetch throws `error`, whatever its type (a keyring's error, say).
    void throwNext(const QUuid &id, std::exception_ptr error);
    // The next fetch succeeds with its check down for `reason`, as an HTTP ping or a TCP check
    // reports a refused connection.
    void downNext(const QUuid &id, const QString &reason);
    // The next fetch of the source waits until the returned gate is completed, then succeeds.
    Completion<Done> holdNext(const QUuid &id);

    int fetchCount(const QUuid &id) const { return m_fetches.value(id); }
    int factoryCalls(const QUuid &id) const { return m_factoryCalls.value(id); }

    static SourceSnapshot snapshot(const QUuid &id, int fetchNumber);

private:
    class Provider;

    QHash<QUuid, QQueue<Step>> m_script;
    QHash<QUuid, int> m_fetches;
    QHash<QUuid, int> m_factoryCalls;
};

} // namespace marrowick::test
