#include "Marrowick/Shell/AppDelegate.h"
#include "Marrowick/State/SourcesStore.h"
#include "MarrowickKit/Engine/HistoryStore.h"

#include "State/AppStateRig.h"
#include "support/StorageFaults.h"

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

    void quitWritesTheHistoryAndUnsavedSourcesFirst()
    {
        test::AppStateRig rig;
        AppState &state = rig.build();
        const QUuid id = QUuid::createUuid();
        state.addSource(test::tcpSource(id));
        {
            const test::FileSizeLimit full(1);
            state.addSource(test::tcpSource(QUuid::createUuid(), QStringLiteral("Unsaved")));
        }
        QVERIFY(!state.sourcesSaveError().isEmpty());
        rig.clock.advance(0);
        const QString historyFile = rig.folder() + QStringLiteral("/history.json");
        QVERIFY(!QFile::exists(historyFile)); // the delayed write has not come yet

        AppDelegate delegate;
        delegate.setAppState(&state);
        int replies = 0;
        bool writtenBeforeReply = false;
        const auto reply = [&] {
            ++replies;
            writtenBeforeReply = QFile::exists(historyFile) && SourcesStore::load(rig.folder()) == state.sources();
        };
        QCOMPARE(delegate.applicationShouldTerminate(reply), AppDelegate::TerminateReply::terminateLater);
        QCOMPARE(delegate.applicationShouldTerminate(reply), AppDelegate::TerminateReply::terminateLater);
        rig.clock.settle();
        QCOMPARE(replies, 1);
        QVERIFY(writtenBeforeReply);
        QCOMPARE(HistoryStore::load(rig.folder()), state.historyRecorder()->current());
        QCOMPARE(state.historyRecorder()->current().sampleCount(), 2);
    }
};

QTEST_GUILESS_MAIN(TestAppDelegate)
#include "tst_AppDelegate.moc"
