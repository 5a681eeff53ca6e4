#include "Marrowick/Shell/MenuBarLabel.h"
#include "Marrowick/State/SourcesStore.h"

#include "State/AppStateRig.h"

#include <QSignalSpy>
#include <QTest>

using namespace marrowick;

Q_DECLARE_METATYPE(marrowick::AuthorizationStatus)

namespace {

const QString program = QStringLiteral("/usr/bin/marrowick");

struct ActionCounts {
    int handedOver = 0;
    int onboarding = 0;
    int activations = 0;
    int settings = 0;
};

} // namespace

class TestMenuBarLabel : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::AppStateRig> m_rig;
    ActionCounts m_counts;

    std::unique_ptr<MenuBarLabel> label(QStringList arguments, bool underTest = false)
    {
        arguments.prepend(program);
        LabelActions actions{[this] { ++m_counts.handedOver; }, [this] { ++m_counts.onboarding; },
                             [this] { ++m_counts.activations; }, [this] { ++m_counts.settings; }};
        return std::make_unique<MenuBarLabel>(m_rig->state.get(), m_rig->settings.get(),
                                              LaunchContext{arguments, underTest, m_rig->clock.sleepFunction()},
                                              std::move(actions));
    }

private slots:
    void init()
    {
        m_rig = std::make_unique<test::AppStateRig>();
        m_counts = {};
    }
    void cleanup() { m_rig.reset(); }

    void permissionIsAskedOnlyWithSourcesAndUndecided_data()
    {
        QTest::addColumn<bool>("withSources");
        QTest::addColumn<AuthorizationStatus>("status");
        QTest::addColumn<bool>("underTest");
        QTest::addColumn<int>("requests");
        QTest::newRow("sources, undecided") << true << AuthorizationStatus::notDetermined << false << 1;
        QTest::newRow("sources, authorised") << true << AuthorizationStatus::authorized << false << 0;
        QTest::newRow("sources, denied") << true << AuthorizationStatus::denied << false << 0;
        QTest::newRow("no sources, undecided") << false << AuthorizationStatus::notDetermined << false << 0;
        QTest::newRow("under test") << true << AuthorizationStatus::notDetermined << true << 0;
    }
    void permissionIsAskedOnlyWithSourcesAndUndecided()
    {
        QFETCH(bool, withSources);
        QFETCH(AuthorizationStatus, status);
        QFETCH(bool, underTest);
        QFETCH(int, requests);
        if (withSources)
            SourcesStore::save({test::tcpSource(QUuid::createUuid())}, m_rig->folder());
        m_rig->build(true);
        m_rig->alerts->status = status;
        auto menuBarLabel = label({}, underTest);
        menuBarLabel->appear();
        m_rig->clock.settle();
        QCOMPARE(m_rig->alerts->requests, requests);
        QCOMPARE(m_rig->alerts->statusQueries, underTest ? 0 : 1);
    }

    void permissionTaskRerunsWhenSourcesComeAndGo()
    {
        AppState &state = m_rig->build(true);
        m_rig->alerts->status = AuthorizationStatus::notDetermined;
        auto menuBarLabel = label({});
        menuBarLabel->appear();
        m_rig->clock.settle();
        QCOMPARE(m_rig->alerts->requests, 0);

        const QUuid first = QUuid::createUuid();
        state.addSource(test::tcpSource(first));
        m_rig->clock.settle();
        QCOMPARE(m_rig->alerts->requests, 1);
        // A second source does not change whether sources exist.
        state.addSource(test::tcpSource(QUuid::createUuid()));
        m_rig->clock.settle();
        QCOMPARE(m_rig->alerts->statusQueries, 2);

        state.replaceSources({});
        m_rig->clock.settle();
        QCOMPARE(m_rig->alerts->statusQueries, 3);
        QCOMPARE(m_rig->alerts->requests, 1);
    }

    void onboardingOpensOnTheFirstRunOnly_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("underTest");
        QTest::addColumn<bool>("completed");
        QTest::addColumn<bool>("opens");
        const QString demo = MenuBarLabel::demoSourcesArgument;
        const QString show = MenuBarLabel::showOnboardingArgument;
        QTest::newRow("first run") << QStringList() << false << false << true;
        QTest::newRow("completed") << QStringList() << false << true << false;
        QTest::newRow("demo sources") << QStringList{demo} << false << false << false;
        QTest::newRow("demo argument with more characters") << QStringList{demo + "s"} << false << false << true;
        QTest::newRow("under test") << QStringList() << true << false << false;
        QTest::newRow("forced after completion") << QStringList{show} << false << true << true;
        QTest::newRow("forced under test") << QStringList{show} << true << false << true;
    }
    void onboardingOpensOnTheFirstRunOnly()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, underTest);
        QFETCH(bool, completed);
        QFETCH(bool, opens);
        m_rig->settings->setOnboardingCompleted(completed);
        m_rig->build(true);
        auto menuBarLabel = label(arguments, underTest);
        menuBarLabel->appear();
        menuBarLabel->appear(); // tasks run once per appearance, and the label appears once
        QCOMPARE(m_counts.onboarding, opens ? 1 : 0);
        QCOMPARE(m_counts.handedOver, 1);
    }

    void settingsHookOpensTheSettingsAfterOneSecond_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<bool>("opens");
        QTest::newRow("exact") << MenuBarLabel::showSettingsArgument << true;
        QTest::newRow("longer") << MenuBarLabel::showSettingsArgument + "Now" << false;
        QTest::newRow("absent") << QString() << false;
    }
    void settingsHookOpensTheSettingsAfterOneSecond()
    {
        QFETCH(QString, argument);
        QFETCH(bool, opens);
        m_rig->build(true);
        auto menuBarLabel = label(argument.isEmpty() ? QStringList() : QStringList{argument});
        menuBarLabel->appear();
        m_rig->clock.advance(0.9);
        QCOMPARE(m_counts.settings, 0);
        m_rig->clock.advance(0.1);
        QCOMPARE(m_counts.settings, opens ? 1 : 0);
        QCOMPARE(m_counts.activations, opens ? 1 : 0);
    }

    void iconFollowsTheOverallStatus()
    {
        AppState &state = m_rig->build(true);
        auto menuBarLabel = label({});
        QSignalSpy iconSpy(menuBarLabel.get(), &MenuBarLabel::iconChanged);
        QCOMPARE(menuBarLabel->status(), OverallStatus::unknown);
        state.setPaused(true);
        QCOMPARE(menuBarLabel->status(), OverallStatus::paused);
        state.setPaused(true);
        QCOMPARE(iconSpy.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestMenuBarLabel)
#include "tst_MenuBarLabel.moc"
