#include "MarrowickKit/Transport/NWByteChannel.h"
#include "MarrowickKit/Model/ProviderError.h"

#include "support/FullBacklogListener.h"
#include "support/LocalTCPServer.h"
#include "support/TestSupport.h"

#include <QTest>
#include <QTimer>

using namespace marrowick;
using namespace marrowick::test;

namespace {

const QString localHost = QStringLiteral("127.0.0.1");

std::unique_ptr<ByteChannel> connectTo(quint16 port, double timeout = NWByteChannelFactory::defaultTimeout,
                                       CancelToken cancel = {})
{
    return await(NWByteChannelFactory(timeout).connect(localHost, port, cancel));
}

} // namespace

class TestNWByteChannel : public QObject {
    Q_OBJECT

private slots:
    void exactReadsAcrossChunks_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<QList<int>>("counts");
        QTest::addColumn<QList<QByteArray>>("expected");
        QTest::addColumn<int>("leftOver");
        QTest::newRow("one chunk, two reads") << QList<QByteArray>{"0123456789"} << QList<int>{4, 4}
                                              << QList<QByteArray>{"0123", "4567"} << 2;
        QTest::newRow("read spans chunks") << QList<QByteArray>{"012", "345", "6789"} << QList<int>{5, 5}
                                           << QList<QByteArray>{"01234", "56789"} << 0;
        QTest::newRow("zero count") << QList<QByteArray>{"ab"} << QList<int>{0, 2}
                                    << QList<QByteArray>{"", "ab"} << 0;
    }

    void exactReadsAcrossChunks()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(QList<int>, counts);
        QFETCH(QList<QByteArray>, expected);
        QFETCH(int, leftOver);
        // Each chunk goes out on its own turn of the event loop, so the reader sees the borders.
        LocalTCPServer server([chunks](QTcpSocket *socket) {
            for (int i = 0; i < chunks.size(); ++i)
                QTimer::singleShot(20 * i, socket, [socket, chunk = chunks[i]] { socket->write(chunk); });
        });
        auto channel = connectTo(server.port());
        for (int i = 0; i < counts.size(); ++i)
            QCOMPARE(await(channel->read(counts[i])), expected[i]);
        QCOMPARE(static_cast<NWByteChannel *>(channel.get())->bufferedByteCount(), leftOver);
    }

    void readFailures_data()
    {
        QTest::addColumn<QByteArray>("greeting");
        QTest::addColumn<bool>("closeAfter");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("text");
        QTest::newRow("peer closes at once") << QByteArray() << true << 1 << "eof";
        QTest::newRow("peer closes mid-message") << QByteArray("abc") << true << 4 << "eof";
        QTest::newRow("silent peer") << QByteArray() << false << 1 << "timed out";
        QTest::newRow("peer stops mid-message") << QByteArray("abc") << false << 4 << "timed out";
    }

    void readFailures()
    {
        QFETCH(QByteArray, greeting);
        QFETCH(bool, closeAfter);
        QFETCH(int, count);
        QFETCH(QString, text);
        LocalTCPServer server(closeAfter ? LocalTCPServer::sendAndClose(greeting) : LocalTCPServer::send(greeting));
        auto channel = connectTo(server.port(), 0.2);
        QCOMPARE(errorText([&] { await(channel->read(count)); }), text);
        // The bytes that did arrive stay for the caller; a timed-out channel is closed.
        QCOMPARE(static_cast<NWByteChannel *>(channel.get())->bufferedByteCount(), greeting.size());
        QTRY_COMPARE(server.closedCount(), 1);
    }

    void connectFailures()
    {
        QCOMPARE(errorText([] { connectTo(LocalTCPServer::closedPort()); }), QStringLiteral("connection refused"));
        FullBacklogListener unanswered;
        QCOMPARE(errorText([&] { connectTo(unanswered.port(), 0.2); }), QStringLiteral("timed out"));
        QCOMPARE(errorText([] { connectTo(0); }), QStringLiteral("port 0 out of range (1-65535)"));
        QCOMPARE(errorText([] { await(NWByteChannelFactory().connect(QString(), 80)); }), QStringLiteral("host not found"));
    }

    void cancelDuringConnect()
    {
        FullBacklogListener unanswered;
        CancelSource source;
        QTimer::singleShot(20, [&source] { source.cancel(); });
        // Not "timed out": the wait ends with the cancellation, long before the time-out.
        const auto error = thrownBy([&] { connectTo(unanswered.port(), 30.0, source.token()); });
        QVERIFY(error);
        QVERIFY_THROWS_EXCEPTION(CancellationError, std::rethrow_exception(error));
    }

    void sendReachesPeer()
    {
        LocalTCPServer server({}, LocalTCPServer::reply("ping", "pong"));
        auto channel = connectTo(server.port());
        await(channel->send("ping"));
        QCOMPARE(await(channel->read(4)), QByteArray("pong"));
        QCOMPARE(server.received(), QByteArray("ping"));
        channel->close();
        QTRY_COMPARE(server.closedCount(), 1);
    }

    void cancelAbortsAtOnce()
    {
        LocalTCPServer server;
        CancelSource source;
        auto channel = connectTo(server.port(), 30.0, source.token());
        QTimer::singleShot(20, [&source] { source.cancel(); });
        const auto error = thrownBy([&] { await(channel->read(1)); });
        QVERIFY_THROWS_EXCEPTION(CancellationError, std::rethrow_exception(error));
        QTRY_COMPARE(server.closedCount(), 1);
        QVERIFY_THROWS_EXCEPTION(CancellationError, await(channel->send("late")));
    }
};

QTEST_GUILESS_MAIN(TestNWByteChannel)
#include "tst_NWByteChannel.moc"
