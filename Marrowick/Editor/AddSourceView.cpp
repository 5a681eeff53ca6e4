#include "Marrowick/Editor/AddSourceView.h"

#include "Marrowick/State/AppSettings.h"
#include "Marrowick/State/AppState.h"
#include "Marrowick/Editor/GameSourceForm.h"
#include "Marrowick/Editor/LabeledFields.h"
#include "Marrowick/Editor/SourceCard.h"
#include "Marrowick/Editor/SourceWidgetsSection.h"
#include "Marrowick/Editor/TestResultBadge.h"
#include "Marrowick/Style/AccessibleRoles.h"
#include "Marrowick/Style/AlertBox.h"
#include "Marrowick/Style/FocusedButton.h"
#include "Marrowick/Style/KeyboardScrolling.h"
#include "Marrowick/Style/MarrowickStyle.h"
#include "Marrowick/Style/PillButton.h"
#include "Marrowick/Style/StatusOrb.h"
#include "Marrowick/Style/StatusText.h"
#include "Marrowick/Style/Symbol.h"
#include "Marrowick/Style/WindowFit.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QSpinBox>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace marrowick {

namespace {

using Type = SourceFormState::SourceType;

const QString keepSecretPrompt = QStringLiteral("Leave blank to keep the current secret");
const QMargins stepMargins(20, 12, 20, 12);

QWidget *scrolled(QWidget *content, QWidget *parent)
{
    auto *scroll = new QScrollArea(parent);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    KeyboardScrolling::apply(scroll);
    scroll->setWidget(content);
    return scroll;
}

QString thresholdText(qint64 count)
{
    return QStringLiteral("Alert after %1 failed %2")
        .arg(QLocale().toString(count), count == 1 ? QStringLiteral("check") : QStringLiteral("checks"));
}

} // namespace

AddSourceView::AddSourceView(AppState *state, std::optional<AnySourceConfig> editingSource, QWidget *parent)
    : QDialog(parent), m_session(state, std::move(editingSource)), m_state(state)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::WindowModal);
    setObjectName(QStringLiteral("editor"));
    setWindowTitle(m_session.isEditing() ? QStringLiteral("Edit Source") : QStringLiteral("Add Source"));
    WindowFit::apply(this, m_session.isEditing() ? editingSize : addingSize);
    if (AppSettings *settings = state ? state->widgetLayoutDefaults() : nullptr) {
        auto *accent = new AccentInjector(this, settings->accentHex());
        connect(settings, &AppSettings::accentHexChanged, accent, &AccentInjector::setAccentHex);
    }

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_steps = new QStackedWidget(this);
    layout->addWidget(m_steps);
    // An edited source never goes back to choosing its type.
    if (!m_session.isEditing()) {
        m_typeStep = buildChooseTypeStep();
        m_steps->addWidget(m_typeStep);
    }

    connect(&m_session, &SourceFormSession::stepChanged, this, &AddSourceView::showStep);
    connect(&m_session, &SourceFormSession::selectedTypeChanged, this, &AddSourceView::showSelectedType);
    for (const auto changed : {&SourceFormSession::formChanged, &SourceFormSession::gameSearchChanged,
                               &SourceFormSession::testingChanged, &SourceFormSession::testResultChanged,
                               &SourceFormSession::savingChanged})
        connect(&m_session, changed, this, &AddSourceView::refreshFormStep);
    connect(&m_session, &SourceFormSession::testingChanged, this, [this] {
        if (m_session.isTesting())
            m_badgeShownAtTestStart = m_badge && m_badge->isVisible();
    });
    connect(&m_session, &SourceFormSession::connectionTestFinished, this, &AddSourceView::announceTestResult);
    connect(&m_session, &SourceFormSession::connectionTestFinished, this, &AddSourceView::connectionTestFinished);
    connect(&m_session, &SourceFormSession::saveFinished, this, &AddSourceView::finishSave);
    showStep();
}

AddSourceView::~AddSourceView() = default;

void AddSourceView::done(int result)
{
    if (result != Accepted)
        m_session.cancelSave();
    QDialog::done(result);
}

