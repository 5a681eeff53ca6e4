#pragma once

#include "Marrowick/State/AlertCenter.h"
#include "Marrowick/Settings/LaunchAtLogin.h"
#include "Marrowick/Settings/SettingsTexts.h"
#include "MarrowickKit/Transport/HTTPClient.h"

#include <QMessageBox>
#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QAbstractButton;
class QLabel;
class QMessageBox;

namespace marrowick {

class AppSettings;
class AppState;
class PillButton;
class SourcesTransfer;
class SwitchButton;
class UpdateCheck;

// Where the user picks the file to export to or import from, starting in `folder`. Nothing means
// the user cancelled.
class SourcesFilePicker {
public:
    virtual ~SourcesFilePicker() = default;
    virtual std::optional<QString> saveFileName(QWidget *parent, const QString &folder, const QString &suggestedName) = 0;
    virtual std::optional<QString> openFileName(QWidget *parent, const QString &folder) = 0;
};

// What the General tab reaches outside the application: the autostart entry, the file
// dialogs, the release manifest and the desktop. Tests replace each.
struct GeneralSettingsServices {
    LaunchAtLogin launchAtLogin{QStringLiteral("dev.tobrin.marrowick")};
    std::shared_ptr<SourcesFilePicker> files;
    QUrl manifestURL;
    // None: the application's shared client.
    std::shared_ptr<const HTTPClient> http;
    std::function<QString()> installedVersion;
    std::function<void(const QUrl &)> openURL;
    // Opens the desktop's notification settings; false when none is known.
    std::function<bool()> openNotificationSettings;

    static GeneralSettingsServices system();
};

// The settings window's "General" tab: launch at login and the welcome screen, the
// notification switches with the permission line, the accent colour, the appearance
// switches, export and import of the sources, and the update check. Every failure it meets
// ends in its one message alert.
class GeneralSettingsView : public QWidget {
    Q_OBJECT

public:
    GeneralSettingsView(AppState *state, GeneralSettingsServices services, QWidget *parent = nullptr);
    ~GeneralSettingsView() override;

    // The switch with that title ("Launch at login", "Sound alerts", ...).
    SwitchButton *switchNamed(const QString &title) const;
    PillButton *buttonNamed(const QString &title) const;
    AuthorizationStatus notificationStatus() const { return m_notificationStatus; }
    QLabel *permissionLabel() const { return m_permissionMessage; }
    PillButton *permissionButton() const { return m_permissionButton; }

    // The message on show, if any, and its alert box.
    const std::optional<MessageAlert> &message() const { return m_message; }
    QMessageBox *messageBox() const { return m_messageBox; }
    // The replace confirmation while it waits for an answer.
    QMessageBox *confirmationBox() const { return m_confirmationBox; }
    SourcesTransfer *sourcesTransfer() const { return m_transfer; }
    UpdateCheck *updateCheck() const { return m_updateCheck; }

    void exportSources();
    void importSources();
    void refreshNotificationStatus();
    void syncLaunchAtLoginFromSystem();
    void setMessage(std::optional<MessageAlert> message);

signals:
    void showWelcomeRequested();
    // A message was set; tests and screenshots wait for it.
    void messageChanged();

protected:
    void showEvent(QShowEvent *event) override;
    bool event(QEvent *event) override;

private:
    QWidget *section(const QString &title, QWidget *content);
    QWidget *toggleRow(const QString &title, bool on, std::function<void(bool)> write);
    QWidget *appSettingsCard();
    QWidget *notificationsCard();
    QWidget *appearanceCard();
    QWidget *sourcesFileCard();
    QWidget *updateCard();
    void updateLaunchAtLogin(bool enabled, bool previous);
    void showPermission(AuthorizationStatus status, const QString &serverName = {});
    void refreshSwitches(const QString &key);
    void refreshExportEnabled();
    void askToReplaceSources();
    void showChecking(bool checking);
    // Where the file dialogs open, and keeping the folder of a picked file for the next one.
    QString sourcesFolder() const;
    std::optional<QString> rememberFolder(const std::optional<QString> &path);

    static QCoro::Task<void> queryPermission(QPointer<GeneralSettingsView> self, std::shared_ptr<AlertCenter> center);

    QPointer<AppState> m_state;
    AppSettings *m_settings;
    GeneralSettingsServices m_services;
    AuthorizationStatus m_notificationStatus = AuthorizationStatus::notDetermined;
    std::optional<MessageAlert> m_message;
    SourcesTransfer *m_transfer = nullptr;
    UpdateCheck *m_updateCheck = nullptr;
    bool m_applyingLaunchAtLogin = false;
    QLabel *m_permissionMessage = nullptr;
    PillButton *m_permissionButton = nullptr;
    PillButton *m_exportButton = nullptr;
    PillButton *m_updateButton = nullptr;
    QPointer<QMessageBox> m_messageBox;
    QPointer<QMessageBox> m_confirmationBox;
};

} // namespace marrowick
