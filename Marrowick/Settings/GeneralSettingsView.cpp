#include "Marrowick/Settings/GeneralSettingsView.h"

#include "Marrowick/State/AppSettings.h"
#include "Marrowick/State/AppState.h"
#include "Marrowick/State/NotificationSettings.h"
#include "Marrowick/Settings/AccentSection.h"
#include "Marrowick/Settings/SettingsTexts.h"
#include "Marrowick/Settings/SourcesTransfer.h"
#include "Marrowick/Settings/SwitchButton.h"
#include "Marrowick/Settings/UpdateCheck.h"
#include "Marrowick/Style/AlertBox.h"
#include "Marrowick/Style/KeyboardScrolling.h"
#include "Marrowick/Style/MarrowickStyle.h"
#include "Marrowick/Style/PillButton.h"
#include "Marrowick/Style/StatusOrb.h"
#include "Marrowick/Style/StatusText.h"
#include "Marrowick/Style/Symbol.h"
#include "Marrowick/Style/WindowFit.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QStandardPaths>
#include <QVBoxLayout>

namespace marrowick {

namespace {

const QString jsonFilter = QStringLiteral("JSON files (*.json);;All files (*)");

class FileDialogPicker : public SourcesFilePicker {
public:
    std::optional<QString> saveFileName(QWidget *parent, const QString &folder, const QString &suggestedName) override
    {
        QFileDialog dialog(parent, QStringLiteral("Export Sources"), QDir(folder).filePath(suggestedName), jsonFilter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        return picked(dialog);
    }
    std::optional<QString> openFileName(QWidget *parent, const QString &folder) override
    {
        QFileDialog dialog(parent, QStringLiteral("Import Sources"), folder, jsonFilter);
        dialog.setFileMode(QFileDialog::ExistingFile);
        return picked(dialog);
    }

private:
    // Qt places a dialog by its frame, which a window manager may take for the window's own
    // place and so put the frame past the screen's edge: fitted, it comes back inside.
    static std::optional<QString> picked(QFileDialog &dialog)
    {
        WindowFit::applyToOwnSize(&dialog);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        const QString path = dialog.selectedFiles().value(0);
        return path.isEmpty() ? std::nullopt : std::optional<QString>(path);
    }
};

QColor secondary(const QPalette &palette)
{
    QColor color = palette.color(QPalette::WindowText);
    color.setAlphaF(0.6);
    return color;
}

QFont captionFont(const QFont &base, bool semibold = false)
{
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() * 0.85);
    if (semibold)
        font.setWeight(QFont::DemiBold);
    return font;
}

QLabel *plainLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QFrame *divider(QWidget *parent)
{
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setEnabled(false);
    return line;
}

// A rounded card: cardFill inside a 1 px cardStroke outline.
class Card : public QWidget {
public:
    explicit Card(QWidget *parent) : QWidget(parent) { markSurface(this, cardFillOpacity); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()), 12, 12);
        p.fillPath(shape, cardFill(palette()));
        paintCardOutline(p, QRectF(rect()), 12, palette());
    }
};

// The application's mark: the rack on an accent tile.
class AppIcon : public QWidget {
public:
    explicit AppIcon(QWidget *parent) : QWidget(parent) { setFixedSize(26, 26); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        paintAppMark(p, QRectF(rect()), marrowickAccent(this), marrowickOnAccent(this));
    }
};

} // namespace

GeneralSettingsServices GeneralSettingsServices::system()
{
    GeneralSettingsServices services;
    services.files = std::make_shared<FileDialogPicker>();
    services.manifestURL = QUrl(QStringLiteral("https://tobrin.dev/downloads/marrowick/latest.json"));
    services.installedVersion = &SettingsTexts::appShortVersion;
    services.openURL = [](const QUrl &url) { QDesktopServices::openUrl(url); };
    services.openNotificationSettings = &marrowick::openNotificationSettings;
    return services;
}

