#include "Marrowick/Editor/AddSourceView.h"

#include "Marrowick/State/AppSettings.h"
#include "Marrowick/State/AppState.h"
#include "Marrowick/Editor/GameSourceForm.h"
#include "Marrowick/Editor/LabeledFields.h"
#include "Marrowick/Editor/SourceCard.h"
#include "Marrowick/Editor/SourceWidgetsSection.h"
#include "Marrowick/Editor/TestResultBadge.h"
#include "Marrowick/Style/AlertBox.h"
#include "Marrowick/Style/MarrowickStyle.h"
#include "Marrowick/Style/PillButton.h"
#include "Marrowick/Style/Symbol.h"
#include "MarrowickKit/Providers/ProviderRegistry.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

namespace marrowick {

namespace {

using Type = SourceFormState::SourceType;

const QString keepSecretPrompt = QStringLiteral("Leave blank to keep the current secret");
const QMargins stepMargins(20, 12, 20, 12);
const QColor systemRed(0xFF, 0x3B, 0x30);

QWidget *scrolled(QWidget *content, QWidget *parent)
{
    auto *scroll = new QScrollArea(parent);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(content);
    return scroll;
}

void setTextColour(QLabel *label, const QColor &colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

QString thresholdText(qint64 count)
{
    return QStringLiteral("Alert after %1 failed %2").arg(count).arg(count == 1 ? QStringLiteral("check") : QStringLiteral("checks"));
}

} // namespace

AddSourceView::AddSourceView(AppState *state, std::optional<AnySourceConfig> editingSource, QWidget *parent)
    : QDialog(parent), m_state(state), m_editingSource(std::move(editingSource))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::WindowModal);
    setObjectName(QStringLiteral("editor"));
    setWindowTitle(m_editingSource ? QStringLiteral("Edit Source") : QStringLiteral("Add Source"));
    setFixedSize(m_editingSource ? editingSize : addingSize);
    if (AppSettings *settings = state ? state->widgetLayoutDefaults() : nullptr) {
        auto *accent = new AccentInjector(this, settings->accentHex());
        connect(settings, &AppSettings::accentHexChanged, accent, &AccentInjector::setAccentHex);
    }

    if (m_editingSource) {
        m_form.emplace(*m_editingSource);
        m_jsonFieldsText = SourceFormState::fieldLinesText(m_form->jsonFields);
    }
    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    showStep();
}

AddSourceView::~AddSourceView()
{
    // A test nobody will see stops; a save already started runs to its end.
    m_cancelTests.cancel();
}

QString AddSourceView::saveButtonTitle() const
{
    if (m_isSaving)
        return QStringLiteral("Saving\u2026");
    return m_editingSource ? QStringLiteral("Save Changes") : QStringLiteral("Save Source");
}

void AddSourceView::showStep()
{
    if (m_page) {
        m_page->hide();
        m_page->deleteLater();
    }
    m_typeCards.clear();
    m_nextButton = m_saveButton = m_testButton = nullptr;
    m_badge = nullptr;
    m_message = m_thresholdLabel = nullptr;
    m_alerts = nullptr;
    m_threshold = nullptr;
    m_gameFields = nullptr;

    m_page = m_form ? buildFormStep() : buildChooseTypeStep();
    m_layout->addWidget(m_page);
    m_page->show();
    if (m_form) {
        refreshFormStep();
        if (auto *name = m_page->findChild<LabeledTextField *>(QStringLiteral("editor.name")))
            name->lineEdit()->setFocus();
    }
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
        connect(back, &QToolButton::clicked, this, &AddSourceView::backToTypePicker);
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
        card->setSelected(m_type == type);
        connect(card, &SourceCard::clicked, this, [this, type] { selectType(type); });
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
        connect(card, &SourceCard::clicked, this, [this, example] { applyExample(example); });
        examples->addWidget(card);
    }
    quickStart->addLayout(examples);
    layout->addLayout(quickStart);
    layout->addStretch();
    pageLayout->addWidget(scrolled(content, page), 1);

    m_nextButton = new PillButton(QStringLiteral("Next"), PillButton::Kind::prominent);
    m_nextButton->setObjectName(QStringLiteral("editor.next"));
    m_nextButton->setEnabled(m_type.has_value());
    connect(m_nextButton, &PillButton::clicked, this, &AddSourceView::continueToForm);
    pageLayout->addWidget(footer(m_nextButton));
    return page;
}

