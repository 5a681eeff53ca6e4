#pragma once

#include "Marrowick/Settings/SettingsTexts.h"
#include "MarrowickKit/Credentials/CredentialStore.h"
#include "MarrowickKit/Model/AnySourceConfig.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

namespace marrowick {

class AppState;

// Export of the sources to a file and import from one. An import replaces every source, so
// it waits as the pending import until the user confirms or cancels; sources too many for the
// sources file are refused before that, as they could never be saved. Once replaced, the
// report names the sources whose password or token must be entered again, and says so when
// the replaced sources could not be saved.
class SourcesTransfer : public QObject {
    Q_OBJECT

public:
    // Where the user picks the file. Nothing means the user cancelled.
    using PickSaveFile = std::function<std::optional<QString>(const QString &suggestedName)>;
    using PickOpenFile = std::function<std::optional<QString>()>;

    static const QString suggestedExportName;

    explicit SourcesTransfer(AppState *state, QObject *parent = nullptr);

    void exportSources(const PickSaveFile &pick);
    void importSources(const PickOpenFile &pick);

    // The sources read by the import, while the replacement waits for an answer.
    const std::optional<QList<AnySourceConfig>> &pendingImport() const { return m_pendingImport; }
    QString replaceConfirmationMessage() const;
    void replaceSourcesWithPendingImport();
    void cancelPendingImport();

signals:
    // A failure, or the report of a finished import.
    void reported(const MessageAlert &message);
    // An import is pending: the user must confirm the replacement.
    void confirmationNeeded();

private:
    // Reports the finished import; `unsaved` is why the sources file was not written, if it was not.
    static QCoro::Task<void> lookUpSecrets(QPointer<SourcesTransfer> self, CredentialStoreHandle credentials,
                                           QList<AnySourceConfig> imported, QString unsaved);

    QPointer<AppState> m_state;
    std::optional<QList<AnySourceConfig>> m_pendingImport;
};

} // namespace marrowick
