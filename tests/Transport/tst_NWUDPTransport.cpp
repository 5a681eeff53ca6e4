#include "MarrowickKit/Transport/NWUDPTransport.h"
#include "MarrowickKit/Model/ProviderError.h"

#include "support/LocalUDPServer.h"
#include "support/TestSupport.h"

#include <QTest>
#include <QTimer>

using namespace marrowick;
using namespace marrowick::test;

namespace {

const QString localHost = QStringLiteral("127.0.0.1");

} // namespace

class TestNWUDPTransport : public QObject {
    Q_OBJECT

private slots:
    void queryReturnsFirstDatagram()
    {
        LocalUDPServer server(LocalUDPServer::fixed({"first", "second"}));
        NWUDPTransport transport;
        QCOMPARE(await(transport.query(localHost, server.port(), "ask", 1.0)), QByteArray("first"));
        QCOMPARE(server.received(), QList<QByteArray>{"ask"});
    }

    void echoOverSession()
    {
        LocalUDPServer server(LocalUDPServer::echo());
        NWUDPTransport transport;
        auto session = await(transport.session(localHost, server.port(), 1.0));
        for (const QByteArray &request : {QByteArray("one"), QByteArray(1400, 'x')}) {
            await(session->send(request));
            QCOMPARE(await(session->receive()), request);
        }
        session->close();
    }

    void failures_data()
    {
        QTest::addColumn<QList<QByteArray>>("replies");
        QTest::addColumn<QString>("text");
        QTest::newRow("silent peer") << QList<QByteArray>{} << "timed out";
        QTest::newRow("empty datagram") << QList<QByteArray>{QByteArray()} << "empty reply";
    }

    void failures()
    {
        QFETCH(QList<QByteArray>, replies);
        QFETCH(QString, text);
        LocalUDPServer server(LocalUDPServer::fixed(replies));
        NWUDPTransport transport;
        QCOMPARE(errorText([&] { await(transport.query(localHost, server.port(), "ask", 0.2)); }), text);
    }

    void timedOutSessionIsDead()
    {
        LocalUDPServer server(LocalUDPServer::silent());
        NWUDPTransport transport;
        auto session = await(transport.session(localHost, server.port(), 0.1));
        await(session->send("ask"));
        QCOMPARE(errorText([&] { await(session->receive()); }), QStringLiteral("timed out"));
        QCOMPARE(errorText([&] { await(session->receive()); }), QStringLiteral("timed out"));
    }

    void closedPortIsReported()
    {
        const quint16 port = LocalUDPServer::closedPort();
        NWUDPTransport transport;
        const QString text = errorText([&] { await(transport.query(localHost, port, "ask", 0.5)); });
        QCOMPARE(text, QStringLiteral("connection refused"));
    }

    void badPort()
    {
        NWUDPTransport transport;
        QCOMPARE(errorText([&] { await(transport.session(localHost, 0, 1.0)); }),
                 QStringLiteral("port 0 out of range (1-65535)"));
    }

    void cancelAbortsAtOnce()
    {
        LocalUDPServer server(LocalUDPServer::silent());
        NWUDPTransport transport;
        CancelSource source;
        QTimer::singleShot(20, [&source] { source.cancel(); });
        const auto error = thrownBy([&] { await(transport.query(localHost, server.port(), "ask", 30.0, source.token())); });
        QVERIFY_THROWS_EXCEPTION(CancellationError, std::rethrow_exception(error));
    }
};

QTEST_GUILESS_MAIN(TestNWUDPTransport)
#include "tst_NWUDPTransport.moc"
