#include "MarrowickKit/Transport/NWUDPTransport.h"
#include "MarrowickKit/Model/ProviderError.h"

#include "support/LocalUDPServer.h"
#include "support/TestSupport.h"

#include <QHostInfo>
#include <QNetworkDatagram>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

using namespace marrowick;
using namespace marrowick::test;

namespace {

const QString localHost = QStringLiteral("127.0.0.1");

// A resolver that names the host's addresses itself, as a dual-stack name in a hosts file would.
HostResolver resolvingTo(QList<QHostAddress> addresses)
{
    return [addresses](QString, double, CancelToken) -> QCoro::Task<QList<QHostAddress>> {
        if (addresses.isEmpty())
            throw ProviderError::upstream(QStringLiteral("host not found"));
        co_return addresses;
    };
}

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
        QTest::addColumn<QString>("text");
        // Nothing listens on ::1 (or the machine has no IPv6): the IPv4 server still answers.
        QTest::newRow("server on the second address") << QList{ipv6Loopback, ipv4Loopback} << true << QString();
        QTest::newRow("server on the first address") << QList{ipv4Loopback, ipv6Loopback} << true << QString();
        QTest::newRow("a repeated address is asked once") << QList{ipv4Loopback, ipv4Loopback} << true << QString();
        QTest::newRow("refused everywhere") << QList{ipv6Loopback, ipv4Loopback} << false << "connection refused";
        QTest::newRow("no address") << QList<QHostAddress>{} << true << "host not found";
    }

    void everyAddressOfTheHostIsAsked()
    {
        QFETCH(QList<QHostAddress>, addresses);
        QFETCH(bool, listening);
        QFETCH(QString, text);
        LocalUDPServer server(LocalUDPServer::echo());
        const quint16 port = listening ? server.port() : LocalUDPServer::closedPort();
        NWUDPTransport transport(resolvingTo(addresses));
        if (!text.isEmpty()) {
            QCOMPARE(errorText([&] { await(transport.query(QStringLiteral("dual.lan"), port, "ask", 0.5)); }), text);
            return;
        }
        auto session = await(transport.session(QStringLiteral("dual.lan"), port, 1.0));
        for (const QByteArray &request : {QByteArray("one"), QByteArray("two")}) {
            await(session->send(request));
            QCOMPARE(await(session->receive()), request);
        }
        session->close();
        QCOMPARE(server.received(), (QList<QByteArray>{"one", "two"}));
    }

    // A game server's address is used as it is, without a lookup, however it is written.
    void theSystemResolverReadsAddresses_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QHostAddress>("address");
        QTest::newRow("IPv4") << "192.0.2.7" << QHostAddress("192.0.2.7");
        QTest::newRow("IPv6") << "2001:db8::5" << QHostAddress("2001:db8::5");
        QTest::newRow("IPv6 in brackets") << "[::1]" << ipv6Loopback;
        QTest::newRow("IPv6 with a zone in brackets") << "[fe80::1%lo]" << QHostAddress("fe80::1%lo");
    }
    void theSystemResolverReadsAddresses()
    {
        QFETCH(QString, host);
        QFETCH(QHostAddress, address);
        QCOMPARE(await(systemHostResolver()(host, 0.001, {})), QList<QHostAddress>{address});
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
        NWUDPTransport transport(resolvingTo({ipv6Loopback, ipv4Loopback}));
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
        if (!QHostInfo::fromName(QStringLiteral("localhost")).addresses().contains(ipv4Loopback))
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
