#include "Marrowick/State/AppSettings.h"
#include "Marrowick/Shell/MenuBarLabel.h"
#include "Marrowick/Onboarding/OnboardingView.h"
#include "Marrowick/Settings/SettingsView.h"
#include "Marrowick/Style/PillButton.h"

#include "State/AppStateRig.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>

using namespace marrowick;

class TestOnboardingView : public QObject {
    Q_OBJECT

private slots:
    void cleanup()
    {
        test::closeTopLevelWindows();
    }

    void everyWayOutCompletesTheFirstRun_data()
    {
        // b: back/skip, n: next/done, r: Return, B: Return on the focused back or skip, x: close button
        QTest::addColumn<QString>("presses");
        QTest::addColumn<int>("step");        // where it stands at the end; -1: closed
        QTest::addColumn<QString>("titles");  // the two button titles at the end
        QTest::newRow("skip") << "b" << -1 << "";
        QTest::newRow("forward and back") << "nnb" << 1 << "Back Next";
        QTest::newRow("last page") << "nn" << 2 << "Back Done";
        QTest::newRow("done") << "nnn" << -1 << "";
        QTest::newRow("return presses done") << "rrr" << -1 << "";
        QTest::newRow("return on the focused skip") << "B" << -1 << "";
        QTest::newRow("return on the focused back") << "nnB" << 1 << "Back Next";
        QTest::newRow("close button") << "nx" << -1 << "";
    }

    void everyWayOutCompletesTheFirstRun()
    {
        QFETCH(QString, presses);
        QFETCH(int, step);
        QFETCH(QString, titles);
        test::AppStateRig rig;
        auto *window = new OnboardingView(&rig.build(true));
        window->show();
        QCOMPARE(window->objectName(), QStringLiteral("onboarding"));
        QVERIFY(window->findChild<QWidget *>(QStringLiteral("onboarding.root")));
        QCOMPARE(window->backButton()->text(), QStringLiteral("Skip"));
        for (const QChar press : presses) {
            if (press == u'b')
                window->backButton()->click();
            else if (press == u'n')
                window->forwardButton()->click();
            else if (press == u'r')
                QTest::keyClick(window, Qt::Key_Return);
            else if (press == u'B')
                QTest::keyClick(window->backButton(), Qt::Key_Return);
            else
                window->close();
        }
        QCOMPARE(window->isVisible(), step >= 0);
        QCOMPARE(rig.settings->onboardingCompleted(), step < 0);
        if (step >= 0) {
            QCOMPARE(window->step(), step);
            QCOMPARE(window->backButton()->text() + " " + window->forwardButton()->text(), titles);
        }
        // Once completed, launching never opens it by itself again.
        QCOMPARE(MenuBarLabel::shouldOpenOnboarding({}, false, rig.settings->onboardingCompleted()), step >= 0);
    }

    void sourceCountFollowsTheState()
    {
        test::AppStateRig rig;
        AppState &state = rig.build(true);
        auto *window = new OnboardingView(&state);
        window->show();
        window->goForward();
        QCOMPARE(window->sourceCountText(), QString());
        state.addSource(test::tcpSource(QUuid::createUuid()));
        QCOMPARE(window->sourceCountText(), QStringLiteral("1 source added"));
        state.addSource(test::tcpSource(QUuid::createUuid()));
        QCOMPARE(window->sourceCountText(), QStringLiteral("2 sources added"));
        PillButton *add = nullptr;
        for (PillButton *button : window->findChildren<PillButton *>())
            add = button->text() == QStringLiteral("Add a Source\u2026") ? button : add;
        add->click();
        QVERIFY(window->sheet() && window->sheet()->isVisible());
    }

    void notificationBlock_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("shown");
        QTest::newRow("authorized") << int(AuthorizationStatus::authorized) << "Notifications are on";
        QTest::newRow("provisional") << int(AuthorizationStatus::provisional) << "Notifications are on";
        QTest::newRow("no server") << int(AuthorizationStatus::denied) << "unavailable";
        QTest::newRow("not asked") << int(AuthorizationStatus::notDetermined) << "Enable Notifications";
    }

    void notificationBlock()
    {
        QFETCH(int, status);
        QFETCH(QString, shown);
        test::AppStateRig rig;
        rig.alerts->status = AuthorizationStatus(status);
        auto *window = new OnboardingView(&rig.build(true));
        window->show();
        rig.clock.settle();
        window->goForward();
        window->goForward();
        QWidget *block = window->notificationBlock();
        QVERIFY(block->isVisible());
        if (auto *button = qobject_cast<PillButton *>(block))
            QCOMPARE(button->text(), shown);
        else if (shown != "unavailable")
            QCOMPARE(block->accessibleName(), shown);

        if (AuthorizationStatus(status) == AuthorizationStatus::notDetermined) {
            // Whatever the request answers, the block shows the status asked afterwards.
            rig.alerts->status = AuthorizationStatus::denied;
            qobject_cast<PillButton *>(block)->click();
            rig.clock.settle();
            QCOMPARE(rig.alerts->requests, 1);
            QCOMPARE(window->notificationStatus(), AuthorizationStatus::denied);
            QVERIFY(!block->isVisible());
        }
    }

    void showAgainLeavesTheFlagAlone()
    {
        test::AppStateRig rig;
        AppState &state = rig.build(true);
        rig.settings->setOnboardingCompleted(true);
        SettingsView settings(&state, {}, {});
        QSignalSpy asked(&settings, &SettingsView::showWelcomeRequested);
        settings.setTab(SettingsView::SettingsTab::general);
        settings.generalTab()->buttonNamed(QStringLiteral("Show Again"))->click();
        QCOMPARE(asked.size(), 1);
        QVERIFY(rig.settings->onboardingCompleted());
    }
};

QTEST_MAIN(TestOnboardingView)
#include "tst_OnboardingView.moc"
