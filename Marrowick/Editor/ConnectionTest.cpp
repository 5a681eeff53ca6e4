#include "Marrowick/Editor/ConnectionTest.h"

#include "MarrowickKit/Credentials/InMemoryCredentialStore.h"

namespace marrowick {

QCoro::Task<std::optional<TestOutcome>> ConnectionTest::run(SourceFormState form, std::optional<QUuid> editingID,
                                                            CredentialStoreHandle stored, ProviderFactory makeProvider,
                                                            CancelToken cancel)
{
    const QUuid id = editingID.value_or(QUuid::createUuid());
    const auto config = form.buildConfig(id);
    if (!config)
        co_return std::nullopt;

    auto store = std::make_shared<InMemoryCredentialStore>();
    if (const auto reference = form.credentialRef(id)) {
        if (form.secret.isEmpty() && form.hasStoredSecret) {
            std::optional<QString> secret;
            try {
                secret = co_await stored->secret(*reference);
            } catch (...) {
                // The provider then runs without it and says what it misses.
            }
            cancel.throwIfCancelled();
            if (secret)
                co_await store->setSecret(*secret, *reference);
        } else {
            co_await store->setSecret(form.secret, *reference);
        }
    }

    std::unique_ptr<SourceProvider> provider;
    try {
        provider = makeProvider(*config, store);
    } catch (...) {
        co_return outcome(std::current_exception());
    }
    try {
        const SourceSnapshot snapshot = co_await provider->fetch(cancel);
        co_return outcome(snapshot);
    } catch (...) {
        if (isCancellation(std::current_exception()))
            throw;
        co_return outcome(std::current_exception());
    }
}

TestOutcome ConnectionTest::outcome(const SourceSnapshot &snapshot)
{
    if (snapshot.widgets.isEmpty())
        return {false, emptySnapshotMessage};
    return {true, QStringLiteral("Connected")};
}

TestOutcome ConnectionTest::outcome(const std::exception_ptr &error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception &failure) {
        const QString text = QString::fromUtf8(failure.what());
        return {false, text.isEmpty() ? QStringLiteral("Failed") : text};
    } catch (...) {
    }
    return {false, QStringLiteral("Failed")};
}

} // namespace marrowick
