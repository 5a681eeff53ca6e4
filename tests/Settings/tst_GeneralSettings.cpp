#include "Marrowick/State/AppSettings.h"
#include "Marrowick/State/SourcesStore.h"
#include "Marrowick/Onboarding/OnboardingView.h"
#include "Marrowick/Popover/PopoverView.h"
#include "Marrowick/Settings/AccentSection.h"
#include "Marrowick/Settings/GeneralSettingsView.h"
#include "Marrowick/Settings/SettingsView.h"
#include "Marrowick/Settings/SourceRow.h"
#include "Marrowick/Settings/SourcesTransfer.h"
#include "Marrowick/Settings/SwitchButton.h"
#include "Marrowick/Settings/UpdateCheck.h"
#include "Marrowick/Style/AlertBox.h"
#include "Marrowick/Style/MarrowickStyle.h"
#include "Marrowick/Style/PillButton.h"
#include "MarrowickKit/Model/UuidText.h"

#include "State/AppStateRig.h"
#include "support/FakeHTTPClient.h"
#include "support/StorageFaults.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace marrowick;

namespace {

class FixedPicker : public SourcesFilePicker {
public:
    std::optional<QString> path;
    // The folder the last dialog was asked to open in.
    QString openedIn;
    std::optional<QString> saveFileName(QWidget *, const QString &folder, const QString &) override
    {
        openedIn = folder;
        return path;
    }
    std::optional<QString> openFileName(QWidget *, const QString &folder) override
    {
        openedIn = folder;
        return path;
    }
};

QAbstractButton *boxButton(QMessageBox *box, const QString &text)
{
    for (QAbstractButton *button : box->buttons()) {
        if (button->text().remove(u'&') == text)
            return button;
    }
    return nullptr;
}

} // namespace

class TestGeneralSettings : public QObject {
    Q_OBJECT

    QTemporaryDir m_config;
    std::unique_ptr<test::AppStateRig> m_rig;
    std::shared_ptr<FixedPicker> m_picker;
    std::unique_ptr<SettingsView> m_window;

    GeneralSettingsView &open(bool underTest = true, GeneralSettingsServices services = {})
    {
        m_rig = std::make_unique<test::AppStateRig>();
        m_rig->build(underTest);
        m_picker = std::make_shared<FixedPicker>();
        return show(std::move(services));
    }

    // The program started again on the same settings file.
    GeneralSettingsView &restart()
    {
        m_window.reset();
        test::closeTopLevelWindows();
        m_rig->state.reset();
        m_rig->settings = std::make_unique<AppSettings>(std::make_unique<QSettings>(
            m_rig->dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat));
        m_rig->build(true);
        return show({});
    }

    GeneralSettingsView &show(GeneralSettingsServices services)
    {
        services.files = m_picker;
        m_window = std::make_unique<SettingsView>(m_rig->state.get(), QStringList(), std::move(services));
        m_window->setTab(SettingsView::SettingsTab::general);
        m_window->show();
        return *m_window->generalTab();
    }

    LaunchAtLogin launcher() const
    {
        return LaunchAtLogin(QStringLiteral("dev.tobrin.marrowick"), QCoreApplication::applicationFilePath());
    }
    QString autostartFolder() const { return m_config.filePath(QStringLiteral("autostart")); }

private slots:
    void init()
    {
        // The autostart entry goes to a folder of the test's own; no desktop's settings open.
        qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
        qputenv("XDG_CURRENT_DESKTOP", "");
        QDir(autostartFolder()).removeRecursively();
    }

    void cleanup()
    {
        m_window.reset();
        test::closeTopLevelWindows();
        m_rig.reset();
    }