void AddSourceView::keyPressEvent(QKeyEvent *event)
{
    const bool confirm = (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
                         && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (!confirm || m_form || !m_nextButton) {
        QDialog::keyPressEvent(event);
        return;
    }
    // Next is this step's default button, though not a push button the dialog would press. A
    // focused card is the choice Return confirms: an example opens its form, a type goes on.
    if (auto *card = qobject_cast<SourceCard *>(focusWidget()))
        card->click();
    if (!m_form && m_nextButton && m_nextButton->isEnabled())
        m_nextButton->click();
}

void AddSourceView::selectType(Type type)
{
    m_type = type;
    for (SourceCard *card : std::as_const(m_typeCards))
        card->setSelected(card->objectName() == QStringLiteral("editor.type.") + SourceFormState::rawValue(type));
    if (m_nextButton)
        m_nextButton->setEnabled(true);
}

void AddSourceView::continueToForm()
{
    if (!m_type)
        return;
    m_form.emplace(*m_type);
    showStep();
}

void AddSourceView::applyExample(SourceFormState::Example example)
{
    m_form = SourceFormState::exampleForm(example);
    showStep();
}

void AddSourceView::backToTypePicker()
{
    if (m_editingSource)
        return;
    m_form.reset();
    m_type.reset();
    m_testPassed.reset();
    m_testMessage.reset();
    m_jsonFieldsText.clear();
    m_gameSearch.clear();
    // A test still running belongs to the form just dropped.
    ++m_formGeneration;
    showStep();
}

QWidget *AddSourceView::buildFormStep()
{
    auto *page = new QWidget(this);
    auto *pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    pageLayout->setSpacing(0);
    pageLayout->addWidget(sheetHeader(SourceFormState::title(m_form->type) + QStringLiteral(" Config"), !m_editingSource));

    auto *content = new QWidget;
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(stepMargins);
    layout->setSpacing(12);
    addTextField(layout, QStringLiteral("editor.name"), QStringLiteral("Name"), QString(), m_form->displayName,
                 [](SourceFormState &form, const QString &text) { form.displayName = text; });
    addTypeFields(layout);
    addTextField(layout, QStringLiteral("editor.pollSeconds"), QStringLiteral("Check Every (Seconds)"),
                 QString::number(SourceFormState::defaultPollSeconds(m_form->type)), m_form->pollSeconds,
                 [](SourceFormState &form, const QString &text) { form.pollSeconds = text; });

    m_message = new QLabel(content);
    m_message->setObjectName(QStringLiteral("editor.message"));
    m_message->setTextFormat(Qt::PlainText);
    m_message->setWordWrap(true);
    styleCaption(m_message, false, false);
    layout->addWidget(m_message);
    layout->addWidget(alertsSection());
    layout->addWidget(testConnectionRow());
    if (m_editingSource && m_state)
        layout->addWidget(new SourceWidgetsSection(m_state, *m_editingSource, content));
    layout->addStretch();
    pageLayout->addWidget(scrolled(content, page), 1);

    m_saveButton = new PillButton(saveButtonTitle(), PillButton::Kind::prominent);
    m_saveButton->setObjectName(QStringLiteral("editor.save"));
    connect(m_saveButton, &PillButton::clicked, this, &AddSourceView::save);
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
            [this, set](const QString &typed) { editForm([&](SourceFormState &form) { set(form, typed); }); });
    layout->addWidget(field);
}

void AddSourceView::addSecretField(QVBoxLayout *layout, const QString &label, const QString &prompt)
{
    addTextField(layout, QStringLiteral("editor.secret"), label, m_form->hasStoredSecret ? keepSecretPrompt : prompt,
                 m_form->secret, [](SourceFormState &form, const QString &text) { form.secret = text; }, true);
}

