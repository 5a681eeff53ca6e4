#pragma once

#include "Marrowick/Editor/ConnectionTest.h"
#include "Marrowick/Editor/SourceFormState.h"
#include "MarrowickKit/Async/Cancellation.h"
#include "MarrowickKit/Model/AnySourceConfig.h"

#include <QDialog>
#include <QPointer>

#include <functional>

#include <optional>

class QLabel;
class QCheckBox;
class QSpinBox;
class QVBoxLayout;

namespace marrowick {

class AppState;
class GameSourceForm;
class PillButton;
class SourceCard;
class TestResultBadge;

// The sheet that adds a source (no configuration given) or edits one. Open it window-modal
// with open(); it deletes itself when closed.
//
// A new source starts on the type step (six type cards and three filled-in examples), then
// shows the form of the chosen kind; an existing source opens on its form. Save stores a typed
// secret in the keyring first, then adds or updates the source and closes the sheet; a failed
// keyring write leaves everything as it was and says why.
class AddSourceView : public QDialog {
    Q_OBJECT

public:
    static constexpr QSize addingSize{480, 460};
    static constexpr QSize editingSize{480, 580};

    explicit AddSourceView(AppState *state, std::optional<AnySourceConfig> editingSource = std::nullopt,
                           QWidget *parent = nullptr);
    ~AddSourceView() override;

    // Present exactly while the form step shows.
    const std::optional<SourceFormState> &form() const { return m_form; }
    std::optional<SourceFormState::SourceType> selectedType() const { return m_type; }
    bool isSaving() const { return m_isSaving; }
    bool isTesting() const { return m_isTesting; }
    std::optional<bool> testPassed() const { return m_testPassed; }
    std::optional<QString> testMessage() const { return m_testMessage; }
    QString saveButtonTitle() const;

    void selectType(SourceFormState::SourceType type);
    void continueToForm();
    void applyExample(SourceFormState::Example example);
    void backToTypePicker();
    void startConnectionTest();
    void save();

signals:
    // A connection test ended, whether or not its result is still shown.
    void connectionTestFinished();
    // A save ended: the sheet closes on success, or shows why it failed.
    void saveFinished(bool saved);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void showStep();
    QWidget *buildChooseTypeStep();
    QWidget *buildFormStep();
    QWidget *sheetHeader(const QString &title, bool withBack);
    QWidget *footer(PillButton *primary);
    void addTypeFields(QVBoxLayout *layout);
    void addTextField(QVBoxLayout *layout, const QString &name, const QString &label, const QString &prompt,
                      const QString &text, const std::function<void(SourceFormState &, const QString &)> &set,
                      bool secure = false);
    void addSecretField(QVBoxLayout *layout, const QString &label, const QString &prompt);
    void addJSONFieldsEditor(QVBoxLayout *layout);
    void addGameServerFields(QVBoxLayout *layout);
    QWidget *alertsSection();
    QWidget *testConnectionRow();
    void editForm(const std::function<void(SourceFormState &)> &edit);
    void clearTestResult();
    void refreshFormStep();
    void finishConnectionTest(quint64 generation, const std::optional<TestOutcome> &outcome);
    void failSave(const QString &message);
    void finishSave();

    static QCoro::Task<void> runConnectionTest(QPointer<AddSourceView> self, SourceFormState form,
                                               std::optional<QUuid> editingID, CredentialStoreHandle stored,
                                               quint64 generation, CancelToken cancel);
    static QCoro::Task<void> persistEditedSource(QPointer<AddSourceView> self, QPointer<AppState> state,
                                                 CredentialStoreHandle credentials, SourceFormState form, QUuid id,
                                                 AnySourceConfig config, bool editing);

    QPointer<AppState> m_state;
    std::optional<AnySourceConfig> m_editingSource;
    std::optional<SourceFormState::SourceType> m_type;
    std::optional<SourceFormState> m_form;
    std::optional<bool> m_testPassed;
    std::optional<QString> m_testMessage;
    bool m_isTesting = false;
    bool m_isSaving = false;
    std::optional<QString> m_saveError;
    QString m_jsonFieldsText;
    QString m_gameSearch;
    // Bumped by every change of the form: a test result for an older form is dropped.
    quint64 m_formGeneration = 0;
    CancelSource m_cancelTests;

    QVBoxLayout *m_layout;
    QPointer<QWidget> m_page;
    QList<SourceCard *> m_typeCards;
    PillButton *m_nextButton = nullptr;
    PillButton *m_saveButton = nullptr;
    PillButton *m_testButton = nullptr;
    TestResultBadge *m_badge = nullptr;
    QLabel *m_message = nullptr;
    QCheckBox *m_alerts = nullptr;
    QSpinBox *m_threshold = nullptr;
    QLabel *m_thresholdLabel = nullptr;
    GameSourceForm *m_gameFields = nullptr;
};

} // namespace marrowick
