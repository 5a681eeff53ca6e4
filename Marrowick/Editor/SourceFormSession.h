#pragma once

#include "Marrowick/Editor/ConnectionTest.h"
#include "Marrowick/Editor/SourceFormState.h"
#include "MarrowickKit/Async/Cancellation.h"
#include "MarrowickKit/Model/AnySourceConfig.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <optional>

namespace marrowick {

class AppState;

// What one add or edit sheet is doing, without its widgets: the chosen type, the form, a
// connection test and a save in flight, and their results.
//
// Adding starts with no form (the type step); continueToForm() or applyExample() begins one,
// backToTypePicker() drops it. Editing starts on the edited source's form and keeps it. Save
// stores a typed secret in the keyring first, then adds or updates the source, which is polled
// at once whether or not its configuration changed; a failed keyring write leaves everything
// as it was and keeps the reason in saveError(). A save and a test are the user acting: a
// keyring that refused before is asked again. A sources file that cannot be written fails
// the save too, with the source in effect: saving again replaces that source rather than
// adding another.
//
// A save that is cancelled (the sheet closed while the keyring had not answered) writes
// nothing more and is never applied; a secret its write stored is taken back once the keyring
// answers, which puts back the secret it replaced. Saves of one secret run one after another,
// each with its taking back, so a later save never reads or loses to a cancelled one.
class SourceFormSession : public QObject {
    Q_OBJECT

public:
    explicit SourceFormSession(AppState *state, std::optional<AnySourceConfig> editingSource = std::nullopt,
                               QObject *parent = nullptr);
    ~SourceFormSession() override;

    const std::optional<AnySourceConfig> &editingSource() const { return m_editingSource; }
    bool isEditing() const { return m_editingSource.has_value(); }
    // Present exactly while the form step shows.
    const std::optional<SourceFormState> &form() const { return m_form; }
    std::optional<SourceFormState::SourceType> selectedType() const { return m_type; }
    bool isSaving() const { return m_isSaving; }
    // Whether closing the sheet now would throw work away: a form changed since it began, or a
    // save still waiting for the keyring.
    bool hasUnsavedChanges() const;
    bool isTesting() const { return m_isTesting; }
    std::optional<bool> testPassed() const { return m_testPassed; }
    std::optional<QString> testMessage() const { return m_testMessage; }
    std::optional<QString> saveError() const { return m_saveError; }
    // The JSON widget's field lines as typed, and the game picker's search.
    const QString &jsonFieldsText() const { return m_jsonFieldsText; }
    const QString &gameSearch() const { return m_gameSearch; }
    QString saveButtonTitle() const;

    void selectType(SourceFormState::SourceType type);
    void continueToForm();
    void applyExample(SourceFormState::Example example);
    void backToTypePicker();
    // Applies one edit of the form; a change drops the test result.
    void edit(const std::function<void(SourceFormState &)> &change);
    void setJSONFieldsText(const QString &text);
    void setGameSearch(const QString &text);
    void startConnectionTest();
    void save();
    // The sheet is closing without its save: see the class comment. Also when the session goes.
    void cancelSave();
    void dismissSaveError();

signals:
    void selectedTypeChanged();
    // A form began or was dropped.
    void stepChanged();
    // An edit was applied, whether or not it changed a value.
    void formChanged();
    void gameSearchChanged();
    void testingChanged();
    void testResultChanged();
    void savingChanged();
    // A connection test ended, whether or not its result is kept.
    void connectionTestFinished();
    // A save ended; on failure saveError() says why.
    void saveFinished(bool saved);

private:
    void beginForm(SourceFormState form);
    void clearTestResult();
    void finishConnectionTest(quint64 generation, const std::optional<TestOutcome> &outcome);
    void failSave(const QString &message);
    void finishSave();
    void failUnsavedFile(const QUuid &id, const QString &message);

    static QCoro::Task<void> runConnectionTest(QPointer<SourceFormSession> self, SourceFormState form,
                                               std::optional<QUuid> editingID, CredentialStoreHandle stored,
                                               quint64 generation, CancelToken cancel);
    static QCoro::Task<void> persistEditedSource(QPointer<SourceFormSession> self, QPointer<AppState> state,
                                                 CredentialStoreHandle credentials, SourceFormState form, QUuid id,
                                                 AnySourceConfig config, bool editing, CancelToken cancel);

    QPointer<AppState> m_state;
    std::optional<AnySourceConfig> m_editingSource;
    std::optional<SourceFormState::SourceType> m_type;
    std::optional<SourceFormState> m_form;
    // The form as it began, to tell edits from a form only looked at.
    std::optional<SourceFormState> m_formAtStart;
    std::optional<bool> m_testPassed;
    std::optional<QString> m_testMessage;
    bool m_isTesting = false;
    bool m_isSaving = false;
    std::optional<QString> m_saveError;
    // The source a save put in effect although the file could not be written.
    std::optional<QUuid> m_appliedID;
    QString m_jsonFieldsText;
    QString m_gameSearch;
    // Bumped by every change of the form: a test result for an older form is dropped.
    quint64 m_formGeneration = 0;
    CancelSource m_cancelTests;
    CancelSource m_cancelSave;
};

} // namespace marrowick
