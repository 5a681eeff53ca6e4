// Renders the settings and first-run windows with sample data. With MARROWICK_SCREENSHOTS set
// to a folder the pictures are written there as PNG files; otherwise they are only rendered.
#include "Marrowick/Onboarding/OnboardingView.h"
#include "Marrowick/Style/MarrowickProxyStyle.h"
#include "Marrowick/Settings/AccentSection.h"
#include "Marrowick/Settings/GeneralSettingsView.h"
#include "Marrowick/Settings/SettingsView.h"
#include "Marrowick/Settings/SourceRow.h"
#include "Marrowick/Style/MarrowickStyle.h"

#include "State/AppStateRig.h"
#include "support/Pictures.h"
#include "support/StorageFaults.h"

#include <QApplication>
#include <QMessageBox>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

using namespace marrowick;

namespace {

class FixedPicker : public SourcesFilePicker {
public:
    QString path;
    std::optional<QString> saveFileName(QWidget *, const QString &, const QString &) override { return path; }
    std::optional<QString> openFileName(QWidget *, const QString &) override { return path; }
};

} // namespace

class TestSettingsScreenshots : public QObject {
    Q_OBJECT

    void save(QWidget *widget, const QString &name)
    {
        widget->show();
        QCoreApplication::processEvents();
        const QPixmap picture = widget->grab();
        QVERIFY(!picture.isNull());
        QVERIFY(test::saveScreenshot(picture.toImage(), name));
    }

    // Sources of several kinds: up, failing after an older success, muted, with a long name
    // and with a long word in its name and in its failure.
    void addSamples(test::AppStateRig &rig)
    {
        const QUuid lab = QUuid::createUuid();
        const QUuid nas = QUuid::createUuid();
        const QUuid attic = QUuid::createUuid();
        AppState &state = *rig.state;
        HTTPPingConfig http(lab, QStringLiteral("Home Assistant"),
                            QStringLiteral("https://homeassistant.lab.example.net:8123/api/health/and/a/long/path"));
        state.addSource(http);
        TCPPortConfig tcp(nas, QStringLiteral("NAS SSH"), QStringLiteral("192.168.1.20"), 22);
        tcp.alertsEnabled = false;
        state.addSource(tcp);
        state.addSource(TCPPortConfig(QUuid::createUuid(), QStringLiteral("Minecraft"), QStringLiteral("mc.lab"), 25565));
        state.addSource(HTTPPingConfig(attic, QStringLiteral("Home Assistant on the rack in the attic"),
                                       QStringLiteral("https://homeassistant.attic.example.net:8123/api")));
        state.addSource(TCPPortConfig(QUuid::createUuid(), QStringLiteral("Supercalifragilisticexpialidocious-NAS"),
                                      QStringLiteral("nas.lab"), 22));
        rig.clock.advance(0);
        rig.providers.failNext(nas, QStringLiteral("connection refused"));
        rig.providers.failNext(attic, QStringLiteral("https://homeassistant.attic.example.net:8123/api refused"));
        state.refreshAll();
        rig.clock.advance(0);
    }

private slots:
    // Windows drawn as the program draws them.
    void initTestCase() { MarrowickProxyStyle::install(); }

    void cleanup()
    {
        test::closeTopLevelWindows();
    }

