#include "Marrowick/Editor/SourceFormSession.h"

#include "Marrowick/State/AppState.h"
#include "MarrowickKit/Providers/ProviderRegistry.h"

#include <QScopeGuard>

#include <algorithm>

namespace marrowick {

namespace {

// What the keyring held under a reference before a save wrote there, to take the write back.
struct SecretWrite {
    QString reference;
    std::optional<QString> previous;
};

bool namesSecret(const AppState &state, const QString &reference)
{
    const QList<AnySourceConfig> &sources = state.sources();
    return std::any_of(sources.cbegin(), sources.cend(),
                       [&reference](const AnySourceConfig &source) { return source.credentialRef() == reference; });
}

QString failureText(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const CredentialError &failure) {
        return failure.message(QStringLiteral("save again"));
    } catch (const std::exception &failure) {
        return QString::fromUtf8(failure.what());
    } catch (...) {
    }
    return QStringLiteral("unknown error");
}

// A write of a save that is not kept: the secret it replaced goes back where a source still
// names the reference; otherwise the reference is cleared, as before the save.
QCoro::Task<void> takeBack(QPointer<AppState> state, CredentialStoreHandle credentials, SecretWrite write)
{
    try {
        if (write.previous && state && namesSecret(*state, write.reference))
            co_await credentials->setSecret(*write.previous, write.reference);
        else
            co_await credentials->removeSecret(write.reference);
    } catch (...) {
        // The keyring keeps what the save wrote; nothing can be done about it here.
    }
}

} // namespace

SourceFormSession::SourceFormSession(AppState *state, std::optional<AnySourceConfig> editingSource, QObject *parent)
    : QObject(parent), m_state(state), m_editingSource(std::move(editingSource))
{
    if (m_editingSource) {
        beginForm(SourceFormState(*m_editingSource));
        m_jsonFieldsText = SourceFormState::fieldLinesText(m_form->jsonFields);
    }
}

SourceFormSession::~SourceFormSession()
{
    // Nobody will see the test's result, nor wait for the save.
    m_cancelTests.cancel();
    cancelSave();
}

bool SourceFormSession::hasUnsavedChanges() const
{
    return m_isSaving || (m_form && m_formAtStart && *m_form != *m_formAtStart);
}

void SourceFormSession::beginForm(SourceFormState form)
{
    m_form = std::move(form);
    m_formAtStart = m_form;
}

QString SourceFormSession::saveButtonTitle() const
{
    if (m_isSaving)
        return QStringLiteral("Saving\u2026");
    return m_editingSource ? QStringLiteral("Save Changes") : QStringLiteral("Save Source");
}

void SourceFormSession::selectType(SourceFormState::SourceType type)
{
    m_type = type;
    emit selectedTypeChanged();
}

void SourceFormSession::continueToForm()
{
    if (!m_type)
        return;
    beginForm(SourceFormState(*m_type));
    emit stepChanged();
}

void SourceFormSession::applyExample(SourceFormState::Example example)
{
    beginForm(SourceFormState::exampleForm(example));
    emit stepChanged();
}

void SourceFormSession::backToTypePicker()
{
    if (m_editingSource)
        return;
    m_form.reset();
    m_formAtStart.reset();
    m_type.reset();
    m_jsonFieldsText.clear();
    m_gameSearch.clear();
    // A test still running belongs to the form just dropped.
    clearTestResult();
    emit selectedTypeChanged();
    emit stepChanged();
}

void SourceFormSession::edit(const std::function<void(SourceFormState &)> &change)
{
    if (!m_form)
        return;
    const SourceFormState before = *m_form;
    change(*m_form);
    if (*m_form != before)
        clearTestResult();
    emit formChanged();
}

void SourceFormSession::setJSONFieldsText(const QString &text)
{
    if (!m_form || text == m_jsonFieldsText)
        return;
    m_jsonFieldsText = text;
    edit([&text](SourceFormState &form) { form.jsonFields = SourceFormState::parseFieldLines(text); });
}

void SourceFormSession::setGameSearch(const QString &text)
{
    m_gameSearch = text;
    emit gameSearchChanged();
}

void SourceFormSession::clearTestResult()
{
    ++m_formGeneration;
    if (!m_testPassed && !m_testMessage)
        return;
    m_testPassed.reset();
    m_testMessage.reset();
    emit testResultChanged();
}

void SourceFormSession::startConnectionTest()
{
    if (!m_form || m_isTesting || !m_form->isValid() || !m_state)
        return;
    m_isTesting = true;
    emit testingChanged();
    // The user acted: a keyring that refused may ask again.
    m_state->credentials()->askAgain();
    std::optional<QUuid> editingID;
    if (m_editingSource)
        editingID = m_editingSource->id();
    runConnectionTest(this, *m_form, editingID, m_state->credentials(), m_formGeneration, m_cancelTests.token());
}

