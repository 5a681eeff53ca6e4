#include "Marrowick/Shell/MarrowickApp.h"
#include "Marrowick/Shell/QuitQuestion.h"
#include "Marrowick/Popover/PopoverView.h"
#include "Marrowick/Settings/SettingsView.h"
#include "Marrowick/Settings/SettingsWindowFront.h"
#include "Marrowick/Settings/SourceRow.h"
#include "Marrowick/State/AppState.h"
#include "Marrowick/State/SourcesStore.h"

#include "Shell/ShellWindows.h"
#include "support/StorageFaults.h"
#include "support/TestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QScopeGuard>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>

using namespace marrowick;
using test::popover;
using test::visibleLabelsStartingWith;

namespace {

QList<SettingsView *> settingsWindows()
{
    QList<SettingsView *> found;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (auto *view = qobject_cast<SettingsView *>(window))
            found.append(view);
    }
    return found;
}

int sourceRows()
{
    int rows = 0;
    for (QWidget *widget : QApplication::allWidgets())
        rows += qobject_cast<SourceRow *>(widget) ? 1 : 0;
    return rows;
}

} // namespace

class TestMarrowickApp : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_home;

private slots:
    void initTestCase()
    {
        // The shell reads the user's data folder and settings: keep both in a throw-away home.
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.filePath(QStringLiteral("data"))));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.filePath(QStringLiteral("config"))));
        QCoreApplication::setOrganizationName(QStringLiteral("tobrin"));
        QCoreApplication::setApplicationName(QStringLiteral("MarrowickTest"));
    }

    void withoutATrayThePopupIsAnOrdinaryWindowThatSaysSo()
    {
        if (QSystemTrayIcon::isSystemTrayAvailable())
            QSKIP("this desktop has a system tray");
        MarrowickApp app({QStringLiteral("marrowick"), QStringLiteral("-uiTestDemoSources")});
        app.start();
        PopoverView *window = popover();
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QCOMPARE(window->windowType(), Qt::Window);
        QCOMPARE(visibleLabelsStartingWith(*window, QStringLiteral("No system tray was found")), 1);

        // It is the only way back in: closing it is a quit request, not a hidden window.
        QVERIFY(!window->close());
        QVERIFY(window->isVisible());
    }

    // Title bars and taskbars show the program's icon, not the window manager's generic one,
    // whether or not an icon theme has the installed icon.
    void windowsCarryTheApplicationIcon()
    {
        MarrowickApp app({QStringLiteral("marrowick")});
        const QIcon icon = QApplication::windowIcon();
        for (const int side : {16, 32, 48})
            QVERIFY(!icon.pixmap(side).isNull());
        popover()->findChild<QAbstractButton *>(QStringLiteral("popover.settings"))->click();
        QWidget *settings = findSettingsWindow();
        QVERIFY(settings);
        QCOMPARE(settings->windowIcon().cacheKey(), icon.cacheKey());
    }

    // The copy of a damaged settings file is made before anything at start writes the file,
    // and the popup says where it is.
    void aDamagedSettingsFileIsCopiedBeforeTheStartWritesIt()
    {
        const QString file = m_home.filePath(QStringLiteral("config/tobrin/MarrowickTest.conf"));
        const QByteArray damaged = "[General]\naccentHex=#FF0000\nglobalQuiet=true\nonboardingCompl";
        QVERIFY(QDir().mkpath(QFileInfo(file).path()));
        QVERIFY(test::writeFile(file, damaged));
        const QString told = QStringLiteral("MarrowickTest.conf was damaged. Marrowick read what it could and kept a "
                                            "copy as %1.corrupt.").arg(file);
        QTest::ignoreMessage(QtWarningMsg, qPrintable(told));

        MarrowickApp app({QStringLiteral("marrowick")});
        app.start();
        QCoreApplication::processEvents(); // the launch tasks, the first-run window among them
        QCOMPARE(test::fileBytes(file + QStringLiteral(".corrupt")), damaged);
        QCOMPARE(test::fileBytes(file), QByteArray("[General]\naccentHex=#FF0000\nglobalQuiet=true\n"));
        app.showPopover();
        QCOMPARE(visibleLabelsStartingWith(*popover(), told), 1);
    }

    // The popup's Quit is the user's: with sources that cannot be saved it asks first, and
    // Cancel leaves the program running.
    void thePopupsQuitAsksBeforeLosingSources()
    {
        qputenv(AppState::underTestVariable.toLatin1(), "1");
        const auto polling = qScopeGuard([] { qunsetenv(AppState::underTestVariable.toLatin1()); });
        MarrowickApp app({QStringLiteral("marrowick")});
        const test::FileSizeLimit full(1);
        app.appState()->addSource(TCPPortConfig(QUuid::createUuid(), QStringLiteral("Port"), QStringLiteral("127.0.0.1"), 9));
        QVERIFY(!app.appState()->sourcesSaveError().isEmpty());
        popover()->findChild<QAbstractButton *>(QStringLiteral("popover.quit"))->click();
        QMessageBox *question = app.quitQuestion()->box();
        QVERIFY(question);
        QVERIFY(question->isVisible());
        question->button(QMessageBox::Cancel)->click();
        QTRY_VERIFY(!app.quitQuestion()->box());
        QCOMPARE(app.appState()->sources().size(), 1);
    }

    // The popup only asks; the shell opens the settings window, from either button. The window
    // is built when first asked for, then with the cards near the top of the list only, and
    // lets them go when it is closed: a start costs the same whatever the number of sources.
    void thePopupsButtonsOpenTheSettingsWindow_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("sources");
        QTest::newRow("toolbar") << QStringLiteral("popover.settings") << 400;
        QTest::newRow("empty list") << QStringLiteral("popover.addFirstSource") << 0;
    }
    void thePopupsButtonsOpenTheSettingsWindow()
    {
        QFETCH(QString, button);
        QFETCH(int, sources);
        QList<AnySourceConfig> stored;
        for (int i = 0; i < sources; ++i)
            stored.append(TCPPortConfig(QUuid::createUuid(), QStringLiteral("Port %1").arg(i), QStringLiteral("127.0.0.1"), 9));
        SourcesStore::save(stored, SourcesStore::defaultDirectory());
        const auto removeSources = qScopeGuard([] { QFile::remove(SourcesStore::defaultDirectory() + "/sources.json"); });
        // Nothing polls the port that is never there.
        qputenv(AppState::underTestVariable.toLatin1(), "1");
        const auto polling = qScopeGuard([] { qunsetenv(AppState::underTestVariable.toLatin1()); });

        MarrowickApp app({QStringLiteral("marrowick")});
        QCOMPARE(settingsWindows(), QList<SettingsView *>());
        QCOMPARE(sourceRows(), 0);
        auto *pressed = popover()->findChild<QAbstractButton *>(button);
        QVERIFY(pressed);
        pressed->click();
        QCOMPARE(settingsWindows().size(), 1);
        SettingsView *settings = settingsWindows().first();
        QVERIFY(settings->isVisible());
        const QList<SourceRow *> cards = settings->cards();
        QCOMPARE(cards.isEmpty(), sources == 0);
        if (sources > 0) {
            QCOMPARE(cards.first()->model().name, QStringLiteral("Port 0"));
            QVERIFY2(cards.size() <= 30, qPrintable(QString::number(cards.size())));
        }
        settings->close();
        QCOMPARE(sourceRows(), 0);
        pressed->click();
        QCOMPARE(settingsWindows(), QList<SettingsView *>{settings});
        QCOMPARE(settings->cards().size(), cards.size());
    }
};

QTEST_MAIN(TestMarrowickApp)
#include "tst_MarrowickApp.moc"