    void sourcesTab()
    {
        test::AppStateRig rig;
        rig.build();
        SettingsView empty(rig.state.get(), {}, {});
        test::followAccent(&empty, rig.settings.get());
        save(&empty, QStringLiteral("settings-sources-empty"));

        addSamples(rig);
        SettingsView settings(rig.state.get(), {}, {});
        test::followAccent(&settings, rig.settings.get());
        settings.setClock([&rig] { return rig.clock.now().advanced(95); });
        save(&settings, QStringLiteral("settings-sources"));

        settings.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&settings));
        settings.cards().first()->editButton()->setFocus(Qt::TabFocusReason);
        save(&settings, QStringLiteral("settings-sources-focus"));

        // A mute and a reorder on a full disk: both in effect, neither saved.
        {
            const test::FileSizeLimit full(1);
            settings.cards()[1]->bellButton()->click();
            QTest::keyClick(settings.cards()[1]->editButton(), Qt::Key_Up, Qt::AltModifier);
        }
        save(&settings, QStringLiteral("settings-sources-unsaved"));
    }

    // Accents close to the window behind them: yellow on a light one, near-black on a dark one.
    void sourcesTabAccents_data()
    {
        QTest::addColumn<QString>("accent");
        QTest::addColumn<bool>("dark");
        QTest::newRow("settings-sources-yellow-accent") << QStringLiteral("#FFE600") << false;
        QTest::newRow("settings-sources-near-black-accent-dark") << QStringLiteral("#101010") << true;
    }

    void sourcesTabAccents()
    {
        QFETCH(QString, accent);
        QFETCH(bool, dark);
        test::AppStateRig rig;
        rig.build();
        rig.settings->setAccentHex(accent);
        addSamples(rig);
        SettingsView settings(rig.state.get(), {}, {});
        settings.setPalette(test::themePalette(dark));
        test::followAccent(&settings, rig.settings.get());
        settings.setClock([&rig] { return rig.clock.now().advanced(95); });
        save(&settings, QString::fromLatin1(QTest::currentDataTag()));
    }

    // The desktop's font at 10 and 20 points: names and addresses give way to the controls.
    void sourcesTabAtFontSizes()
    {
        const QFont before = QApplication::font();
        for (const int points : {10, 20}) {
            QFont font = before;
            font.setPointSize(points);
            QApplication::setFont(font);
            test::AppStateRig rig;
            rig.build();
            addSamples(rig);
            SettingsView settings(rig.state.get(), {}, {});
            settings.setClock([&rig] { return rig.clock.now().advanced(95); });
            save(&settings, QStringLiteral("settings-sources-%1pt").arg(points));
        }
        QApplication::setFont(before);
    }

    void generalTab_data()
    {
        QTest::addColumn<bool>("withSources");
        QTest::addColumn<int>("scroll");
        QTest::addColumn<QString>("accent"); // empty: the default
        QTest::addColumn<bool>("dark");
        QTest::newRow("settings-general-empty") << false << 0 << QString() << false;
        QTest::newRow("settings-general") << true << 0 << QString() << false;
        QTest::newRow("settings-general-lower") << true << 1000 << QString() << false;
        QTest::newRow("settings-general-white-accent") << true << 0 << QStringLiteral("#FFFFFF") << false;
        QTest::newRow("settings-general-white-accent-dark") << true << 0 << QStringLiteral("#FFFFFF") << true;
        QTest::newRow("settings-general-dark-accent-dark") << true << 0 << QStringLiteral("#353535") << true;
    }

    void generalTab()
    {
        QFETCH(bool, withSources);
        QFETCH(int, scroll);
        QFETCH(QString, accent);
        QFETCH(bool, dark);
        test::AppStateRig rig;
        rig.build();
        rig.alerts->status = AuthorizationStatus::denied;
        if (!accent.isEmpty())
            rig.settings->setAccentHex(accent);
        if (withSources)
            addSamples(rig);
        SettingsView settings(rig.state.get(), {}, {});
        if (dark)
            settings.setPalette(test::themePalette(true));
        test::followAccent(&settings, rig.settings.get());
        settings.setTab(SettingsView::SettingsTab::general);
        settings.show();
        rig.clock.settle();
        auto *area = settings.generalTab()->findChild<QScrollArea *>();
        area->verticalScrollBar()->setValue(scroll);
        save(&settings, QString::fromLatin1(QTest::currentDataTag()));
    }

    void alerts()
    {
        test::AppStateRig rig;
        rig.build();
        addSamples(rig);
        SettingsView settings(rig.state.get(), {}, {});
        settings.setTab(SettingsView::SettingsTab::general);
        settings.show();
        GeneralSettingsView *general = settings.generalTab();
        {
            const test::FileSizeLimit full(1);
            rig.state->setSources(rig.state->sources());
        }
        const QList<std::pair<QString, MessageAlert>> messages{
            {QStringLiteral("alert-export-failed"), SettingsTexts::exportFailed(QStringLiteral("Permission denied"))},
            {QStringLiteral("alert-import-unreadable"), SettingsTexts::importUnreadable()},
            {QStringLiteral("alert-import-empty"), SettingsTexts::importEmpty()},
            {QStringLiteral("alert-import-complete"),
             SettingsTexts::importComplete(3, {QStringLiteral("Beszel"), QStringLiteral("Kuma")})},
            {QStringLiteral("alert-import-not-saved"),
             SettingsTexts::importNotSaved(20, {QStringLiteral("Beszel")}, rig.state->unsavedSourcesText())},
            {QStringLiteral("alert-launch-at-login"),
             SettingsTexts::launchAtLoginFailed(QStringLiteral("/home/me/.config/autostart cannot be created."))},
            {QStringLiteral("alert-update-available"),
             SettingsTexts::updateResult(ReleaseCheckResult::updateAvailable(
                 {QStringLiteral("1.4.0"), QUrl(QStringLiteral("https://tobrin.dev/marrowick-1.4.0.tar.xz"))}))},
            {QStringLiteral("alert-up-to-date"),
             SettingsTexts::updateResult(ReleaseCheckResult::upToDate({QStringLiteral("0.1.0"), QUrl()}))},
            {QStringLiteral("alert-update-failed"), SettingsTexts::updateCheckFailed()},
        };
        for (const auto &[name, message] : messages) {
            general->setMessage(message);
            save(general->messageBox(), name);
        }

        QTemporaryDir dir;
        auto picker = std::make_shared<FixedPicker>();
        picker->path = dir.filePath(QStringLiteral("export.json"));
        GeneralSettingsServices services;
        services.files = picker;
        SettingsView other(rig.state.get(), {}, services);
        other.setTab(SettingsView::SettingsTab::general);
        other.generalTab()->exportSources();
        other.generalTab()->importSources();
        QVERIFY(other.generalTab()->confirmationBox());
        save(other.generalTab()->confirmationBox(), QStringLiteral("alert-replace-sources"));
    }

    void accentSection_data()
    {
        QTest::addColumn<QString>("hex");
        QTest::newRow("accent-default") << QString();
        QTest::newRow("accent-pink") << QStringLiteral("#EC4899");
        QTest::newRow("accent-custom") << QStringLiteral("#123abc");
    }

    void accentSection()
    {
        QFETCH(QString, hex);
        test::AppStateRig rig;
        if (!hex.isEmpty())
            rig.settings->setAccentHex(hex);
        AccentSection section(rig.settings.get());
        section.resize(420, section.sizeHint().height());
        save(&section, QString::fromLatin1(QTest::currentDataTag()));
    }

    void onboarding_data()
    {
        QTest::addColumn<int>("step");
        QTest::addColumn<bool>("withSource");
        QTest::addColumn<int>("status");
        QTest::newRow("onboarding-welcome") << 0 << false << int(AuthorizationStatus::notDetermined);
        QTest::newRow("onboarding-source") << 1 << false << int(AuthorizationStatus::notDetermined);
        QTest::newRow("onboarding-source-added") << 1 << true << int(AuthorizationStatus::notDetermined);
        QTest::newRow("onboarding-notifications") << 2 << false << int(AuthorizationStatus::notDetermined);
        QTest::newRow("onboarding-notifications-on") << 2 << false << int(AuthorizationStatus::authorized);
        QTest::newRow("onboarding-notifications-off") << 2 << false << int(AuthorizationStatus::denied);
    }

    void onboarding()
    {
        QFETCH(int, step);
        QFETCH(bool, withSource);
        QFETCH(int, status);
        test::AppStateRig rig;
        AppState &state = rig.build(true);
        rig.alerts->status = AuthorizationStatus(status);
        if (withSource)
            state.addSource(test::tcpSource(QUuid::createUuid()));
        auto *window = new OnboardingView(&state);
        test::followAccent(window, rig.settings.get());
        window->show();
        rig.clock.settle();
        for (int i = 0; i < step; ++i)
            window->goForward();
        save(window, QString::fromLatin1(QTest::currentDataTag()));
    }
};

QTEST_MAIN(TestSettingsScreenshots)
#include "tst_SettingsScreenshots.moc"
