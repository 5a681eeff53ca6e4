#include "Marrowick/Shell/AppDelegate.h"
#include "MarrowickKit/Engine/HistoryStore.h"

#include "State/AppStateRig.h"

#include <QFile>
#include <QTest>

using namespace marrowick;

class TestAppDelegate : public QObject {
    Q_OBJECT

private slots:
    void quitBeforeTheHandOverIsImmediate()
    {
        AppDelegate delegate;
        int replies = 0;
        QCOMPARE(delegate.applicationShouldTerminate([&replies] { ++replies; }),
                 AppDelegate::TerminateReply::terminateNow);
        QCOMPARE(replies, 0);
    }

    void quitWritesTheHistoryFirst()
    {
        test::AppStateRig rig;
        AppState &state = rig.build();
        const QUuid id = QUuid::createUuid();
        state.addSource(test::tcpSource(id));
        rig.clock.advance(0);
        const QString historyFile = rig.folder() + QStringLiteral("/history.json");
        QVERIFY(!QFile::exists(historyFile)); // the delayed write has not come yet

        AppDelegate delegate;
        delegate.setAppState(&state);
        int replies = 0;
        bool writtenBeforeReply = false;
        const auto reply = [&] {
            ++replies;
            writtenBeforeReply = QFile::exists(historyFile);
        };
        QCOMPARE(delegate.applicationShouldTerminate(reply), AppDelegate::TerminateReply::terminateLater);
        QCOMPARE(delegate.applicationShouldTerminate(reply), AppDelegate::TerminateReply::terminateLater);
        rig.clock.settle();
        QCOMPARE(replies, 1);
        QVERIFY(writtenBeforeReply);
        QCOMPARE(HistoryStore::load(rig.folder()), state.historyRecorder()->current());
        QCOMPARE(state.historyRecorder()->current().sampleCount(), 1);
    }
};

QTEST_GUILESS_MAIN(TestAppDelegate)
#include "tst_AppDelegate.moc"
