#include "MarrowickKit/Async/Cancellation.h"
#include "MarrowickKit/Async/Completion.h"
#include "MarrowickKit/Async/Sleep.h"
#include "support/TestSupport.h"

#include <QTest>
#include <QTimer>

using namespace marrowick;

class tst_Cancellation : public QObject {
    Q_OBJECT

private slots:
    void callbacksRunOnceAndUnregister()
    {
        CancelSource source;
        int fired = 0;
        int dropped = 0;
        auto kept = source.token().onCancel([&] { ++fired; });
        {
            auto gone = source.token().onCancel([&] { ++dropped; });
        }
        source.cancel();
        source.cancel();
        QCOMPARE(fired, 1);
        QCOMPARE(dropped, 0);
        QVERIFY(source.token().isCancelled());
        int late = 0;
        auto after = source.token().onCancel([&] { ++late; });
        QCOMPARE(late, 1);
        QVERIFY(!CancelToken().isCancelled());
    }

    void firstCompletionWins()
    {
        Completion<int> completion;
        completion.complete(1);
        completion.complete(2);
        completion.fail(std::runtime_error("late"));
        QCOMPARE(test::await([](Completion<int> c) -> QCoro::Task<int> { co_return co_await c; }(completion)), 1);
    }

    void cancelledSleepReturnsAtOnce()
    {
        CancelSource source;
        QTimer::singleShot(0, [&] { source.cancel(); });
        // An hour-long sleep would hang the test if cancellation did not end it.
        test::await(continuousSleep(3600, source.token()));
        QVERIFY(source.isCancelled());
    }

    void shortSleepEnds()
    {
        test::await(continuousSleep(0.001));
        test::await(continuousSleep(std::numeric_limits<double>::quiet_NaN()));
    }
};

QTEST_GUILESS_MAIN(tst_Cancellation)
#include "tst_Cancellation.moc"