GeneralSettingsView::GeneralSettingsView(AppState *state, GeneralSettingsServices services, QWidget *parent)
    : QWidget(parent), m_state(state), m_settings(state->widgetLayoutDefaults()), m_services(std::move(services)),
      m_transfer(new SourcesTransfer(state, this))
{
    if (!m_services.files)
        m_services.files = std::make_shared<FileDialogPicker>();
    if (!m_services.installedVersion)
        m_services.installedVersion = &SettingsTexts::appShortVersion;
    if (!m_services.openURL)
        m_services.openURL = [](const QUrl &) {};
    if (!m_services.openNotificationSettings)
        m_services.openNotificationSettings = [] { return false; };
    m_updateCheck = new UpdateCheck(m_services.manifestURL, m_services.http, m_services.installedVersion, this);
    connect(m_transfer, &SourcesTransfer::reported, this, &GeneralSettingsView::setMessage);
    connect(m_transfer, &SourcesTransfer::confirmationNeeded, this, &GeneralSettingsView::askToReplaceSources);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    KeyboardScrolling::apply(scroll);
    auto *column = new QWidget(scroll);
    auto *stack = new QVBoxLayout(column);
    stack->setContentsMargins(20, 0, 20, 20);
    stack->setSpacing(16);
    stack->addWidget(section(QStringLiteral("App Settings"), appSettingsCard()));
    stack->addWidget(section(QStringLiteral("Notifications"), notificationsCard()));
    stack->addWidget(section(QStringLiteral("Accent Color"), new AccentSection(m_settings, this)));
    stack->addWidget(section(QStringLiteral("Appearance"), appearanceCard()));
    stack->addWidget(section(QStringLiteral("Sources File"), sourcesFileCard()));
    stack->addWidget(updateCard());
    stack->addStretch();
    scroll->setWidget(column);
    outer->addWidget(scroll);

    connect(m_settings, &AppSettings::changed, this, &GeneralSettingsView::refreshSwitches);
    connect(state, &AppState::sourcesChanged, this, &GeneralSettingsView::refreshExportEnabled);
    refreshExportEnabled();
}

GeneralSettingsView::~GeneralSettingsView()
{
    delete m_messageBox;
    delete m_confirmationBox;
}

QWidget *GeneralSettingsView::section(const QString &title, QWidget *content)
{
    auto *box = new QWidget(this);
    auto *column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    auto *heading = plainLabel(title, box);
    heading->setFont(captionFont(font(), true));
    QPalette palette = heading->palette();
    palette.setColor(QPalette::WindowText, secondary(palette));
    heading->setPalette(palette);
    column->addWidget(heading);
    auto *card = new Card(box);
    auto *inner = new QVBoxLayout(card);
    inner->setContentsMargins(12, 12, 12, 12);
    inner->setSpacing(10);
    content->setParent(card);
    inner->addWidget(content);
    column->addWidget(card);
    return box;
}

QWidget *GeneralSettingsView::toggleRow(const QString &title, bool on, std::function<void(bool)> write)
{
    auto *row = new QWidget(this);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(plainLabel(title, row));
    layout->addStretch();
    auto *toggle = new SwitchButton(title, row);
    toggle->setChecked(on);
    // clicked, not toggled: only the user's flip writes; a refresh from the settings does not.
    connect(toggle, &QAbstractButton::clicked, this, std::move(write));
    layout->addWidget(toggle);
    return row;
}

QWidget *GeneralSettingsView::appSettingsCard()
{
    auto *content = new QWidget(this);
    auto *column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    column->addWidget(toggleRow(QStringLiteral("Launch at login"), m_settings->launchAtLogin(), [this](bool on) {
        const bool previous = m_settings->launchAtLogin();
        m_settings->setLaunchAtLogin(on);
        updateLaunchAtLogin(on, previous);
    }));
    column->addWidget(divider(content));
    auto *welcome = new QHBoxLayout;
    welcome->addWidget(plainLabel(QStringLiteral("Welcome screen"), content));
    welcome->addStretch();
    auto *again = new PillButton(QStringLiteral("Show Again"), PillButton::Kind::ghost, content);
    connect(again, &QAbstractButton::clicked, this, &GeneralSettingsView::showWelcomeRequested);
    welcome->addWidget(again);
    column->addLayout(welcome);
    return content;
}

