#pragma once

#include "Marrowick/Editor/SourceFormSession.h"

#include <QDialog>
#include <QPointer>

#include <functional>
#include <optional>

class QLabel;
class QCheckBox;
class QSpinBox;
class QStackedWidget;
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
// shows the form of the chosen kind; an existing source opens on its form. The two steps are
// pages of a stack: the type step is built once, the form step anew for each form begun, as
// its fields differ by type. What the sheet is doing lives in its session(); a successful
// save closes the sheet, a failed one says why.
class AddSourceView : public QDialog {
    Q_OBJECT

public:
    // The designed sizes; a screen with less room gets a smaller sheet whose form scrolls.
    static constexpr QSize addingSize{480, 460};
    static constexpr QSize editingSize{480, 580};

    explicit AddSourceView(AppState *state, std::optional<AnySourceConfig> editingSource = std::nullopt,
                           QWidget *parent = nullptr);
    ~AddSourceView() override;

    SourceFormSession &session() { return m_session; }
    // Present exactly while the form step shows.
    const std::optional<SourceFormState> &form() const { return m_session.form(); }
    std::optional<SourceFormState::SourceType> selectedType() const { return m_session.selectedType(); }
    bool isSaving() const { return m_session.isSaving(); }
    bool isTesting() const { return m_session.isTesting(); }
    std::optional<bool> testPassed() const { return m_session.testPassed(); }
    std::optional<QString> testMessage() const { return m_session.testMessage(); }
    QString saveButtonTitle() const { return m_session.saveButtonTitle(); }

    // Closed without a successful save (Cancel, Escape, the window's close): a save still
    // waiting for the keyring is cancelled at once, so its answer can no longer apply it.
    void done(int result) override;

signals:
    // A connection test ended, whether or not its result is still shown.
    void connectionTestFinished();
    // A save ended: the sheet closes on success, or shows why it failed.
    void saveFinished(bool saved);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void showProblem(const SourceFormState &form, const std::optional<SourceFormState::Problem> &problem);
    void announceTestResult();
    void confirmType();
    void confirmForm();
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
    void showSelectedType();
    void refreshFormStep();
    void finishSave(bool saved);

    SourceFormSession m_session;
    QPointer<AppState> m_state;
    QStackedWidget *m_steps;
    QWidget *m_typeStep = nullptr;
    QPointer<QWidget> m_formStep;
    QList<SourceCard *> m_typeCards;
    PillButton *m_nextButton = nullptr;
    PillButton *m_saveButton = nullptr;
    PillButton *m_testButton = nullptr;
    TestResultBadge *m_badge = nullptr;
    // Whether the badge showed a result when the running test began; the new one then
    // replaces it in view and is announced.
    bool m_badgeShownAtTestStart = false;
    QLabel *m_message = nullptr;
    QLabel *m_hint = nullptr;
    QCheckBox *m_alerts = nullptr;
    QSpinBox *m_threshold = nullptr;
    QLabel *m_thresholdLabel = nullptr;
    GameSourceForm *m_gameFields = nullptr;
};

} // namespace marrowick