void AddSourceView::showStep()
{
    // The form step of a dropped or replaced form goes; its fields differ by type.
    if (m_formStep) {
        m_steps->removeWidget(m_formStep);
        m_formStep->hide();
        m_formStep->deleteLater();
    }
    m_saveButton = m_testButton = nullptr;
    m_badge = nullptr;
    m_message = m_hint = m_thresholdLabel = nullptr;
    m_alerts = nullptr;
    m_threshold = nullptr;
    m_gameFields = nullptr;

    if (!m_session.form()) {
        m_steps->setCurrentWidget(m_typeStep);
        return;
    }
    m_formStep = buildFormStep();
    m_steps->addWidget(m_formStep);
    m_steps->setCurrentWidget(m_formStep);
    refreshFormStep();
    if (auto *name = m_formStep->findChild<LabeledTextField *>(QStringLiteral("editor.name")))
        name->lineEdit()->setFocus();
}

QWidget *AddSourceView::sheetHeader(const QString &title, bool withBack)
{
    auto *header = new QWidget;
    auto *layout = new QGridLayout(header);
    layout->setContentsMargins(stepMargins);
    auto *label = new QLabel(title, header);
    label->setObjectName(QStringLiteral("editor.title"));
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignCenter);
    QFont font = label->font();
    font.setWeight(QFont::DemiBold);
    label->setFont(font);
    layout->addWidget(label, 0, 0);
    if (withBack) {
        auto *back = new QToolButton(header);
        back->setObjectName(QStringLiteral("editor.back"));
        back->setAccessibleName(QStringLiteral("Back"));
        back->setToolTip(QStringLiteral("Back"));
        back->setAutoRaise(true);
        back->setIcon(symbolIcon(Symbol::chevronLeft, palette().color(QPalette::WindowText)));
        connect(back, &QToolButton::clicked, &m_session, &SourceFormSession::backToTypePicker);
        layout->addWidget(back, 0, 0, Qt::AlignLeft | Qt::AlignVCenter);
    }
    return header;
}

QWidget *AddSourceView::footer(PillButton *primary)
{
    auto *bar = new QWidget;
    auto *layout = new QHBoxLayout(bar);
    layout->setContentsMargins(stepMargins);
    auto *cancel = new PillButton(QStringLiteral("Cancel"), PillButton::Kind::ghost, bar);
    cancel->setObjectName(QStringLiteral("editor.cancel"));
    connect(cancel, &PillButton::clicked, this, &AddSourceView::reject);
    layout->addWidget(cancel);
    layout->addStretch();
    primary->setParent(bar);
    layout->addWidget(primary);
    return bar;
}

QWidget *AddSourceView::buildChooseTypeStep()
{
    auto *page = new QWidget(this);
    auto *pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    pageLayout->setSpacing(0);
    pageLayout->addWidget(sheetHeader(QStringLiteral("Add Source"), false));

    auto *content = new QWidget;
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(stepMargins);
    layout->setSpacing(16);
    layout->addWidget(new QLabel(QStringLiteral("Choose a type of source to monitor:"), content));

    auto *grid = new QGridLayout;
    grid->setSpacing(12);
    const QList<Type> &types = SourceFormState::allTypes();
    for (qsizetype i = 0; i < types.size(); ++i) {
        const Type type = types.at(i);
        auto *card = new SourceCard(SourceCard::Kind::type, SourceFormState::systemImage(type),
                                    SourceFormState::title(type), SourceFormState::subtitle(type), content);
        card->setObjectName(QStringLiteral("editor.type.") + SourceFormState::rawValue(type));
        card->setSelected(m_session.selectedType() == type);
        connect(card, &SourceCard::clicked, &m_session, [this, type] { m_session.selectType(type); });
        grid->addWidget(card, int(i / 3), int(i % 3));
        m_typeCards.append(card);
    }
    layout->addLayout(grid);

    auto *quickStart = new QVBoxLayout;
    quickStart->setSpacing(8);
    quickStart->addWidget(new QLabel(QStringLiteral("Quick start \u2014 begin with a filled-in example:"), content));
    auto *examples = new QHBoxLayout;
    examples->setSpacing(12);
    for (const SourceFormState::Example example : SourceFormState::allExamples()) {
        auto *card = new SourceCard(SourceCard::Kind::example, SourceFormState::systemImage(example),
                                    SourceFormState::title(example), SourceFormState::subtitle(example), content);
        card->setObjectName(QStringLiteral("editor.example.") + SourceFormState::rawValue(example));
        connect(card, &SourceCard::clicked, &m_session, [this, example] { m_session.applyExample(example); });
        examples->addWidget(card);
    }
    quickStart->addLayout(examples);
    layout->addLayout(quickStart);
    layout->addStretch();
    pageLayout->addWidget(scrolled(content, page), 1);

    m_nextButton = new PillButton(QStringLiteral("Next"), PillButton::Kind::prominent);
    m_nextButton->setObjectName(QStringLiteral("editor.next"));
    m_nextButton->setEnabled(m_session.selectedType().has_value());
    connect(m_nextButton, &PillButton::clicked, &m_session, &SourceFormSession::continueToForm);
    pageLayout->addWidget(footer(m_nextButton));
    return page;
}