QWidget *GeneralSettingsView::notificationsCard()
{
    auto *content = new QWidget(this);
    auto *column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);

    auto *permission = new QHBoxLayout;
    auto *texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(plainLabel(QStringLiteral("Notification server"), content));
    m_permissionMessage = plainLabel(QString(), content);
    m_permissionMessage->setWordWrap(true);
    m_permissionMessage->setFont(captionFont(font()));
    texts->addWidget(m_permissionMessage);
    permission->addLayout(texts, 1);
    permission->addSpacing(8);
    m_permissionButton = new PillButton(QStringLiteral("Open Notification Settings"), PillButton::Kind::ghost, content);
    connect(m_permissionButton, &QAbstractButton::clicked, this, [this] { m_services.openNotificationSettings(); });
    permission->addWidget(m_permissionButton, 0, Qt::AlignTop);
    column->addLayout(permission);
    showPermission(m_notificationStatus);

    column->addWidget(divider(content));
    column->addWidget(toggleRow(QStringLiteral("Mute all notifications"), m_settings->globalQuiet(),
                                [this](bool on) { m_settings->setGlobalQuiet(on); }));
    column->addWidget(divider(content));
    column->addWidget(toggleRow(QStringLiteral("Sound alerts"), m_settings->soundAlerts(),
                                [this](bool on) { m_settings->setSoundAlerts(on); }));
    column->addWidget(divider(content));
    column->addWidget(toggleRow(QStringLiteral("Notify on recovery"), m_settings->notifyOnRecovery(),
                                [this](bool on) { m_settings->setNotifyOnRecovery(on); }));
    return content;
}

QWidget *GeneralSettingsView::appearanceCard()
{
    auto *content = new QWidget(this);
    auto *column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    column->addWidget(toggleRow(QStringLiteral("Show sparklines in popover"), m_settings->showSparklines(),
                                [this](bool on) { m_settings->setShowSparklines(on); }));
    column->addWidget(divider(content));
    column->addWidget(toggleRow(QStringLiteral("Compact mode"), m_settings->compactMode(),
                                [this](bool on) { m_settings->setCompactMode(on); }));
    return content;
}

QWidget *GeneralSettingsView::sourcesFileCard()
{
    auto *content = new QWidget(this);
    auto *column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    column->addWidget(plainLabel(QStringLiteral("Save your sources to a file, or load them from one."), content));
    auto *note =
        plainLabel(QStringLiteral("A file holds no password and no token. An import replaces every source."), content);
    note->setWordWrap(true);
    note->setFont(captionFont(font()));
    QPalette palette = note->palette();
    palette.setColor(QPalette::WindowText, secondary(palette));
    note->setPalette(palette);
    column->addWidget(note);
    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    buttons->addStretch();
    m_exportButton = new PillButton(QStringLiteral("Export\u2026"), PillButton::Kind::ghost, content);
    connect(m_exportButton, &QAbstractButton::clicked, this, &GeneralSettingsView::exportSources);
    buttons->addWidget(m_exportButton);
    auto *import = new PillButton(QStringLiteral("Import\u2026"), PillButton::Kind::ghost, content);
    connect(import, &QAbstractButton::clicked, this, &GeneralSettingsView::importSources);
    buttons->addWidget(import);
    column->addLayout(buttons);
    return content;
}

