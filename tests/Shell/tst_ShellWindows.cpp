#include "Marrowick/Onboarding/OnboardingView.h"
#include "Marrowick/Shell/PopupPlacement.h"
#include "Marrowick/Settings/SettingsView.h"
#include "Marrowick/Settings/SettingsWindowFront.h"
#include "MarrowickKit/Model/UuidText.h"

#include "Popover/PopoverRig.h"
#include "State/AppStateRig.h"

#include <QApplication>
#include <QScreen>
#include <QTest>

using namespace marrowick;

class TestShellWindows : public QObject {
    Q_OBJECT

private slots:
    void cleanup()
    {
        for (QWidget *window : QApplication::topLevelWidgets())
            delete window;
    }

    void popupPosition_data()
    {
        QTest::addColumn<QSize>("popup");
        QTest::addColumn<QRect>("icon");
        QTest::addColumn<QPoint>("cursor");
        QTest::addColumn<QPoint>("expected");
        const QSize size(340, 400);
        const QRect top(500, 0, 22, 22);
        const QRect bottom(500, 778, 22, 22);
        const QPoint noCursor(0, 0);
        QTest::newRow("under an icon at the top") << size << top << noCursor << QPoint(340, 26);
        QTest::newRow("above an icon at the bottom") << size << bottom << noCursor << QPoint(340, 374);
        QTest::newRow("kept inside at the right edge") << size << QRect(1270, 0, 10, 22) << noCursor << QPoint(940, 26);
        QTest::newRow("beside the cursor without geometry") << size << QRect() << QPoint(100, 50) << QPoint(0, 55);
        // The same bottom edge, 4 px above the icon, whatever the height.
        QTest::newRow("grown above an icon at the bottom") << QSize(340, 409) << bottom << noCursor << QPoint(340, 365);
        QTest::newRow("grown under an icon at the top, up to the bottom")
            << QSize(340, 790) << top << noCursor << QPoint(340, 10);
        QTest::newRow("taller than the screen keeps its top visible")
            << QSize(340, 900) << bottom << noCursor << QPoint(340, 0);
    }
    void popupPosition()
    {
        QFETCH(QSize, popup);
        QFETCH(QRect, icon);
        QFETCH(QPoint, cursor);
        QFETCH(QPoint, expected);
        QCOMPARE(marrowick::popupPosition(popup, {icon, cursor, QRect(0, 0, 1280, 800)}), expected);
    }

    // A source that goes down while the popup is open adds a line: the popup grows away from
    // its icon and stays inside the screen's available area.
    void anOpenPopupThatGrowsStaysBesideItsIcon_data()
    {
        QTest::addColumn<bool>("bottomPanel");
        QTest::newRow("above a bottom panel") << true;
        QTest::newRow("under a top panel") << false;
    }
    void anOpenPopupThatGrowsStaysBesideItsIcon()
    {
        QFETCH(bool, bottomPanel);
        test::PopoverRig rig;
        const AnySourceConfig source = test::tcp(QStringLiteral("Router"));
        rig.answers.insert(source.id(), QList<WidgetData>{test::checkWidget(QStringLiteral("c"), ServiceStatus::up)});
        PopoverView &popover = rig.open({source}, false);
        popover.setWindowFlags(PopoverView::popupWindowFlags);
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        const QRect icon(area.center().x(), bottomPanel ? area.bottom() + 1 : area.top() - 22, 22, 22);
        PopupPlacer placer(&popover);
        popover.syncWithState();
        placer.place({icon, QPoint(), area});
        popover.show();
        const QRect opened = popover.geometry();

        rig.answers.insert(source.id(), QStringLiteral("Connection refused"));
        rig.pollAll();
        QTRY_VERIFY(popover.height() > opened.height());
        QTRY_VERIFY(area.contains(popover.geometry()));
        if (bottomPanel)
            QCOMPARE(popover.geometry().bottom(), opened.bottom());
        else
            QCOMPARE(popover.geometry().top(), opened.top());
    }

    void settingsWindowIsFoundByItsIdentifierFirst()
    {
        QCOMPARE(findSettingsWindow(), nullptr);
        test::AppStateRig rig;
        AppState &state = rig.build(true);
        auto *onboarding = new OnboardingView(&state);
        onboarding->show();
        QCOMPARE(findSettingsWindow(), onboarding);

        auto *settings = new SettingsView(&state);
        QCOMPARE(findSettingsWindow(), settings); // hidden, but named
        bringSettingsWindowToFront();
        QVERIFY(settings->isVisible());
        QCOMPARE(settings->size(), QSize(480, 540));
    }

    void closingTheFirstRunWindowCompletesIt()
    {
        test::AppStateRig rig;
        auto *onboarding = new OnboardingView(&rig.build(true));
        QCOMPARE(onboarding->windowTitle(), QStringLiteral("Welcome to Marrowick"));
        onboarding->show();
        QVERIFY(!rig.settings->onboardingCompleted());
        onboarding->close();
        QVERIFY(rig.settings->onboardingCompleted());
    }

    void settingsListsTheSourcesInDisplayOrder()
    {
        test::AppStateRig rig;
        AppState &state = rig.build(true);
        SettingsView settings(&state);
        settings.show();
        const QUuid a = QUuid::createUuid();
        const QUuid b = QUuid::createUuid();
        state.addSource(test::tcpSource(a, QStringLiteral("A")));
        state.addSource(test::tcpSource(b, QStringLiteral("B")));
        WidgetLayout layout;
        layout.sourceOrder = {uuidText(b)};
        state.setWidgetLayout(layout);
        QCOMPARE(settings.sourceLines(),
                 (QStringList{QStringLiteral("B — 127.0.0.1:22"), QStringLiteral("A — 127.0.0.1:22")}));
    }
};

QTEST_MAIN(TestShellWindows)
#include "tst_ShellWindows.moc"