void AddSourceView::keyPressEvent(QKeyEvent *event)
{
    if (!PillButton::isConfirmKey(event)) {
        QDialog::keyPressEvent(event);
        return;
    }
    // Neither Next nor Save is a push button the dialog would press by itself.
    if (m_session.form())
        confirmForm();
    else
        confirmType();
}

// Next is this step's default button. A focused card is the choice Return confirms: an
// example opens its form, a type goes on. Another focused button (Cancel) is pressed alone.
void AddSourceView::confirmType()
{
    const bool onCard = qobject_cast<SourceCard *>(focusWidget()) != nullptr;
    if (pressFocusedButton(this) && !onCard)
        return;
    if (!m_session.form() && m_nextButton && m_nextButton->isEnabled())
        m_nextButton->click();
}

// Save is the form's default button: Return saves from a field, a switch or the list, while
// the form can be saved. A focused button (Test Connection, Cancel, Back) is pressed instead.
// The fields editor keeps its Return for new lines and never passes it here.
void AddSourceView::confirmForm()
{
    if (!pressFocusedButton(this) && m_saveButton && m_saveButton->isEnabled())
        m_saveButton->click();
}

void AddSourceView::showSelectedType()
{
    const auto type = m_session.selectedType();
    for (SourceCard *card : std::as_const(m_typeCards))
        card->setSelected(type && card->objectName() == QStringLiteral("editor.type.") + SourceFormState::rawValue(*type));
    if (m_nextButton)
        m_nextButton->setEnabled(type.has_value());
}

QWidget *AddSourceView::buildFormStep()
{
    auto *page = new QWidget(this);
    auto *pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    pageLayout->setSpacing(0);
    const SourceFormState &current = *m_session.form();
    pageLayout->addWidget(sheetHeader(SourceFormState::title(current.type) + QStringLiteral(" Config"), !m_session.isEditing()));

    auto *content = new QWidget;
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(stepMargins);
    layout->setSpacing(12);
    addTextField(layout, QStringLiteral("editor.name"), QStringLiteral("Name"), QString(), current.displayName,
                 [](SourceFormState &form, const QString &text) { form.displayName = text; });
    addTypeFields(layout);
    addTextField(layout, QStringLiteral("editor.pollSeconds"), QStringLiteral("Check Every (Seconds)"),
                 QString::number(SourceFormState::defaultPollSeconds(current.type)), current.pollSeconds,
                 [](SourceFormState &form, const QString &text) { form.pollSeconds = text; });

    // A problem is spoken as it appears; a hint of what will be used is only shown.
    m_message = new QLabel(content);
    m_message->setObjectName(QStringLiteral("editor.message"));
    setAccessibleKind(m_message, AccessibleKind::notification);
    styleCaption(m_message, false, false);
    setStatusTextColor(m_message, statusColor(ServiceStatus::down));
    m_hint = new QLabel(content);
    m_hint->setObjectName(QStringLiteral("editor.hint"));
    styleCaption(m_hint, false, true);
    for (QLabel *label : {m_message, m_hint}) {
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        label->hide();
        layout->addWidget(label);
    }
    layout->addWidget(alertsSection());
    layout->addWidget(testConnectionRow());
    if (const auto &editing = m_session.editingSource(); editing && m_state)
        layout->addWidget(new SourceWidgetsSection(m_state, *editing, content));
    layout->addStretch();
    pageLayout->addWidget(scrolled(content, page), 1);

    m_saveButton = new PillButton(m_session.saveButtonTitle(), PillButton::Kind::prominent);
    m_saveButton->setObjectName(QStringLiteral("editor.save"));
    connect(m_saveButton, &PillButton::clicked, &m_session, &SourceFormSession::save);
    pageLayout->addWidget(footer(m_saveButton));
    return page;
}