    void switchesReachTheirReaders_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("initially");
        QTest::newRow("mute all") << "Mute all notifications" << SettingsKey::globalQuiet << false;
        QTest::newRow("sound") << "Sound alerts" << SettingsKey::soundAlerts << true;
        QTest::newRow("recovery") << "Notify on recovery" << SettingsKey::notifyOnRecovery << true;
        QTest::newRow("sparklines") << "Show sparklines in popover" << SettingsKey::showSparklines << true;
        QTest::newRow("compact") << "Compact mode" << SettingsKey::compactMode << false;
    }

    void switchesReachTheirReaders()
    {
        QFETCH(QString, title);
        QFETCH(QString, key);
        QFETCH(bool, initially);
        GeneralSettingsView &general = open(false);
        AppState &state = *m_rig->state;
        const QUuid id = QUuid::createUuid();
        state.addSource(test::tcpSource(id));
        SwitchButton *toggle = general.switchNamed(title);
        QVERIFY(toggle);
        QCOMPARE(toggle->isChecked(), initially);
        QSignalSpy changed(m_rig->settings.get(), &AppSettings::changed);
        toggle->click();
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.first().first().toString(), key);
        QSettings stored(m_rig->dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
        m_rig->settings->sync();
        QCOMPARE(storedBool(stored.value(key)), std::optional<bool>(!initially));

        // What the alert delivery makes of it.
        const AlertEvent down{id, AlertEvent::Kind::down, QStringLiteral("Router is unreachable"), {}, {}, false};
        const AlertEvent back{id, AlertEvent::Kind::recovered, QStringLiteral("Router is back"), {}, {}, true};
        state.deliverAlerts({down, back});
        const QList<AlertNotification> &posted = m_rig->alerts->posted;
        if (key == SettingsKey::globalQuiet)
            QCOMPARE(posted.size(), 0);
        else if (key == SettingsKey::notifyOnRecovery)
            QCOMPARE(posted.size(), 1);
        else
            QCOMPARE(posted.size(), 2);
        QCOMPARE(posted.value(0).sound, key != SettingsKey::soundAlerts);
        // The popup reads the same object.
        if (key == SettingsKey::showSparklines)
            QCOMPARE(m_rig->settings->showSparklines(), false);
        if (key == SettingsKey::compactMode)
            QCOMPARE(m_rig->settings->compactMode(), true);
    }

    void launchAtLoginDecision_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<int>("action");
        using S = LaunchAtLogin::Status;
        using A = LaunchAtLogin::Action;
        QTest::newRow("enabled, on") << int(S::enabled) << true << int(A::none);
        QTest::newRow("enabled, off") << int(S::enabled) << false << int(A::unregisterEntry);
        QTest::newRow("approval, on") << int(S::requiresApproval) << true << int(A::none);
        QTest::newRow("approval, off") << int(S::requiresApproval) << false << int(A::unregisterEntry);
        QTest::newRow("not registered, on") << int(S::notRegistered) << true << int(A::registerEntry);
        QTest::newRow("not found, off") << int(S::notFound) << false << int(A::none);
    }

    void launchAtLoginDecision()
    {
        QFETCH(int, status);
        QFETCH(bool, enabled);
        QFETCH(int, action);
        QCOMPARE(int(LaunchAtLogin::action(LaunchAtLogin::Status(status), enabled)), action);
    }

    void launchAtLoginWritesOnlyItsOwnEntry()
    {
        GeneralSettingsServices services;
        services.launchAtLogin = launcher();
        QDir().mkpath(autostartFolder());
        const QString neighbour = autostartFolder() + QStringLiteral("/other.desktop");
        QVERIFY(test::writeFile(neighbour, "[Desktop Entry]\nExec=other\n"));
        GeneralSettingsView &general = open(true, services);
        SwitchButton *toggle = general.switchNamed(QStringLiteral("Launch at login"));
        QVERIFY(!toggle->isChecked());

        toggle->click();
        const QString entry = autostartFolder() + QStringLiteral("/dev.tobrin.marrowick.desktop");
        const QByteArray written = test::fileBytes(entry);
        QVERIFY(written.contains("\nExec=" + LaunchAtLogin::execValue(QFileInfo(QCoreApplication::applicationFilePath())
                                                                          .canonicalFilePath())
                                                  .toUtf8()
                                     + "\n"));
        QVERIFY(written.contains("\nIcon=dev.tobrin.marrowick\n")); // the installed icon, as the menu entry
        QCOMPARE(launcher().status(), LaunchAtLogin::Status::enabled);
        QVERIFY(m_rig->settings->launchAtLogin());
        QVERIFY(!general.message());

        // Reopened, the tab reads what is on disk, whatever the setting says.
        m_rig->settings->setLaunchAtLogin(false);
        m_window->setTab(SettingsView::SettingsTab::sources);
        m_window->setTab(SettingsView::SettingsTab::general);
        QVERIFY(m_window->generalTab()->switchNamed(QStringLiteral("Launch at login"))->isChecked());

        m_window->generalTab()->switchNamed(QStringLiteral("Launch at login"))->click();
        QVERIFY(!QFile::exists(entry));
        QCOMPARE(test::fileBytes(neighbour), QByteArray("[Desktop Entry]\nExec=other\n"));
    }

    // In a fresh home the configuration folder and its autostart folder are made owner-only, as
    // every folder the program makes.
    void launchAtLoginMakesItsFoldersOwnerOnly()
    {
        const QString config = m_config.filePath(QStringLiteral("fresh/config"));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
        launcher().registerEntry();
        QCOMPARE(launcher().status(), LaunchAtLogin::Status::enabled);
        QCOMPARE(test::modeOf(config), 0700);
        QCOMPARE(test::modeOf(config + QStringLiteral("/autostart")), 0700);
        QVERIFY(QDir(m_config.filePath(QStringLiteral("fresh"))).removeRecursively());
    }

    void launchAtLoginFailureRestoresTheSwitch()
    {
        GeneralSettingsServices services;
        services.launchAtLogin = launcher();
        QVERIFY(test::writeFile(autostartFolder(), "a file where the folder should be"));
        GeneralSettingsView &general = open(true, services);
        SwitchButton *toggle = general.switchNamed(QStringLiteral("Launch at login"));
        toggle->click();
        QVERIFY(!toggle->isChecked());
        QVERIFY(!m_rig->settings->launchAtLogin());
        QVERIFY(general.message());
        QCOMPARE(general.message()->title, QStringLiteral("Couldn't Update Launch at Login"));
        QVERIFY(!general.message()->body.isEmpty());
        QFile::remove(autostartFolder());
    }

    // On a full disk every save this window starts says so in the window, with the reason,
    // while the change stays in effect; the notice goes once a later write lands.
    void failedSavesShowInTheWindow_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("message"); // the alert's title; empty: none
        QTest::addColumn<bool>("sources");    // the notice speaks of the sources, else of the settings
        QTest::newRow("import") << "import" << "Import Not Saved" << true;
        QTest::newRow("mute") << "mute" << "" << true;
        QTest::newRow("reorder") << "reorder" << "" << false;
        QTest::newRow("switch") << "switch" << "" << false;
        QTest::newRow("launch at login") << "login" << "Couldn't Update Launch at Login" << false;
    }
    void failedSavesShowInTheWindow()
    {
        QFETCH(QString, action);
        QFETCH(QString, message);
        QFETCH(bool, sources);
        GeneralSettingsServices services;
        services.launchAtLogin = launcher();
        GeneralSettingsView *general = &open(true, services);
        AppState &state = *m_rig->state;
        state.addSource(test::tcpSource(QUuid::createUuid(), QStringLiteral("A")));
        state.addSource(test::tcpSource(QUuid::createUuid(), QStringLiteral("B")));
        QTemporaryDir dir;
        m_picker->path = dir.filePath(QStringLiteral("in.json"));
        QVERIFY(test::writeFile(*m_picker->path, SourcesStore::encode({test::tcpSource(QUuid::createUuid())})));
        // Imported from where the last one was: the settings file stays as it is.
        m_rig->settings->setSourcesFolder(dir.path());
        if (message.isEmpty() && action != "switch") {
            m_window->setTab(SettingsView::SettingsTab::sources);
            general = nullptr;
        }
        QLabel *notice = m_window->saveNotice();
        QVERIFY(!notice->isVisibleTo(m_window.get()));
        const QList<AnySourceConfig> before = state.sources();
        {
            const test::FileSizeLimit full(1);
            if (action == "import") {
                general->importSources();
                boxButton(general->confirmationBox(), QStringLiteral("Replace"))->click();
            } else if (action == "mute") {
                m_window->cards()[0]->bellButton()->click();
            } else if (action == "reorder") {
                QTest::keyClick(m_window->cards()[1]->editButton(), Qt::Key_Up, Qt::AltModifier);
            } else {
                general->switchNamed(action == "switch" ? QStringLiteral("Compact mode")
                                                        : QStringLiteral("Launch at login"))
                    ->click();
            }
        }
        if (!message.isEmpty())
            QTRY_COMPARE(general->message().value_or(MessageAlert()).title, message);
        QVERIFY(notice->isVisibleTo(m_window.get()));
        QCOMPARE(notice->text(), sources ? state.unsavedSourcesText() : m_rig->settings->unsavedText());
        QCOMPARE(state.sources() != before, sources);
        if (action == "import") {
            QCOMPARE(general->message()->body,
                     QStringLiteral("Marrowick now polls 1 source. ") + state.unsavedSourcesText());
        }
        if (action == "login") {
            QVERIFY(!general->switchNamed(QStringLiteral("Launch at login"))->isChecked());
            QVERIFY(!QFile::exists(launcher().entryPath()));
            QVERIFY(general->message()->body.startsWith(QLatin1String("Could not save \"")));
        }

        if (sources)
            state.setSources(state.sources());
        else
            m_rig->settings->sync();
        QVERIFY(!notice->isVisibleTo(m_window.get()));
    }

    void execValueQuotesWhatDesktopEntriesReserve_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("exec");
        QTest::newRow("plain") << "/usr/bin/marrowick" << "/usr/bin/marrowick";
        QTest::newRow("space") << "/opt/my apps/marrowick" << "\"/opt/my apps/marrowick\"";
        QTest::newRow("quote and dollar") << "/opt/a\"$b" << "\"/opt/a\\\\\"\\\\$b\"";
        QTest::newRow("percent") << "/opt/100%/m" << "\"/opt/100%%/m\"";
    }

    void execValueQuotesWhatDesktopEntriesReserve()
    {
        QFETCH(QString, program);
        QFETCH(QString, exec);
        QCOMPARE(LaunchAtLogin::execValue(program), exec);
    }

    void permissionLine_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("server"); // the name the notification server gives
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("red");
        QTest::newRow("a server that names itself")
            << int(AuthorizationStatus::authorized) << "dunst" << "Alerts go to dunst, this desktop's notification server."
            << false;
        QTest::newRow("a server without a name") << int(AuthorizationStatus::authorized) << ""
                                                 << "Alerts go to this desktop's notification server." << false;
        QTest::newRow("no server") << int(AuthorizationStatus::denied) << ""
                                   << "No notification server answers, so Marrowick cannot tell you when a service "
                                      "goes down. Start your desktop's notification service, then come back to this "
                                      "window."
                                   << true;
        QTest::newRow("no answer yet") << int(AuthorizationStatus::notDetermined) << ""
                                       << "Marrowick has not heard from a notification server yet." << false;
    }

    void permissionLine()
    {
        QFETCH(int, status);
        QFETCH(QString, server);
        QFETCH(QString, message);
        QFETCH(bool, red);
        GeneralSettingsView &general = open();
        m_rig->alerts->status = AuthorizationStatus(status);
        m_rig->alerts->server = server;
        general.refreshNotificationStatus();
        m_rig->clock.settle();
        QCOMPARE(general.permissionLabel()->text(), message);
        QCOMPARE(general.permissionLabel()->textFormat(), Qt::PlainText);
        const QColor ink = general.permissionLabel()->palette().color(QPalette::WindowText);
        QCOMPARE(ink.red() > 2 * ink.green(), red);
        // No desktop settings page is known here: no button that would do nothing.
        QVERIFY(!general.permissionButton()->isVisibleTo(&general));
    }

    void exportThenImportThroughTheButtons()
    {
        GeneralSettingsView &general = open();
        AppState &state = *m_rig->state;
        PillButton *exportButton = general.buttonNamed(QStringLiteral("Export\u2026"));
        QVERIFY(!exportButton->isEnabled());
        const QUuid hub = QUuid::createUuid();
        state.addSource(BeszelConfig(hub, QStringLiteral("Hub"), QStringLiteral("https://hub.lab"),
                                     QStringLiteral("beszel-") + uuidText(hub)));
        state.addSource(HTTPPingConfig(QUuid::createUuid(), QStringLiteral("Site"), QStringLiteral("https://site.lab")));
        QVERIFY(exportButton->isEnabled());

        QTemporaryDir dir;
        m_picker->path = dir.filePath(QStringLiteral("marrowick-sources.json"));
        exportButton->click();
        QVERIFY(!general.message());
        QCOMPARE(test::fileBytes(*m_picker->path), test::fileBytes(m_rig->folder() + QStringLiteral("/sources.json")));

        general.buttonNamed(QStringLiteral("Import\u2026"))->click();
        QMessageBox *confirmation = general.confirmationBox();
        QVERIFY(confirmation);
        QCOMPARE(AlertBox::titleLabel(*confirmation)->text(), QStringLiteral("Replace Your Sources?"));
        QCOMPARE(confirmation->informativeText(),
                 QStringLiteral("Marrowick deletes 2 sources and adds 2 sources from the file."));
        QCOMPARE(confirmation->defaultButton(), boxButton(confirmation, QStringLiteral("Cancel")));
        QSignalSpy reported(&general, &GeneralSettingsView::messageChanged);
        boxButton(confirmation, QStringLiteral("Replace"))->click();
        QTRY_COMPARE(reported.size(), 1);

        QCOMPARE(state.sources().size(), 2);
        QVERIFY(!general.sourcesTransfer()->pendingImport());
        QCOMPARE(general.message()->title, QStringLiteral("Import Complete"));
        QCOMPARE(general.message()->body, QStringLiteral("Marrowick now polls 2 sources. Open each of these sources and "
                                                         "enter its password or token again: Hub."));
        QCOMPARE(general.messageBox()->informativeText(), general.message()->body);
    }

    // The file dialogs open in the folder of the last export or import, also after a restart,
    // else in the home folder; a cancelled dialog changes nothing.
    void fileDialogsOpenInTheLastFolder()
    {
        QTemporaryDir root;
        const QString first = root.filePath(QStringLiteral("first"));
        const QString second = root.filePath(QStringLiteral("second"));
        const QString gone = root.filePath(QStringLiteral("gone"));
        for (const QString &folder : {first, second, gone})
            QVERIFY(QDir().mkpath(folder));
        QVERIFY(test::writeFile(second + QStringLiteral("/theirs.json"), "[]"));
        enum class Step { exporting, importing, restart, removeFolder };
        struct Turn {
            Step step;
            QString chosen; // empty: cancelled
            QString opensIn;
        };
        const QString home = QDir::homePath();
        const QList<Turn> turns{
            {Step::exporting, first + QStringLiteral("/mine.json"), home},
            {Step::importing, second + QStringLiteral("/theirs.json"), first},
            {Step::importing, QString(), second},
            {Step::exporting, QString(), second},
            {Step::restart, {}, {}},
            {Step::importing, QString(), second},
            {Step::exporting, gone + QStringLiteral("/old.json"), second},
            {Step::removeFolder, {}, {}},
            {Step::restart, {}, {}},
            {Step::exporting, QString(), home},
        };
        GeneralSettingsView *general = &open();
        for (const Turn &turn : turns) {
            if (turn.step == Step::restart) {
                general = &restart();
                continue;
            }
            if (turn.step == Step::removeFolder) {
                QVERIFY(QDir(gone).removeRecursively());
                continue;
            }
            m_picker->path = turn.chosen.isEmpty() ? std::nullopt : std::optional<QString>(turn.chosen);
            if (turn.step == Step::exporting)
                general->exportSources();
            else
                general->importSources();
            QCOMPARE(m_picker->openedIn, turn.opensIn);
        }
    }

    // The desktop's dialogs open in the folder they are given, an export's with the suggested
    // name, and give the chosen file or nothing.
    void fileDialogsOpenWhereTheyAreTold_data()
    {
        QTest::addColumn<bool>("exporting");
        QTest::addColumn<bool>("chosen");
        QTest::newRow("export") << true << true;
        QTest::newRow("import") << false << true;
        QTest::newRow("cancelled import") << false << false;
    }

    void fileDialogsOpenWhereTheyAreTold()
    {
        QFETCH(bool, exporting);
        QFETCH(bool, chosen);
        QTemporaryDir folder;
        // An export picks a new file: the dialog would ask before replacing one.
        const QString file = folder.filePath(QStringLiteral("sources.json"));
        if (!exporting)
            QVERIFY(test::writeFile(file, "[]"));
        const std::shared_ptr<SourcesFilePicker> files = GeneralSettingsServices::system().files;
        QWidget parent;
        QString opened;
        QString suggested;
        QTimer::singleShot(0, this, [&] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            opened = dialog->directory().absolutePath();
            suggested = QFileInfo(dialog->selectedFiles().value(0)).fileName();
            if (!chosen) {
                dialog->reject();
                return;
            }
            dialog->selectFile(file);
            QMetaObject::invokeMethod(dialog, "accept");
        });
        const std::optional<QString> picked = exporting
                                                  ? files->saveFileName(&parent, folder.path(), SourcesTransfer::suggestedExportName)
                                                  : files->openFileName(&parent, folder.path());
        QCOMPARE(opened, QFileInfo(folder.path()).absoluteFilePath());
        QCOMPARE(picked, chosen ? std::optional<QString>(file) : std::nullopt);
        if (exporting)
            QCOMPARE(suggested, SourcesTransfer::suggestedExportName);
    }

    void cancelledImportChangesNothing()
    {
        GeneralSettingsView &general = open(false);
        AppState &state = *m_rig->state;
        state.addSource(test::tcpSource(QUuid::createUuid()));
        m_rig->clock.advance(0);
        const QByteArray sources = test::fileBytes(m_rig->folder() + QStringLiteral("/sources.json"));

        QTemporaryDir dir;
        m_picker->path = dir.filePath(QStringLiteral("in.json"));
        const AnySourceConfig incoming = test::tcpSource(QUuid::createUuid(), QStringLiteral("New"));
        QVERIFY(test::writeFile(*m_picker->path, SourcesStore::encode({incoming})));
        general.importSources();
        QCOMPARE(general.confirmationBox()->informativeText(),
                 QStringLiteral("Marrowick deletes 1 source and adds 1 source from the file."));
        boxButton(general.confirmationBox(), QStringLiteral("Cancel"))->click();
        m_rig->clock.settle();

        QVERIFY(!general.sourcesTransfer()->pendingImport());
        QVERIFY(!general.message());
        QCOMPARE(test::fileBytes(m_rig->folder() + QStringLiteral("/sources.json")), sources);
    }

    void importFailures_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("body");
        QTest::newRow("not JSON") << QByteArray("these are my sources")
                                  << "Marrowick cannot read that file as a sources file.";
        QTest::newRow("empty array") << QByteArray("[]") << QStringLiteral("That file holds no source.");
    }

    void importFailures()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, body);
        GeneralSettingsView &general = open();
        QTemporaryDir dir;
        m_picker->path = dir.filePath(QStringLiteral("in.json"));
        QVERIFY(test::writeFile(*m_picker->path, content));
        general.buttonNamed(QStringLiteral("Import\u2026"))->click();
        QVERIFY(!general.confirmationBox());
        QVERIFY(general.message());
        QCOMPARE(general.message()->title, QStringLiteral("Import Failed"));
        QCOMPARE(general.message()->body, body);
        QCOMPARE(AlertBox::titleLabel(*general.messageBox())->text(), QStringLiteral("Import Failed"));
        QCOMPARE(general.messageBox()->informativeText(), body);

        // A cancelled panel shows nothing at all.
        general.setMessage(std::nullopt);
        m_picker->path.reset();
        general.importSources();
        general.exportSources();
        QVERIFY(!general.message());
    }

    void updateCheck_data()
    {
        QTest::addColumn<QByteArray>("manifest");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("download");
        QTest::newRow("newer") << QByteArray(
            "{\"version\": \"1.4.0\", \"downloadURL\": \"https://tobrin.dev/m-1.4.0.tar.xz\"}")
                               << "Marrowick 1.4.0 Is Available" << true;
        QTest::newRow("same") << QByteArray("{\"version\": \"1.2.3\", \"downloadURL\": \"https://tobrin.dev/m\"}")
                              << "Marrowick Is Up to Date" << false;
    }

    void updateCheck()
    {
        QFETCH(QByteArray, manifest);
        QFETCH(QString, title);
        QFETCH(bool, download);
        auto http = std::make_shared<test::FakeHTTPClient>();
        http->answer(QStringLiteral("/downloads/marrowick/latest.json"), test::FakeHTTPClient::Reply::ok(manifest));
        GeneralSettingsServices services;
        services.manifestURL = QUrl(QStringLiteral("https://tobrin.dev/downloads/marrowick/latest.json"));
        services.http = http;
        services.installedVersion = [] { return QStringLiteral("1.2.3"); };
        QList<QUrl> opened;
        services.openURL = [&opened](const QUrl &url) { opened.append(url); };
        GeneralSettingsView &general = open(true, services);
        QVERIFY(general.findChild<QLabel *>() != nullptr);

        PillButton *button = general.buttonNamed(QStringLiteral("Check for Updates"));
        QSignalSpy finished(general.updateCheck(), &UpdateCheck::finished);
        button->click();
        QCOMPARE(button->text(), QStringLiteral("Checking\u2026"));
        QVERIFY(!button->isEnabled());
        QVERIFY(finished.wait(5000));
        QCOMPARE(button->text(), QStringLiteral("Check for Updates"));
        QVERIFY(button->isEnabled());
        QCOMPARE(general.message()->title, title);
        QCOMPARE(AlertBox::titleLabel(*general.messageBox())->text(), title);
        QAbstractButton *action = boxButton(general.messageBox(), QStringLiteral("Download"));
        QCOMPARE(action != nullptr, download);
        if (download) {
            action->click();
            QCOMPARE(opened, QList<QUrl>{QUrl(QStringLiteral("https://tobrin.dev/m-1.4.0.tar.xz"))});
        }
    }

    void accentReachesEveryWindow_data()
    {
        QTest::addColumn<QString>("typed"); // empty: click the "#EC4899" swatch
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QString>("effective");
        QTest::newRow("swatch") << QString() << "#EC4899" << "#EC4899";
        QTest::newRow("lower case selects") << "#ec4899" << "#EC4899" << "#EC4899";
        QTest::newRow("no hash parses") << "EC4899" << QString() << "#EC4899";
        QTest::newRow("five digits") << "#12345" << QString() << "#8BB8E8";
        QTest::newRow("a word") << "red" << QString() << "#8BB8E8";
        QTest::newRow("emptied") << "" << QString() << "#8BB8E8";
    }

    void accentReachesEveryWindow()
    {
        QFETCH(QString, typed);
        QFETCH(QString, selected);
        QFETCH(QString, effective);
        GeneralSettingsView &general = open();
        AppSettings *settings = m_rig->settings.get();
        test::followAccent(m_window.get(), settings);
        auto *popover = new PopoverView(m_rig->state.get());
        test::followAccent(popover, settings);
        auto *onboarding = new OnboardingView(m_rig->state.get());
        test::followAccent(onboarding, settings);

        AccentSection *section = general.findChild<AccentSection *>();
        QCOMPARE(section->customField()->text(), QStringLiteral("#8BB8E8"));
        if (QTest::currentDataTag() == QByteArray("swatch")) {
            section->swatches()[3]->click();
            typed = QStringLiteral("#EC4899");
        } else {
            section->customField()->selectAll();
            section->customField()->del();
            QTest::keyClicks(section->customField(), typed);
        }
        QCOMPARE(settings->accentHex(), typed);
        QCOMPARE(section->customField()->text(), typed);
        for (AccentSwatch *swatch : section->swatches())
            QCOMPARE(swatch->isChecked(), swatch->hex() == selected);
        for (QWidget *window : std::initializer_list<QWidget *>{m_window.get(), popover, onboarding})
            QCOMPARE(marrowickAccent(window), QColor(effective));
    }
};

QTEST_MAIN(TestGeneralSettings)
#include "tst_GeneralSettings.moc"
