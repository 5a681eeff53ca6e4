#include "Marrowick/Editor/ConnectionTest.h"

#include "MarrowickKit/Credentials/InMemoryCredentialStore.h"

namespace marrowick {

namespace {

// A probe (an HTTP ping, a TCP port, a game server) reports its target as one widget of a
// fetch that itself succeeded. A target that is not up is what the user is testing for, so
// it fails the test with the reason the popup shows beside it.
std::optional<QString> probeFailure(const WidgetData &widget)
{
    const auto reason = [](const QString &detail) {
        return detail.isEmpty() ? QStringLiteral("Down") : detail;
    };
    if (const auto *check = widget.get<CheckResult>()) {
        if (check->status != ServiceStatus::up)
            return reason(check->detail.value_or(QString()));
    } else if (const auto *game = widget.get<GameServerStatus>()) {
        if (!game->online)
            return reason(game->detail);
    }
    return std::nullopt;
}

} // namespace

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
            std::optional<QString> unreadable;
            try {
                secret = co_await stored->secret(*reference);
            } catch (const CredentialError &error) {
                // The secret may well be there: say why it could not be read, not that it is missing.
                unreadable = error.message(QStringLiteral("test again"));
            } catch (...) {
                // The provider then runs without it and says what it misses.
            }
            cancel.throwIfCancelled();
            if (unreadable)
                co_return TestOutcome{false, *unreadable};
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
    for (const WidgetData &widget : snapshot.widgets) {
        if (const auto failure = probeFailure(widget))
            return {false, *failure};
    }
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
