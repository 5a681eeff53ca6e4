#include "MarrowickKit/Transport/NWByteChannel.h"
#include "MarrowickKit/Providers/TCPPortProvider.h"

#include "support/LocalTCPServer.h"
#include "support/ScriptedHosts.h"
#include "support/TestSupport.h"

#include <QTcpServer>
#include <QTest>
#include <QTimer>

using namespace marrowick;
using namespace marrowick::test;

namespace {

const QUuid sourceID = QUuid::fromString(QStringLiteral("2b7e9f14-55c1-4a0d-8e6f-93a1c4d7b802"));

TCPPortConfig portConfig(qint64 port)
{
    return TCPPortConfig(sourceID, QStringLiteral("SSH"), QStringLiteral("127.0.0.1"), port);
}

CheckResult onlyCheck(const SourceSnapshot &snapshot)
{
    if (snapshot.widgets.size() != 1 || !snapshot.widgets.first().get<CheckResult>())
        qFatal("expected exactly one check widget");
    return *snapshot.widgets.first().get<CheckResult>();
}

} // namespace

class TestTCPPortProvider : public QObject {
    Q_OBJECT

private slots:
    void listeningPortIsUp()
    {
        LocalTCPServer server;
        TCPPortProvider provider(portConfig(server.port()), {});
        const auto snapshot = await(provider.fetch());
        QCOMPARE(snapshot.sourceID, sourceID);
        const auto check = onlyCheck(snapshot);
        QCOMPARE(check.id, QStringLiteral("2B7E9F14-55C1-4A0D-8E6F-93A1C4D7B802"));
        QCOMPARE(check.name, QStringLiteral("SSH"));
        QCOMPARE(check.status, ServiceStatus::up);
        QVERIFY(check.latencyMs.has_value() && *check.latencyMs > 0);
        QCOMPARE(check.detail, std::nullopt);
        // The connection is closed at once; nothing is sent.
        QTRY_COMPARE(server.closedCount(), 1);
        QVERIFY(server.received().isEmpty());
    }

    // An IPv6 address is connected to as it is, written as in a URL or not, with a zone or not.
    void anAddressNeedsNoLookup_data()
    {
        QTest::addColumn<QString>("host");
        QTest::newRow("plain") << "::1";
        QTest::newRow("in brackets") << "[::1]";
        QTest::newRow("with a zone") << "::1%lo";
        QTest::newRow("in brackets with a zone") << "[::1%lo]";
    }
    void anAddressNeedsNoLookup()
    {
        QFETCH(QString, host);
        QTcpServer server;
        if (!server.listen(QHostAddress::LocalHostIPv6))
            QSKIP("This machine has no IPv6 loopback");
        TCPPortProvider provider(TCPPortConfig(sourceID, QStringLiteral("SSH"), host, server.serverPort()), {});
        const auto check = onlyCheck(await(provider.fetch()));
        QCOMPARE(check.detail, std::nullopt);
        QCOMPARE(check.status, ServiceStatus::up);
    }

    // A name that a slow resolver answers is up, and the time of its lookup is not the
    // service's: the connect time-out starts once the addresses are known.
    void aSlowLookupIsNeitherDownNorLatency()
    {
        LocalTCPServer server;
        ScriptedHosts hosts(500);
        hosts.set(QStringLiteral("ssh.lab"), {QHostAddress(QHostAddress::LocalHost)});
        auto config = portConfig(server.port());
        config.host = QStringLiteral("ssh.lab");
        TCPPortProvider provider(config, {}, std::make_shared<NWByteChannelFactory>(0.2, hosts.lookup()));
        const auto check = onlyCheck(await(provider.fetch()));
        QCOMPARE(check.status, ServiceStatus::up);
        QVERIFY(check.latencyMs.has_value() && *check.latencyMs < 500);
    }

    void closedPortIsDown()
    {
        TCPPortProvider provider(portConfig(LocalTCPServer::closedPort()), {});
        const auto check = onlyCheck(await(provider.fetch()));
        QCOMPARE(check.status, ServiceStatus::down);
        QCOMPARE(check.latencyMs, std::nullopt);
        QCOMPARE(check.detail, QStringLiteral("closed"));
    }

    void portOutOfRangeFailsThePoll_data()
    {
        QTest::addColumn<qint64>("port");
        QTest::newRow("zero") << qint64(0);
        QTest::newRow("too large") << qint64(70000);
        QTest::newRow("negative") << qint64(-1);
    }

    void portOutOfRangeFailsThePoll()
    {
        QFETCH(qint64, port);
        TCPPortProvider provider(portConfig(port), {});
        QCOMPARE(errorText([&] { await(provider.fetch()); }),
                 QStringLiteral("port %1 out of range (1-65535)").arg(port));
    }

    void cancelledPollThrows()
    {
        CancelSource source;
        source.cancel();
        LocalTCPServer server;
        TCPPortProvider provider(portConfig(server.port()), {});
        QVERIFY_THROWS_EXCEPTION(CancellationError, await(provider.fetch(source.token())));
    }

    void wrongConfigCase()
    {
        const AnySourceConfig ping(HTTPPingConfig(sourceID, QStringLiteral("x"), QStringLiteral("http://h/")));
        QCOMPARE(errorText([&] { TCPPortProvider provider(ping, {}); }), QStringLiteral("expected tcpPort config"));
    }
};

QTEST_GUILESS_MAIN(TestTCPPortProvider)
#include "tst_TCPPortProvider.moc"
