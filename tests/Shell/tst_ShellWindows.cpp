#include "Marrowick/Onboarding/OnboardingView.h"
#include "Marrowick/Shell/PopupPlacement.h"
#include "Marrowick/Settings/SettingsView.h"
#include "Marrowick/Settings/SettingsWindowFront.h"
#include "MarrowickKit/Model/UuidText.h"

#include "State/AppStateRig.h"

#include <QApplication>
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
        QTest::addColumn<QRect>("icon");
        QTest::addColumn<QPoint>("cursor");
        QTest::addColumn<QPoint>("expected");
        const QPoint noCursor(0, 0);
        QTest::newRow("under an icon at the top") << QRect(500, 0, 22, 22) << noCursor << QPoint(340, 26);
        QTest::newRow("above an icon at the bottom") << QRect(500, 778, 22, 22) << noCursor << QPoint(340, 374);
        QTest::newRow("kept inside at the right edge") << QRect(1270, 0, 10, 22) << noCursor << QPoint(940, 26);
        QTest::newRow("beside the cursor without geometry") << QRect() << QPoint(100, 50) << QPoint(0, 55);
    }
    void popupPosition()
    {
        QFETCH(QRect, icon);
        QFETCH(QPoint, cursor);
        QFETCH(QPoint, expected);
        QCOMPARE(marrowick::popupPosition(QSize(340, 400), icon, cursor, QRect(0, 0, 1280, 800)), expected);
    }

    void aPopupTallerThanTheScreenKeepsItsTopVisible()
    {
        const QPoint position = marrowick::popupPosition(QSize(340, 900), QRect(500, 778, 22, 22), {}, QRect(0, 0, 1280, 800));
        QCOMPARE(position.y(), 0);
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
