#include "Marrowick/Settings/SourcesTransfer.h"

#include "Marrowick/State/AppState.h"
#include "Marrowick/State/SourcesStore.h"
#include "MarrowickKit/Engine/JSONFileStore.h"

namespace marrowick {

const QString SourcesTransfer::suggestedExportName = QStringLiteral("marrowick-sources.json");

SourcesTransfer::SourcesTransfer(AppState *state, QObject *parent) : QObject(parent), m_state(state) {}

void SourcesTransfer::exportSources(const PickSaveFile &pick)
{
    if (!m_state)
        return;
    QByteArray bytes;
    try {
        bytes = SourcesStore::encode(m_state->sources());
    } catch (const std::exception &error) {
        emit reported(SettingsTexts::exportFailed(QString::fromUtf8(error.what())));
        return;
    }
    const std::optional<QString> path = pick(suggestedExportName);
    if (!path)
        return;
    try {
        JSONFileStore::save(bytes, *path);
    } catch (const FileStoreError &error) {
        emit reported(SettingsTexts::exportFailed(QString::fromUtf8(error.what())));
    }
}

void SourcesTransfer::importSources(const PickOpenFile &pick)
{
    const std::optional<QString> path = pick();
    if (!path)
        return;
    QList<AnySourceConfig> imported;
    QByteArray encoded;
    try {
        imported = SourcesStore::importSources(*path);
        encoded = SourcesStore::encode(imported);
    } catch (...) {
        // Whatever the reason, the user hears one plain sentence; nothing has changed.
        emit reported(SettingsTexts::importUnreadable());
        return;
    }
    if (imported.isEmpty()) {
        emit reported(SettingsTexts::importEmpty());
        return;
    }
    // Judged by the file the sources would be saved in, which is larger than a compact import:
    // sources that could never be saved would replace the user's and be lost at quit.
    if (const QString refused = SourcesStore::sizeRefusal(encoded); !refused.isEmpty()) {
        emit reported(SettingsTexts::importRefused(refused));
        return;
    }
    m_pendingImport = std::move(imported);
    emit confirmationNeeded();
}

QString SourcesTransfer::replaceConfirmationMessage() const
{
    return SettingsTexts::replaceConfirmationMessage(m_state ? m_state->sources().size() : 0,
                                                     m_pendingImport ? m_pendingImport->size() : 0);
}

void SourcesTransfer::cancelPendingImport()
{
    m_pendingImport.reset();
}

void SourcesTransfer::replaceSourcesWithPendingImport()
{
    if (!m_pendingImport || !m_state)
        return;
    const QList<AnySourceConfig> imported = *std::exchange(m_pendingImport, std::nullopt);
    if (const QString refused = m_state->replaceSources(imported); !refused.isEmpty()) {
        emit reported(SettingsTexts::importRefused(refused));
        return;
    }
    lookUpSecrets(this, m_state->credentials(), imported, m_state->unsavedSourcesText());
}

QCoro::Task<void> SourcesTransfer::lookUpSecrets(QPointer<SourcesTransfer> self, CredentialStoreHandle credentials,
                                                 QList<AnySourceConfig> imported, QString unsaved)
{
    QStringList needingSecret;
    for (const AnySourceConfig &source : imported) {
        const std::optional<QString> reference = source.credentialRef();
        if (!reference)
            continue;
        bool found = false;
        try {
            found = (co_await credentials->secret(*reference)).has_value();
        } catch (...) {
            // A store that fails counts as a missing secret; the report goes on.
        }
        if (!found)
            needingSecret.append(source.displayName());
    }
    if (!self)
        co_return;
    emit self->reported(unsaved.isEmpty() ? SettingsTexts::importComplete(imported.size(), needingSecret)
                                          : SettingsTexts::importNotSaved(imported.size(), needingSecret, unsaved));
}

} // namespace marrowick
