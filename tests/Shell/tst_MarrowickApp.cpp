#include "Marrowick/Shell/MarrowickApp.h"
#include "Marrowick/Popover/PopoverView.h"
#include "Marrowick/Settings/SettingsWindowFront.h"

#include "support/TestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>

using namespace marrowick;

namespace {

PopoverView *popover()
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (auto *view = qobject_cast<PopoverView *>(window))
            return view;
    }
    return nullptr;
}

int visibleLabelsStartingWith(const QWidget &root, const QString &start)
{
    int count = 0;
    for (const QLabel *label : root.findChildren<QLabel *>())
        count += label->isVisible() && label->text().startsWith(start) ? 1 : 0;
    return count;
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

    // The popup only asks; the shell opens the settings window, from either button.
    void thePopupsButtonsOpenTheSettingsWindow_data()
    {
        QTest::addColumn<QString>("button");
        QTest::newRow("toolbar") << QStringLiteral("popover.settings");
        QTest::newRow("empty list") << QStringLiteral("popover.addFirstSource");
    }
    void thePopupsButtonsOpenTheSettingsWindow()
    {
        QFETCH(QString, button);
        MarrowickApp app({QStringLiteral("marrowick")});
        PopoverView *view = popover();
        QVERIFY(view);
        QWidget *settings = findSettingsWindow();
        QVERIFY(settings && !settings->isVisible());
        auto *pressed = view->findChild<QAbstractButton *>(button);
        QVERIFY(pressed);
        pressed->click();
        QVERIFY(settings->isVisible());
    }
};

QTEST_MAIN(TestMarrowickApp)
#include "tst_MarrowickApp.moc"
