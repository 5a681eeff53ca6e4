#pragma once

#include "Marrowick/Editor/SourceFormState.h"
#include "MarrowickKit/Async/Cancellation.h"
#include "MarrowickKit/Credentials/CredentialStore.h"
#include "MarrowickKit/Engine/SourceProvider.h"
#include "MarrowickKit/Model/SourceSnapshot.h"

#include <QCoro/QCoroTask>

#include <exception>
#include <optional>

namespace marrowick {

// What the badge beside "Test Connection" shows.
struct TestOutcome {
    bool passed = false;
    QString message;

    bool operator==(const TestOutcome &) const = default;
};

// One real poll of the values of the sheet before they are saved. The provider gets a private
// in-memory store holding only this form's secret, so the user's keyring is only ever read
// (for a stored secret the form leaves blank), never written, and nothing reaches the engine.
// A keyring that cannot give the stored secret fails the test with its reason.
class ConnectionTest {
public:
    ConnectionTest() = delete;

    static inline const QString emptySnapshotMessage = QStringLiteral(
        "Connected, but the source reported nothing to show. Check the status page slug has monitors assigned.");

    // Nothing when the form does not build a configuration. `makeProvider` is the registry in
    // the application. Rethrows only a cancellation.
    static QCoro::Task<std::optional<TestOutcome>> run(SourceFormState form, std::optional<QUuid> editingID,
                                                       CredentialStoreHandle stored, ProviderFactory makeProvider,
                                                       CancelToken cancel = {});

    // Passed only when something was fetched and no probed target (a check, a game server)
    // is down; a down target fails with its reason.
    static TestOutcome outcome(const SourceSnapshot &snapshot);
    static TestOutcome outcome(const std::exception_ptr &error);
};

} // namespace marrowick