void AddSourceView::addTextField(QVBoxLayout *layout, const QString &name, const QString &label, const QString &prompt,
                                 const QString &text, const std::function<void(SourceFormState &, const QString &)> &set,
                                 bool secure)
{
    LabeledTextField *field = secure ? new LabeledSecureField(label, text, prompt) : new LabeledTextField(label, text, prompt);
    field->setObjectName(name);
    connect(field, &LabeledTextField::textEdited, this,
            [this, set](const QString &typed) { m_session.edit([&](SourceFormState &form) { set(form, typed); }); });
    layout->addWidget(field);
}

void AddSourceView::addSecretField(QVBoxLayout *layout, const QString &label, const QString &prompt)
{
    const SourceFormState &current = *m_session.form();
    addTextField(layout, QStringLiteral("editor.secret"), label, current.hasStoredSecret ? keepSecretPrompt : prompt,
                 current.secret, [](SourceFormState &form, const QString &text) { form.secret = text; }, true);
}

void AddSourceView::addTypeFields(QVBoxLayout *layout)
{
    const SourceFormState &current = *m_session.form();
    const auto setURL = [](SourceFormState &form, const QString &text) { form.baseURL = text; };
    switch (current.type) {
    case Type::kuma:
        addTextField(layout, QStringLiteral("editor.baseURL"), QStringLiteral("Server URL"),
                     QStringLiteral("https://192.168.1.20:3001"), current.baseURL, setURL);
        addTextField(layout, QStringLiteral("editor.username"), QStringLiteral("Username (Metrics Auth)"), QString(),
                     current.username, [](SourceFormState &form, const QString &text) { form.username = text; });
        addSecretField(layout, QStringLiteral("Password (API Key)"),
                       QStringLiteral("Uptime Kuma API key \u2014 Settings \u2192 API Keys, not your login password"));
        addTextField(layout, QStringLiteral("editor.statusPageSlug"), QStringLiteral("Or Status Page Slug"),
                     QStringLiteral("public"), current.statusPageSlug,
                     [](SourceFormState &form, const QString &text) { form.statusPageSlug = text; });
        return;
    case Type::beszel:
        addTextField(layout, QStringLiteral("editor.baseURL"), QStringLiteral("Server URL"),
                     QStringLiteral("https://192.168.1.20:8090"), current.baseURL, setURL);
        addSecretField(layout, QStringLiteral("API Token"), QString());
        return;
    case Type::gameServer:
        addGameServerFields(layout);
        return;
    case Type::httpPing:
        addTextField(layout, QStringLiteral("editor.baseURL"), QStringLiteral("URL"), QString(), current.baseURL, setURL);
        return;
    case Type::tcpPort:
        addTextField(layout, QStringLiteral("editor.host"), QStringLiteral("Host"), QString(), current.host,
                     [](SourceFormState &form, const QString &text) { form.host = text; });
        addTextField(layout, QStringLiteral("editor.port"), QStringLiteral("Port"), QString(), current.port(),
                     [](SourceFormState &form, const QString &text) { form.setPort(text); });
        return;
    case Type::jsonWidget:
        addTextField(layout, QStringLiteral("editor.baseURL"), QStringLiteral("URL"), QString(), current.baseURL, setURL);
        addSecretField(layout, QStringLiteral("Bearer Token (Optional)"), QString());
        addJSONFieldsEditor(layout);
        return;
    }
}

void AddSourceView::addJSONFieldsEditor(QVBoxLayout *layout)
{
    auto *caption = new QLabel(QStringLiteral("Fields (label = dot.path, one per line):"));
    styleCaption(caption, false, true);
    layout->addWidget(caption);
    auto *editor = new QPlainTextEdit;
    editor->setObjectName(QStringLiteral("editor.jsonFields"));
    editor->setAccessibleName(QStringLiteral("Fields"));
    editor->setAccessibleDescription(QStringLiteral("label = dot.path, one per line"));
    caption->setBuddy(editor);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(this->font().pointSizeF() * 0.88);
    editor->setFont(font);
    editor->setFixedHeight(80);
    editor->setTabChangesFocus(true);
    editor->setPlainText(m_session.jsonFieldsText());
    connect(editor, &QPlainTextEdit::textChanged, this,
            [this, editor] { m_session.setJSONFieldsText(editor->toPlainText()); });
    layout->addWidget(editor);
}