QWidget *GeneralSettingsView::updateCard()
{
    auto *card = new Card(this);
    auto *row = new QHBoxLayout(card);
    row->setContentsMargins(12, 12, 12, 12);
    row->setSpacing(8);
    row->addWidget(new AppIcon(card));
    auto *version = plainLabel(QStringLiteral("Marrowick v") + m_services.installedVersion(), card);
    QFont semibold = version->font();
    semibold.setWeight(QFont::DemiBold);
    version->setFont(semibold);
    row->addWidget(version);
    row->addStretch();
    m_updateButton = new PillButton(QStringLiteral("Check for Updates"), PillButton::Kind::ghost, card);
    connect(m_updateButton, &QAbstractButton::clicked, m_updateCheck, &UpdateCheck::start);
    connect(m_updateCheck, &UpdateCheck::checkingChanged, this, &GeneralSettingsView::showChecking);
    connect(m_updateCheck, &UpdateCheck::finished, this, &GeneralSettingsView::setMessage);
    row->addWidget(m_updateButton);
    return card;
}

SwitchButton *GeneralSettingsView::switchNamed(const QString &title) const
{
    for (SwitchButton *candidate : findChildren<SwitchButton *>()) {
        if (candidate->text() == title)
            return candidate;
    }
    return nullptr;
}

PillButton *GeneralSettingsView::buttonNamed(const QString &title) const
{
    for (PillButton *candidate : findChildren<PillButton *>()) {
        if (candidate->text() == title)
            return candidate;
    }
    return nullptr;
}

void GeneralSettingsView::refreshSwitches(const QString &key)
{
    static const QHash<QString, QString> titles{
        {SettingsKey::launchAtLogin, QStringLiteral("Launch at login")},
        {SettingsKey::globalQuiet, QStringLiteral("Mute all notifications")},
        {SettingsKey::soundAlerts, QStringLiteral("Sound alerts")},
        {SettingsKey::notifyOnRecovery, QStringLiteral("Notify on recovery")},
        {SettingsKey::showSparklines, QStringLiteral("Show sparklines in popover")},
        {SettingsKey::compactMode, QStringLiteral("Compact mode")},
    };
    SwitchButton *toggle = titles.contains(key) ? switchNamed(titles.value(key)) : nullptr;
    if (!toggle)
        return;
    const QHash<QString, bool> values{
        {SettingsKey::launchAtLogin, m_settings->launchAtLogin()},
        {SettingsKey::globalQuiet, m_settings->globalQuiet()},
        {SettingsKey::soundAlerts, m_settings->soundAlerts()},
        {SettingsKey::notifyOnRecovery, m_settings->notifyOnRecovery()},
        {SettingsKey::showSparklines, m_settings->showSparklines()},
        {SettingsKey::compactMode, m_settings->compactMode()},
    };
    toggle->setChecked(values.value(key));
}

void GeneralSettingsView::refreshExportEnabled()
{
    if (m_exportButton && m_state)
        m_exportButton->setEnabled(!m_state->sources().isEmpty());
}

void GeneralSettingsView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    syncLaunchAtLoginFromSystem();
    refreshNotificationStatus();
}

bool GeneralSettingsView::event(QEvent *event)
{
    // The window becoming active again: the user may have started a notification service.
    if (event->type() == QEvent::ActivationChange && isVisible() && isActiveWindow())
        refreshNotificationStatus();
    return QWidget::event(event);
}

void GeneralSettingsView::syncLaunchAtLoginFromSystem()
{
    // What is on disk wins over the stored setting.
    m_settings->setLaunchAtLogin(LaunchAtLogin::isOn(m_services.launchAtLogin.status()));
}

void GeneralSettingsView::updateLaunchAtLogin(bool enabled, bool previous)
{
    try {
        switch (LaunchAtLogin::action(m_services.launchAtLogin.status(), enabled)) {
        case LaunchAtLogin::Action::none:
            return;
        case LaunchAtLogin::Action::registerEntry:
            m_services.launchAtLogin.registerEntry();
            return;
        case LaunchAtLogin::Action::unregisterEntry:
            m_services.launchAtLogin.unregisterEntry();
            return;
        }
    } catch (const LaunchAtLoginError &error) {
        m_settings->setLaunchAtLogin(previous);
        setMessage(SettingsTexts::launchAtLoginFailed(QString::fromStdString(error.what())));
    }
}

