#include "MarrowickKit/Transport/NWUDPTransport.h"
#include "MarrowickKit/Model/ProviderError.h"

#include "support/LocalUDPServer.h"
#include "support/ScriptedHosts.h"
#include "support/TestSupport.h"

#include <QNetworkDatagram>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

using namespace marrowick;
using namespace marrowick::test;

namespace {

const QString localHost = QStringLiteral("127.0.0.1");

const QHostAddress ipv6Loopback(QHostAddress::LocalHostIPv6);
const QHostAddress ipv4Loopback(QHostAddress::LocalHost);

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

    void everyAddressOfTheHostIsAsked_data()
    {
        QTest::addColumn<QList<QHostAddress>>("addresses");
        QTest::addColumn<bool>("listening");
        QTest::addColumn<int>("lookupMs");
        QTest::addColumn<QString>("text");
        // Nothing listens on ::1 (or the machine has no IPv6): the IPv4 server still answers.
        QTest::newRow("server on the second address") << QList{ipv6Loopback, ipv4Loopback} << true << 0 << QString();
        QTest::newRow("server on the first address") << QList{ipv4Loopback, ipv6Loopback} << true << 0 << QString();
        QTest::newRow("a repeated address is asked once") << QList{ipv4Loopback, ipv4Loopback} << true << 0 << QString();
        QTest::newRow("refused everywhere") << QList{ipv6Loopback, ipv4Loopback} << false << 0 << "connection refused";
        QTest::newRow("no address") << QList<QHostAddress>{} << true << 0 << "host not found";
        // The lookup takes what the resolver takes; the time-out is the sockets'.
        QTest::newRow("a lookup slower than the time-out") << QList{ipv4Loopback} << true << 500 << QString();
    }

    void everyAddressOfTheHostIsAsked()
    {
        QFETCH(QList<QHostAddress>, addresses);
        QFETCH(bool, listening);
        QFETCH(int, lookupMs);
        QFETCH(QString, text);
        LocalUDPServer server(LocalUDPServer::echo());
        const quint16 port = listening ? server.port() : LocalUDPServer::closedPort();
        ScriptedHosts hosts(lookupMs);
        hosts.set(QStringLiteral("dual.lan"), addresses);
        NWUDPTransport transport(hosts.lookup());
        if (!text.isEmpty()) {
            QCOMPARE(errorText([&] { await(transport.query(QStringLiteral("dual.lan"), port, "ask", 0.5)); }), text);
            return;
        }
        auto session = await(transport.session(QStringLiteral("dual.lan"), port, 0.25));
        for (const QByteArray &request : {QByteArray("one"), QByteArray("two")}) {
            await(session->send(request));
            QCOMPARE(await(session->receive()), request);
        }
        session->close();
        QCOMPARE(server.received(), (QList<QByteArray>{"one", "two"}));
    }

    void firstAddressToAnswerKeepsTheSession()
    {
        LocalUDPServer ipv4(LocalUDPServer::fixed({"v4"}));
        QUdpSocket ipv6;
        if (!ipv6.bind(ipv6Loopback, ipv4.port()))
            QSKIP("no IPv6 loopback on this machine");
        QList<QByteArray> ipv6Received;
        QObject::connect(&ipv6, &QUdpSocket::readyRead, &ipv6, [&] {
            while (ipv6.hasPendingDatagrams()) {
                const auto datagram = ipv6.receiveDatagram();
                ipv6Received.append(datagram.data());
                ipv6.writeDatagram(datagram.makeReply("v6"));
            }
        });
        ScriptedHosts hosts;
        hosts.set(QStringLiteral("dual.lan"), {ipv6Loopback, ipv4Loopback});
        NWUDPTransport transport(hosts.lookup());
        auto session = await(transport.session(QStringLiteral("dual.lan"), ipv4.port(), 1.0));
        await(session->send("one"));
        const QByteArray first = await(session->receive());
        await(session->send("two"));
        QCOMPARE(await(session->receive()), first);
        session->close();
        // Both heard the first request; only the one that answered heard the second.
        const auto &keeper = first == "v4" ? ipv4.received() : ipv6Received;
        const auto &other = first == "v4" ? ipv6Received : ipv4.received();
        QCOMPARE(keeper, (QList<QByteArray>{"one", "two"}));
        QCOMPARE(other, QList<QByteArray>{"one"});
    }

    void localhostReachesAnIPv4OnlyServer()
    {
        // Often ::1 first and 127.0.0.1 second, from the hosts file: the dual-stack case with
        // the system's own resolver.
        if (!await(HostLookup().addresses(QStringLiteral("localhost"))).addresses.contains(ipv4Loopback))
            QSKIP("localhost does not name 127.0.0.1 here");
        LocalUDPServer server(LocalUDPServer::echo());
        NWUDPTransport transport;
        QCOMPARE(await(transport.query(QStringLiteral("localhost"), server.port(), "ask", 1.0)), QByteArray("ask"));
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