void AddSourceView::addGameServerFields(QVBoxLayout *layout)
{
    m_gameFields = new GameSourceForm(*m_session.form(), m_session.gameSearch());
    m_gameFields->setObjectName(QStringLiteral("editor.gameFields"));
    connect(m_gameFields, &GameSourceForm::searchEdited, &m_session, &SourceFormSession::setGameSearch);
    connect(m_gameFields, &GameSourceForm::gamePicked, this,
            [this](const QString &id) { m_session.edit([&](SourceFormState &form) { form.setGameID(id); }); });
    connect(m_gameFields, &GameSourceForm::hostEdited, this,
            [this](const QString &text) { m_session.edit([&](SourceFormState &form) { form.host = text; }); });
    connect(m_gameFields, &GameSourceForm::portEdited, this,
            [this](const QString &text) { m_session.edit([&](SourceFormState &form) { form.setPort(text); }); });
    connect(m_gameFields, &GameSourceForm::useTLSToggled, this,
            [this](bool on) { m_session.edit([&](SourceFormState &form) { form.useTLS = on; }); });
    connect(m_gameFields, &GameSourceForm::secretEdited, this,
            [this](const QString &text) { m_session.edit([&](SourceFormState &form) { form.secret = text; }); });
    connect(m_gameFields, &GameSourceForm::queryPortEdited, this,
            [this](const QString &text) { m_session.edit([&](SourceFormState &form) { form.gameQueryPort = text; }); });
    layout->addWidget(m_gameFields);
}

QWidget *AddSourceView::alertsSection()
{
    const SourceFormState &current = *m_session.form();
    auto *section = new QWidget;
    auto *layout = new QVBoxLayout(section);
    layout->setContentsMargins(0, 4, 0, 0);
    layout->setSpacing(6);
    m_alerts = new QCheckBox(QStringLiteral("Alerts"), section);
    m_alerts->setObjectName(QStringLiteral("editor.alerts"));
    m_alerts->setChecked(current.alertsEnabled);
    connect(m_alerts, &QCheckBox::toggled, this,
            [this](bool on) { m_session.edit([on](SourceFormState &form) { form.alertsEnabled = on; }); });
    layout->addWidget(m_alerts);

    auto *row = new QHBoxLayout;
    m_thresholdLabel = new QLabel(section);
    m_thresholdLabel->setObjectName(QStringLiteral("editor.alertThresholdLabel"));
    styleCaption(m_thresholdLabel, false, true);
    m_threshold = new QSpinBox(section);
    m_threshold->setObjectName(QStringLiteral("editor.alertThreshold"));
    m_threshold->setRange(int(SourceFormState::alertThresholdMinimum), int(SourceFormState::alertThresholdMaximum));
    m_threshold->setValue(int(current.alertThreshold));
    m_threshold->setAccessibleName(QStringLiteral("Failed checks before an alert"));
    m_thresholdLabel->setBuddy(m_threshold);
    connect(m_threshold, &QSpinBox::valueChanged, this,
            [this](int value) { m_session.edit([value](SourceFormState &form) { form.alertThreshold = value; }); });
    row->addWidget(m_thresholdLabel);
    row->addWidget(m_threshold);
    row->addStretch();
    layout->addLayout(row);
    return section;
}

QWidget *AddSourceView::testConnectionRow()
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    m_testButton = new PillButton(QStringLiteral("Test Connection"), PillButton::Kind::ghost, row);
    m_testButton->setObjectName(QStringLiteral("editor.test"));
    connect(m_testButton, &PillButton::clicked, &m_session, &SourceFormSession::startConnectionTest);
    m_badge = new TestResultBadge(row);
    m_badge->setObjectName(QStringLiteral("editor.testBadge"));
    // Hidden before the page shows, or its showing would be spoken with nothing to say.
    m_badge->hide();
    layout->addWidget(m_testButton, 0, Qt::AlignVCenter);
    layout->addWidget(m_badge, 0, Qt::AlignVCenter);
    layout->addStretch(1);
    return row;
}