void GeneralSettingsView::refreshNotificationStatus()
{
    if (m_state)
        queryPermission(this, m_state->alertCenter());
}

QCoro::Task<void> GeneralSettingsView::queryPermission(QPointer<GeneralSettingsView> self,
                                                        std::shared_ptr<AlertCenter> center)
{
    const AuthorizationStatus status = co_await center->authorizationStatus();
    if (self)
        self->showPermission(status, center->serverName());
}

void GeneralSettingsView::showPermission(AuthorizationStatus status, const QString &serverName)
{
    m_notificationStatus = status;
    const bool denied = status == AuthorizationStatus::denied;
    m_permissionMessage->setText(SettingsTexts::permissionMessage(status, serverName));
    setStatusTextColor(m_permissionMessage, denied ? statusColor(ServiceStatus::down) : QColor());
    if (!denied) {
        QPalette palette = m_permissionMessage->palette();
        palette.setColor(QPalette::WindowText, secondary(this->palette()));
        m_permissionMessage->setPalette(palette);
    }
    // Without a settings page to open, a button would do nothing: the line says what to do.
    m_permissionButton->setVisible(denied && canOpenNotificationSettings());
}

void GeneralSettingsView::setMessage(std::optional<MessageAlert> message)
{
    if (m_messageBox) {
        m_messageBox->disconnect(this);
        m_messageBox->close();
        m_messageBox->deleteLater();
    }
    m_message = std::move(message);
    if (m_message) {
        QMessageBox *box = AlertBox::make(QMessageBox::NoIcon, m_message->title, m_message->body, this);
        if (m_message->hasAction()) {
            QPushButton *action = box->addButton(*m_message->actionTitle, QMessageBox::ActionRole);
            const QUrl url = *m_message->actionURL;
            connect(action, &QAbstractButton::clicked, this, [this, url] { m_services.openURL(url); });
        }
        box->setDefaultButton(box->addButton(QMessageBox::Ok));
        connect(box, &QDialog::finished, this, [this] { m_message.reset(); });
        m_messageBox = box;
        box->open();
    }
    emit messageChanged();
}

// Both dialogs open in the folder of the last file exported or imported (a backup folder, a
// synced one), also after a restart, else in the home folder.
QString GeneralSettingsView::sourcesFolder() const
{
    const QString folder = m_settings->sourcesFolder();
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QDir::homePath();
}

std::optional<QString> GeneralSettingsView::rememberFolder(const std::optional<QString> &path)
{
    if (path)
        m_settings->setSourcesFolder(QFileInfo(*path).absolutePath());
    return path;
}

void GeneralSettingsView::exportSources()
{
    m_transfer->exportSources([this](const QString &name) {
        return rememberFolder(m_services.files->saveFileName(this, sourcesFolder(), name));
    });
}

void GeneralSettingsView::importSources()
{
    m_transfer->importSources([this] { return rememberFolder(m_services.files->openFileName(this, sourcesFolder())); });
}

void GeneralSettingsView::askToReplaceSources()
{
    delete m_confirmationBox;
    QMessageBox *box = AlertBox::make(QMessageBox::Warning, QStringLiteral("Replace Your Sources?"),
                                      m_transfer->replaceConfirmationMessage(), this);
    QPushButton *cancel = box->addButton(QMessageBox::Cancel);
    QPushButton *replace = box->addButton(QStringLiteral("Replace"), QMessageBox::DestructiveRole);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    connect(box, &QDialog::finished, this, [this, box, replace] {
        if (box->clickedButton() == replace)
            m_transfer->replaceSourcesWithPendingImport();
        else
            m_transfer->cancelPendingImport();
    });
    m_confirmationBox = box;
    box->open();
}

void GeneralSettingsView::showChecking(bool checking)
{
    m_updateButton->setText(checking ? QStringLiteral("Checking\u2026") : QStringLiteral("Check for Updates"));
    m_updateButton->setEnabled(!checking);
    m_updateButton->updateGeometry();
}

} // namespace marrowick