void AddSourceView::addTypeFields(QVBoxLayout *layout)
{
    const auto setURL = [](SourceFormState &form, const QString &text) { form.baseURL = text; };
    switch (m_form->type) {
    case Type::kuma:
        addTextField(layout, QStringLiteral("editor.baseURL"), QStringLiteral("Server URL"),
                     QStringLiteral("https://192.168.1.20:3001"), m_form->baseURL, setURL);
        addTextField(layout, QStringLiteral("editor.username"), QStringLiteral("Username (Metrics Auth)"), QString(),
                     m_form->username, [](SourceFormState &form, const QString &text) { form.username = text; });
        addSecretField(layout, QStringLiteral("Password (API Key)"),
                       QStringLiteral("Uptime Kuma API key \u2014 Settings \u2192 API Keys, not your login password"));
        addTextField(layout, QStringLiteral("editor.statusPageSlug"), QStringLiteral("Or Status Page Slug"),
                     QStringLiteral("public"), m_form->statusPageSlug,
                     [](SourceFormState &form, const QString &text) { form.statusPageSlug = text; });
        return;
    case Type::beszel:
        addTextField(layout, QStringLiteral("editor.baseURL"), QStringLiteral("Server URL"),
                     QStringLiteral("https://192.168.1.20:8090"), m_form->baseURL, setURL);
        addSecretField(layout, QStringLiteral("API Token"), QString());
        return;
    case Type::gameServer:
        addGameServerFields(layout);
        return;
    case Type::httpPing:
        addTextField(layout, QStringLiteral("editor.baseURL"), QStringLiteral("URL"), QString(), m_form->baseURL, setURL);
        return;
    case Type::tcpPort:
        addTextField(layout, QStringLiteral("editor.host"), QStringLiteral("Host"), QString(), m_form->host,
                     [](SourceFormState &form, const QString &text) { form.host = text; });
        addTextField(layout, QStringLiteral("editor.port"), QStringLiteral("Port"), QString(), m_form->port(),
                     [](SourceFormState &form, const QString &text) { form.setPort(text); });
        return;
    case Type::jsonWidget:
        addTextField(layout, QStringLiteral("editor.baseURL"), QStringLiteral("URL"), QString(), m_form->baseURL, setURL);
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
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(this->font().pointSizeF() * 0.88);
    editor->setFont(font);
    editor->setFixedHeight(80);
    editor->setTabChangesFocus(true);
    editor->setPlainText(m_jsonFieldsText);
    connect(editor, &QPlainTextEdit::textChanged, this, [this, editor] {
        if (editor->toPlainText() == m_jsonFieldsText)
            return;
        m_jsonFieldsText = editor->toPlainText();
        editForm([this](SourceFormState &form) { form.jsonFields = SourceFormState::parseFieldLines(m_jsonFieldsText); });
    });
    layout->addWidget(editor);
}

void AddSourceView::addGameServerFields(QVBoxLayout *layout)
{
    m_gameFields = new GameSourceForm(*m_form, m_gameSearch);
    m_gameFields->setObjectName(QStringLiteral("editor.gameFields"));
    connect(m_gameFields, &GameSourceForm::searchEdited, this, [this](const QString &text) {
        m_gameSearch = text;
        refreshFormStep();
    });
    connect(m_gameFields, &GameSourceForm::gamePicked, this,
            [this](const QString &id) { editForm([&](SourceFormState &form) { form.setGameID(id); }); });
    connect(m_gameFields, &GameSourceForm::hostEdited, this,
            [this](const QString &text) { editForm([&](SourceFormState &form) { form.host = text; }); });
    connect(m_gameFields, &GameSourceForm::portEdited, this,
            [this](const QString &text) { editForm([&](SourceFormState &form) { form.setPort(text); }); });
    connect(m_gameFields, &GameSourceForm::useTLSToggled, this,
            [this](bool on) { editForm([&](SourceFormState &form) { form.useTLS = on; }); });
    connect(m_gameFields, &GameSourceForm::secretEdited, this,
            [this](const QString &text) { editForm([&](SourceFormState &form) { form.secret = text; }); });
    connect(m_gameFields, &GameSourceForm::queryPortEdited, this,
            [this](const QString &text) { editForm([&](SourceFormState &form) { form.gameQueryPort = text; }); });
    layout->addWidget(m_gameFields);
}

QWidget *AddSourceView::alertsSection()
{
    auto *section = new QWidget;
    auto *layout = new QVBoxLayout(section);
    layout->setContentsMargins(0, 4, 0, 0);
    layout->setSpacing(6);
    m_alerts = new QCheckBox(QStringLiteral("Alerts"), section);
    m_alerts->setObjectName(QStringLiteral("editor.alerts"));
    m_alerts->setChecked(m_form->alertsEnabled);
    connect(m_alerts, &QCheckBox::toggled, this,
            [this](bool on) { editForm([on](SourceFormState &form) { form.alertsEnabled = on; }); });
    layout->addWidget(m_alerts);

    auto *row = new QHBoxLayout;
    m_thresholdLabel = new QLabel(section);
    m_thresholdLabel->setObjectName(QStringLiteral("editor.alertThresholdLabel"));
    styleCaption(m_thresholdLabel, false, true);
    m_threshold = new QSpinBox(section);
    m_threshold->setObjectName(QStringLiteral("editor.alertThreshold"));
    m_threshold->setRange(int(SourceFormState::alertThresholdMinimum), int(SourceFormState::alertThresholdMaximum));
    m_threshold->setValue(int(m_form->alertThreshold));
    m_threshold->setAccessibleName(QStringLiteral("Failed checks before an alert"));
    m_thresholdLabel->setBuddy(m_threshold);
    connect(m_threshold, &QSpinBox::valueChanged, this,
            [this](int value) { editForm([value](SourceFormState &form) { form.alertThreshold = value; }); });
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
    connect(m_testButton, &PillButton::clicked, this, &AddSourceView::startConnectionTest);
    m_badge = new TestResultBadge(row);
    m_badge->setObjectName(QStringLiteral("editor.testBadge"));
    layout->addWidget(m_testButton, 0, Qt::AlignVCenter);
    layout->addWidget(m_badge, 0, Qt::AlignVCenter);
    layout->addStretch(1);
    return row;
}

void AddSourceView::editForm(const std::function<void(SourceFormState &)> &edit)
{
    if (!m_form)
        return;
    const SourceFormState before = *m_form;
    edit(*m_form);
    if (*m_form != before)
        clearTestResult();
    refreshFormStep();
}

void AddSourceView::clearTestResult()
{
    ++m_formGeneration;
    m_testPassed.reset();
    m_testMessage.reset();
}

void AddSourceView::refreshFormStep()
{
    if (!m_form || !m_saveButton)
        return;
    const SourceFormState &form = *m_form;

    const QColor text = palette().color(QPalette::WindowText);
    QColor secondary = text;
    secondary.setAlphaF(0.6);
    if (const auto message = form.validationMessage()) {
        m_message->setText(*message);
        setTextColour(m_message, systemRed);
    } else if (const auto url = form.impliedHTTPSURL()) {
        m_message->setText(QStringLiteral("Will use ") + *url);
        setTextColour(m_message, secondary);
    } else if (const auto split = form.impliedHostPortSplit()) {
        m_message->setText(QStringLiteral("Will use host ") + split->host + QStringLiteral(", port ") + split->port);
        setTextColour(m_message, secondary);
    } else {
        m_message->clear();
    }
    m_message->setVisible(!m_message->text().isEmpty());

    const bool valid = form.isValid();
    m_saveButton->setText(saveButtonTitle());
    m_saveButton->setEnabled(valid && !m_isSaving);
    m_saveButton->updateGeometry();
    m_testButton->setText(m_isTesting ? QStringLiteral("Testing\u2026") : QStringLiteral("Test Connection"));
    m_testButton->setEnabled(valid && !m_isTesting);
    m_testButton->updateGeometry();
    if (m_testPassed) {
        const QString fallback = *m_testPassed ? QStringLiteral("Connected") : QStringLiteral("Failed");
        m_badge->setResult(*m_testPassed, m_testMessage.value_or(fallback));
    }
    m_badge->setVisible(m_testPassed.has_value());

    if (m_alerts->isChecked() != form.alertsEnabled)
        m_alerts->setChecked(form.alertsEnabled);
    if (m_threshold->value() != form.alertThreshold)
        m_threshold->setValue(int(form.alertThreshold));
    m_threshold->setEnabled(form.alertsEnabled);
    m_thresholdLabel->setText(thresholdText(form.alertThreshold));
    m_thresholdLabel->setEnabled(form.alertsEnabled);

    if (m_gameFields)
        m_gameFields->refresh(form, m_gameSearch);
}

void AddSourceView::startConnectionTest()
{
    if (!m_form || m_isTesting || !m_form->isValid() || !m_state)
        return;
    m_isTesting = true;
    refreshFormStep();
    std::optional<QUuid> editingID;
    if (m_editingSource)
        editingID = m_editingSource->id();
    runConnectionTest(this, *m_form, editingID, m_state->credentials(), m_formGeneration, m_cancelTests.token());
}

QCoro::Task<void> AddSourceView::runConnectionTest(QPointer<AddSourceView> self, SourceFormState form,
                                                   std::optional<QUuid> editingID, CredentialStoreHandle stored,
                                                   quint64 generation, CancelToken cancel)
{
    std::optional<TestOutcome> outcome;
    try {
        outcome = co_await ConnectionTest::run(std::move(form), editingID, std::move(stored),
                                               &ProviderRegistry::makeProvider, cancel);
    } catch (...) {
        // Cancelled: the sheet is gone.
        co_return;
    }
    if (self)
        self->finishConnectionTest(generation, outcome);
}

void AddSourceView::finishConnectionTest(quint64 generation, const std::optional<TestOutcome> &outcome)
{
    m_isTesting = false;
    // A result for a form that has changed since, or was dropped by Back, would describe
    // values the user no longer sees.
    if (outcome && generation == m_formGeneration && m_form) {
        m_testPassed = outcome->passed;
        m_testMessage = outcome->message;
    }
    refreshFormStep();
    emit connectionTestFinished();
}

void AddSourceView::save()
{
    if (m_isSaving || !m_form || !m_state)
        return;
    const QUuid id = m_editingSource ? m_editingSource->id() : QUuid::createUuid();
    const auto config = m_form->buildConfig(id);
    if (!config)
        return;
    m_isSaving = true;
    refreshFormStep();
    persistEditedSource(this, m_state, m_state->credentials(), *m_form, id, *config, m_editingSource.has_value());
}

QCoro::Task<void> AddSourceView::persistEditedSource(QPointer<AddSourceView> self, QPointer<AppState> state,
                                                     CredentialStoreHandle credentials, SourceFormState form, QUuid id,
                                                     AnySourceConfig config, bool editing)
{
    const auto reference = form.credentialRef(id);
    if (!form.secret.isEmpty() && reference) {
        QString failure;
        try {
            co_await credentials->setSecret(form.secret, *reference);
        } catch (const std::exception &error) {
            failure = QString::fromUtf8(error.what());
        } catch (...) {
            failure = QStringLiteral("unknown error");
        }
        if (!failure.isNull()) {
            if (self)
                self->failSave(failure);
            co_return;
        }
    }
    // The sheet may be gone by now; the source is saved all the same.
    if (state) {
        if (editing)
            state->updateSource(config);
        else
            state->addSource(config);
    }
    if (self)
        self->finishSave();
}

void AddSourceView::finishSave()
{
    m_isSaving = false;
    emit saveFinished(true);
    accept();
}

void AddSourceView::failSave(const QString &message)
{
    m_saveError = message;
    m_isSaving = false;
    refreshFormStep();

    // The keyring's text is shown as it stands, never read as markup.
    QMessageBox *alert = AlertBox::make(QMessageBox::Warning, QStringLiteral("Couldn't Save Source"), message, this);
    alert->setObjectName(QStringLiteral("editor.saveError"));
    alert->setStandardButtons(QMessageBox::Ok);
    connect(alert, &QMessageBox::finished, this, [this] { m_saveError.reset(); });
    alert->open();
    emit saveFinished(false);
}

} // namespace marrowick