void AddSourceView::refreshFormStep()
{
    if (!m_session.form() || !m_saveButton)
        return;
    const SourceFormState &form = *m_session.form();

    const auto problem = form.validationProblem();
    showProblem(form, problem);

    // A disabled button says why, where a screen reader reaching it can read it.
    const std::optional<QString> fault = problem ? std::optional(problem->message) : form.missingFieldMessage();
    const bool valid = !fault;
    const QString reason = fault.value_or(QString());
    m_saveButton->setText(m_session.saveButtonTitle());
    m_saveButton->setEnabled(valid && !m_session.isSaving());
    m_saveButton->updateGeometry();
    setAccessibleDescriptionIfChanged(m_saveButton, reason);
    setAccessibleDescriptionIfChanged(m_testButton, reason);
    m_testButton->setText(m_session.isTesting() ? QStringLiteral("Testing\u2026") : QStringLiteral("Test Connection"));
    // Busy rather than disabled while testing, so the focus stays on it.
    m_testButton->setEnabled(valid);
    m_testButton->setBusy(m_session.isTesting());
    m_testButton->updateGeometry();
    if (const auto passed = m_session.testPassed()) {
        const QString fallback = *passed ? QStringLiteral("Connected") : QStringLiteral("Failed");
        m_badge->setResult(*passed, m_session.testMessage().value_or(fallback));
    }
    m_badge->setVisible(m_session.testPassed().has_value());

    if (m_alerts->isChecked() != form.alertsEnabled)
        m_alerts->setChecked(form.alertsEnabled);
    if (m_threshold->value() != form.alertThreshold)
        m_threshold->setValue(int(form.alertThreshold));
    m_threshold->setEnabled(form.alertsEnabled);
    m_thresholdLabel->setText(thresholdText(form.alertThreshold));
    m_thresholdLabel->setEnabled(form.alertsEnabled);

    if (m_gameFields)
        m_gameFields->refresh(form, m_session.gameSearch());
}

// The line under the fields: a problem in the down colour, tied to its field and spoken as it
// appears or changes; or else a hint of what will be used.
void AddSourceView::showProblem(const SourceFormState &form, const std::optional<SourceFormState::Problem> &problem)
{
    const auto hintText = [&form]() -> std::optional<QString> {
        if (const auto url = form.impliedHTTPSURL())
            return QStringLiteral("Will use ") + *url;
        if (const auto split = form.impliedHostPortSplit())
            return QStringLiteral("Will use host ") + split->host + QStringLiteral(", port ") + split->port;
        return std::nullopt;
    };
    const std::optional<QString> hint = problem ? std::nullopt : hintText();
    const QString shownProblem = m_message->isVisible() ? m_message->text() : QString();
    const QString problemText = problem ? problem->message : QString();
    m_message->setText(problemText);
    m_message->setVisible(problem.has_value());
    m_hint->setText(hint.value_or(QString()));
    m_hint->setVisible(hint.has_value());
    // One that comes into view is spoken as it does; one that replaces another in view is told.
    if (problem && !shownProblem.isEmpty() && problemText != shownProblem)
        announce(m_message);

    static const QList<std::pair<SourceFormState::Field, QString>> fields{
        {SourceFormState::Field::baseURL, QStringLiteral("editor.baseURL")},
        {SourceFormState::Field::host, QStringLiteral("editor.host")},
        {SourceFormState::Field::pollSeconds, QStringLiteral("editor.pollSeconds")},
        {SourceFormState::Field::gameQueryPort, QStringLiteral("editor.queryPort")},
    };
    for (const auto &[field, name] : fields) {
        if (auto *edit = m_formStep->findChild<LabeledTextField *>(name))
            setAccessibleDescriptionIfChanged(edit->lineEdit(), problem && problem->field == field ? problemText : QString());
    }
}

void AddSourceView::announceTestResult()
{
    // A first result is spoken as it comes into view; a later one replaces it in place.
    if (m_badge && m_badgeShownAtTestStart && m_session.testPassed())
        announce(m_badge);
}

void AddSourceView::finishSave(bool saved)
{
    if (saved) {
        emit saveFinished(true);
        accept();
        return;
    }
    // The keyring's text is shown as it stands, never read as markup.
    QMessageBox *alert = AlertBox::make(QMessageBox::Warning, QStringLiteral("Couldn't Save Source"),
                                        m_session.saveError().value_or(QString()), this);
    alert->setObjectName(QStringLiteral("editor.saveError"));
    alert->setStandardButtons(QMessageBox::Ok);
    connect(alert, &QMessageBox::finished, &m_session, &SourceFormSession::dismissSaveError);
    alert->open();
    emit saveFinished(false);
}

} // namespace marrowick