QCoro::Task<void> SourceFormSession::runConnectionTest(QPointer<SourceFormSession> self, SourceFormState form,
                                                       std::optional<QUuid> editingID, CredentialStoreHandle stored,
                                                       quint64 generation, CancelToken cancel)
{
    std::optional<TestOutcome> outcome;
    try {
        outcome = co_await ConnectionTest::run(std::move(form), editingID, std::move(stored),
                                               &ProviderRegistry::makeProvider, cancel);
    } catch (...) {
        // Cancelled: the session is gone.
        co_return;
    }
    if (self)
        self->finishConnectionTest(generation, outcome);
}

void SourceFormSession::finishConnectionTest(quint64 generation, const std::optional<TestOutcome> &outcome)
{
    m_isTesting = false;
    emit testingChanged();
    // A result for a form that has changed since, or was dropped by Back, would describe
    // values the user no longer sees.
    if (outcome && generation == m_formGeneration && m_form) {
        m_testPassed = outcome->passed;
        m_testMessage = outcome->message;
        emit testResultChanged();
    }
    emit connectionTestFinished();
}

void SourceFormSession::save()
{
    if (m_isSaving || !m_form || !m_state || m_cancelSave.isCancelled())
        return;
    const QUuid id = m_editingSource ? m_editingSource->id() : m_appliedID.value_or(QUuid::createUuid());
    const auto config = m_form->buildConfig(id);
    if (!config)
        return;
    m_isSaving = true;
    emit savingChanged();
    // The user acted: a keyring that refused may ask again, for this write and the polls after.
    m_state->credentials()->askAgain();
    const bool replacing = m_editingSource || (m_appliedID && m_state->source(*m_appliedID));
    persistEditedSource(this, m_state, m_state->credentials(), *m_form, id, *config, replacing, m_cancelSave.token());
}

void SourceFormSession::cancelSave()
{
    m_cancelSave.cancel();
}

QCoro::Task<void> SourceFormSession::persistEditedSource(QPointer<SourceFormSession> self, QPointer<AppState> state,
                                                         CredentialStoreHandle credentials, SourceFormState form,
                                                         QUuid id, AnySourceConfig config, bool editing,
                                                         CancelToken cancel)
{
    std::optional<SecretWrite> written;
    // Ends once this save is over, its taking back included; the next save of the secret waits for it.
    const Completion<Done> over;
    const auto end = qScopeGuard([over] { over.complete({}); });
    if (const auto reference = form.credentialRef(id); !form.secret.isEmpty() && reference) {
        // Refused before the keyring holds a secret for a source that is never kept; without a
        // secret to write, the change itself is refused.
        if (const QString refused = state ? state->refusalToKeep(config) : QString(); !refused.isEmpty()) {
            if (self)
                self->failSave(refused);
            co_return;
        }
        if (const auto before = state ? state->queueSecretSave(*reference, over) : std::nullopt)
            co_await *before;
        std::exception_ptr failure;
        try {
            // What the write replaces, for a cancel to put back.
            SecretWrite write{*reference, std::nullopt};
            if (state && namesSecret(*state, *reference) && !cancel.isCancelled())
                write.previous = co_await credentials->secret(*reference);
            if (!cancel.isCancelled()) {
                co_await credentials->setSecret(form.secret, *reference);
                written = std::move(write);
            }
        } catch (...) {
            failure = std::current_exception();
        }
        if (cancel.isCancelled()) {
            if (written)
                co_await takeBack(state, credentials, *written);
            co_return;
        }
        if (failure) {
            if (self)
                self->failSave(failureText(failure));
            co_return;
        }
    }
    if (state) {
        QString refused;
        // Deleted while the keyring answered: there is nothing left to update.
        bool kept = true;
        if (editing) {
            // A changed configuration is polled at once by its new start; an unchanged one (a
            // new secret only) is refreshed, or a fixed source would wait out its back-off.
            const AnySourceConfig *current = state->source(id);
            kept = current != nullptr;
            const bool unchanged = current && *current == config;
            refused = state->updateSource(config);
            if (unchanged)
                state->refreshSource(id);
        } else {
            refused = state->addSource(config);
        }
        // Too large for the sources file (they may have grown while the keyring answered).
        if (!refused.isEmpty()) {
            if (self)
                self->failSave(refused);
        } else if (!state->sourcesSaveError().isEmpty()) {
            if (self)
                self->failUnsavedFile(id, state->unsavedSourcesText());
        } else if (self) {
            self->finishSave();
        }
        if (written && (!refused.isEmpty() || !kept))
            co_await takeBack(state, credentials, *written);
        co_return;
    }
    if (self)
        self->finishSave();
}

void SourceFormSession::finishSave()
{
    m_isSaving = false;
    emit savingChanged();
    emit saveFinished(true);
}

void SourceFormSession::failSave(const QString &message)
{
    m_saveError = message;
    m_isSaving = false;
    emit savingChanged();
    emit saveFinished(false);
}

void SourceFormSession::failUnsavedFile(const QUuid &id, const QString &message)
{
    m_appliedID = id;
    failSave(message);
}

void SourceFormSession::dismissSaveError()
{
    m_saveError.reset();
}

} // namespace marrowick
