#include "Marrowick/Editor/GameSourceForm.h"

#include "Marrowick/Editor/LabeledFields.h"
#include "Marrowick/Style/AccessibleRoles.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QStandardItemModel>
#include <QToolButton>
#include <QVBoxLayout>

namespace marrowick {

namespace {

constexpr int gameIDRole = Qt::UserRole + 1;
const QString keepSecretPrompt = QStringLiteral("Leave blank to keep the current secret");

QLabel *noteLabel(QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    styleCaption(label, false, true);
    return label;
}

QString adminPasswordNote(bool useTLS)
{
    QString note = QStringLiteral(
        "This is Palworld's admin password. Marrowick only reads status, but the credential grants full control.");
    if (!useTLS)
        note += QStringLiteral(
            " Without HTTPS it goes over plain HTTP on every check, so use it on a trusted network only.");
    return note;
}

} // namespace

void setFieldText(LabeledTextField *field, const QString &text)
{
    if (field->text() != text)
        field->lineEdit()->setText(text);
}

GameSourceForm::GameSourceForm(const SourceFormState &form, const QString &search, QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);

    auto *pickerGroup = new QVBoxLayout;
    pickerGroup->setSpacing(4);
    m_search = new LabeledTextField(QStringLiteral("Search Games"), search, QStringLiteral("Search games"), this);
    m_search->setObjectName(QStringLiteral("editor.gameSearch"));
    m_games = new QStandardItemModel(this);
    m_picker = new QComboBox(this);
    m_picker->setObjectName(QStringLiteral("editor.gamePicker"));
    setAccessibleKind(m_picker, AccessibleKind::picker);
    m_picker->setAccessibleName(QStringLiteral("Game"));
    m_picker->setModel(m_games);
    m_picker->setMaxVisibleItems(16);
    m_setupNote = noteLabel(this);
    m_setupNote->setObjectName(QStringLiteral("editor.setupNote"));
    pickerGroup->addWidget(m_search);
    pickerGroup->addWidget(m_picker);
    pickerGroup->addWidget(m_setupNote);
    layout->addLayout(pickerGroup);

    m_host = new LabeledTextField(QStringLiteral("Host"), form.host, QStringLiteral("minecraft.home.arpa"), this);
    m_host->setObjectName(QStringLiteral("editor.host"));
    m_port = new LabeledTextField(QStringLiteral("Port"), form.port(), QString(), this);
    m_port->setObjectName(QStringLiteral("editor.port"));
    layout->addWidget(m_host);
    layout->addWidget(m_port);

    auto *tlsGroup = new QVBoxLayout;
    tlsGroup->setSpacing(4);
    m_useTLS = new QCheckBox(QStringLiteral("Use HTTPS"), this);
    m_useTLS->setObjectName(QStringLiteral("editor.useTLS"));
    m_useTLS->setChecked(form.useTLS);
    m_tlsNote = noteLabel(this);
    m_tlsNote->setText(
        QStringLiteral("Turn on when this server is behind a TLS proxy. Off sends every request over plain HTTP."));
    tlsGroup->addWidget(m_useTLS);
    tlsGroup->addWidget(m_tlsNote);
    layout->addLayout(tlsGroup);

    auto *secretGroup = new QVBoxLayout;
    secretGroup->setSpacing(4);
    m_secret = new LabeledSecureField(QString(), form.secret, QString(), this);
    m_secret->setObjectName(QStringLiteral("editor.secret"));
    m_secretNote = noteLabel(this);
    m_secretNote->setObjectName(QStringLiteral("editor.secretNote"));
    secretGroup->addWidget(m_secret);
    secretGroup->addWidget(m_secretNote);
    layout->addLayout(secretGroup);

    auto *advancedGroup = new QVBoxLayout;
    advancedGroup->setSpacing(4);
    m_advanced = new QToolButton(this);
    m_advanced->setObjectName(QStringLiteral("editor.advanced"));
    setAccessibleKind(m_advanced, AccessibleKind::disclosure);
    m_advanced->setText(QStringLiteral("Advanced"));
    m_advanced->setAutoRaise(true);
    m_advanced->setArrowType(Qt::RightArrow);
    m_advanced->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    QFont captionFont = m_advanced->font();
    captionFont.setPointSizeF(captionFont.pointSizeF() * 0.88);
    m_advanced->setFont(captionFont);
    m_queryPort = new LabeledTextField(QStringLiteral("Query Port (Optional)"), form.gameQueryPort,
                                       QStringLiteral("Leave blank to find it"), this);
    m_queryPort->setObjectName(QStringLiteral("editor.queryPort"));
    m_queryPort->setContentsMargins(0, 4, 0, 0);
    m_queryPort->hide();
    advancedGroup->addWidget(m_advanced, 0, Qt::AlignLeft);
    advancedGroup->addWidget(m_queryPort);
    layout->addLayout(advancedGroup);

    // A disclosure, not a toggle: it shows its state by its arrow, never as a pressed button.
    const auto showAdvanced = [this] {
        m_advanced->setArrowType(m_advancedOpen ? Qt::DownArrow : Qt::RightArrow);
        setAccessibleExpanded(m_advanced, m_advancedOpen);
        m_queryPort->setVisible(m_advancedOpen);
    };
    showAdvanced();
    connect(m_advanced, &QToolButton::clicked, this, [this, showAdvanced] {
        m_advancedOpen = !m_advancedOpen;
        showAdvanced();
    });
    connect(m_search, &LabeledTextField::textEdited, this, &GameSourceForm::searchEdited);
    connect(m_picker, &QComboBox::activated, this, [this](int row) {
        const QString id = m_games->item(row)->data(gameIDRole).toString();
        if (!id.isEmpty())
            emit gamePicked(id);
    });
    connect(m_host, &LabeledTextField::textEdited, this, &GameSourceForm::hostEdited);
    connect(m_port, &LabeledTextField::textEdited, this, &GameSourceForm::portEdited);
    connect(m_useTLS, &QCheckBox::toggled, this, &GameSourceForm::useTLSToggled);
    connect(m_secret, &LabeledTextField::textEdited, this, &GameSourceForm::secretEdited);
    connect(m_queryPort, &LabeledTextField::textEdited, this, &GameSourceForm::queryPortEdited);

    refresh(form, search);
}

void GameSourceForm::refresh(const SourceFormState &form, const QString &search)
{
    setFieldText(m_search, search);
    if (search != m_listedSearch || form.gameID != m_listedSelection || m_games->rowCount() == 0)
        rebuildPicker(search, form.gameID);

    const auto game = form.game();
    m_setupNote->setText(game && game->setupNote() ? *game->setupNote() : QString());
    m_setupNote->setVisible(!m_setupNote->text().isEmpty());
    setFieldText(m_host, form.host);
    setFieldText(m_port, form.port());

    const bool web = game && game->usesHTTP();
    m_useTLS->setVisible(web);
    m_tlsNote->setVisible(web);
    if (m_useTLS->isChecked() != form.useTLS)
        m_useTLS->setChecked(form.useTLS);

    refreshCredential(form);

    const bool steamQuery = game && game->engine() == GameDefinition::Engine::a2s;
    m_advanced->setVisible(steamQuery);
    m_queryPort->setVisible(steamQuery && m_advancedOpen);
    setFieldText(m_queryPort, form.gameQueryPort);
}

void GameSourceForm::refreshCredential(const SourceFormState &form)
{
    const GameDefinition::CredentialUse use = form.gameCredentialUse();
    const bool shown = use != GameDefinition::CredentialUse::none;
    m_secret->setVisible(shown);
    m_secretNote->setVisible(shown);
    setFieldText(m_secret, form.secret);
    if (!shown)
        return;
    const bool required = use == GameDefinition::CredentialUse::required;
    m_secret->setLabel(required ? QStringLiteral("Admin Password") : QStringLiteral("Players Token (Optional)"));
    const QString prompt = required ? QStringLiteral("AdminPassword in PalWorldSettings.ini") : QStringLiteral("sv_playersToken");
    m_secret->setPrompt(form.hasStoredSecret ? keepSecretPrompt : prompt);
    m_secretNote->setText(required ? adminPasswordNote(form.useTLS)
                                   : QStringLiteral("Without a token the player count stays correct and the player "
                                                    "names stay hidden."));
}

void GameSourceForm::rebuildPicker(const QString &search, const QString &selected)
{
    m_listedSearch = search;
    m_listedSelection = selected;
    const QSignalBlocker blocker(m_picker);
    m_games->clear();
    int selectedRow = -1;
    for (const SourceFormState::GameSection &section : SourceFormState::gameSections(search, selected)) {
        auto *heading = new QStandardItem(section.title);
        QFont font = m_picker->font();
        font.setWeight(QFont::DemiBold);
        font.setPointSizeF(font.pointSizeF() * 0.88);
        heading->setFont(font);
        heading->setFlags(Qt::NoItemFlags);
        // Readable as a heading although it cannot be picked.
        QColor colour = m_picker->palette().color(QPalette::Active, QPalette::Text);
        colour.setAlphaF(0.65);
        heading->setForeground(colour);
        m_games->appendRow(heading);
        for (const GameDefinition &game : section.games) {
            auto *item = new QStandardItem(game.displayName());
            item->setData(game.id(), gameIDRole);
            item->setToolTip(game.displayName());
            if (game.id() == selected)
                selectedRow = m_games->rowCount();
            m_games->appendRow(item);
        }
    }
    m_picker->setCurrentIndex(selectedRow);
}

QStringList GameSourceForm::pickerLines() const
{
    QStringList lines;
    for (int row = 0; row < m_games->rowCount(); ++row) {
        const QStandardItem *item = m_games->item(row);
        const QString id = item->data(gameIDRole).toString();
        lines.append(id.isEmpty() ? QStringLiteral("# ") + item->text() : id);
    }
    return lines;
}

} // namespace marrowick
