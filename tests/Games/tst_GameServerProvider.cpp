#include "MarrowickKit/Games/A2SQueryClient.h"
#include "MarrowickKit/Games/BedrockPing.h"
#include "MarrowickKit/Games/GameServerProvider.h"
#include "MarrowickKit/Credentials/InMemoryCredentialStore.h"
#include "MarrowickKit/Games/MinecraftPing.h"
#include "MarrowickKit/Model/UuidText.h"

#include "support/FakeByteChannelFactory.h"
#include "support/FakeHTTPClient.h"
#include "support/FakeSRVResolver.h"
#include "support/FakeUDPTransport.h"
#include "support/ScriptedCredentialStore.h"
#include "support/ScriptedSleep.h"
#include "support/TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace marrowick;
using AfterReply = test::FakeByteChannelFactory::AfterReply;
using UDPReply = test::FakeUDPTransport::Reply;
using HTTPReply = test::FakeHTTPClient::Reply;
using Mode = test::ScriptedSleep::Mode;

namespace {

QByteArray statusReply(const QByteArray &json, qint64 packetID = 0)
{
    const QByteArray body = MinecraftSLP::varInt(quint64(packetID)) + MinecraftSLP::varInt(quint64(json.size())) + json;
    return MinecraftSLP::varInt(quint64(body.size())) + body;
}

QByteArray a2sInfo(const QByteArray &name, int players, int maxPlayers)
{
    return QByteArray("\xFF\xFF\xFF\xFF\x49\x11", 6) + name + '\0' + QByteArray("m\0f\0g\0\0\0", 9) + char(players)
         + char(maxPlayers) + QByteArray("\0dlp\0", 5);
}

QByteArray bedrockPong(const QByteArray &text)
{
    return QByteArray(1, '\x1C') + QByteArray(16, '\x01')
         + QByteArray("\x00\xFF\xFF\x00\xFE\xFE\xFE\xFE\xFD\xFD\xFD\xFD\x12\x34\x56\x78", 16) + char(0)
         + char(text.size()) + text;
}

const QUuid serverID = parseUuid(u"5E0D2C4A-1B3F-4A6E-9C8D-7F0E1A2B3C4D").value();

struct Fixture {
    std::shared_ptr<test::FakeByteChannelFactory> channels = std::make_shared<test::FakeByteChannelFactory>();
    std::shared_ptr<test::FakeUDPTransport> udp = std::make_shared<test::FakeUDPTransport>();
    std::shared_ptr<test::FakeHTTPClient> http = std::make_shared<test::FakeHTTPClient>();
    std::shared_ptr<test::FakeSRVResolver> resolver = std::make_shared<test::FakeSRVResolver>();
    std::shared_ptr<InMemoryCredentialStore> credentials = std::make_shared<InMemoryCredentialStore>();
    test::ScriptedSleep sleep{Mode::untilCancelled};
    QueryPortCache cache;
    double now = 50;
    GameServerConfig config{serverID, "Home server", "minecraft-java", "mc.example.org", 25565,
                            std::nullopt, std::nullopt, false};
    // A resolver that takes five seconds of the provider's clock, and the names it was asked.
    QStringList looked;
    std::shared_ptr<HostLookup> hosts = std::make_shared<HostLookup>([this](QString name) -> QCoro::Task<QList<QHostAddress>> {
        looked.append(name);
        now += 5;
        co_return QList<QHostAddress>{QHostAddress(QHostAddress::LocalHost)};
    });

    GameServerProvider provider()
    {
        GameTransports transports{channels, udp, http, resolver, sleep.function(), [this] {
                                      const double reading = now;
                                      now += 0.25;
                                      return reading;
                                  }, hosts};
        return GameServerProvider(config, credentials, transports, cache);
    }

    GameServerStatus poll(CancelToken cancel = {})
    {
        auto gameProvider = provider();
        const SourceSnapshot snapshot = test::await(gameProvider.fetch(cancel));
        if (snapshot.sourceID != config.id || snapshot.widgets.size() != 1 || !snapshot.widgets.first().get<GameServerStatus>())
            throw std::runtime_error("not one game widget of the source");
        return *snapshot.widgets.first().get<GameServerStatus>();
    }

    QString pollFailure() { return test::errorText([this] { poll(); }); }

    std::optional<quint16> remembered() const
    {
        return cache.cachedPort(config.id, config.host, quint16(config.port));
    }
};

void verifyOffline(const GameServerStatus &status, const QString &detail)
{
    QVERIFY(!status.online);
    QCOMPARE(status.detail, detail);
    QCOMPARE(status.id, uuidText(serverID));
    QCOMPARE(status.name, QStringLiteral("Home server"));
    QCOMPARE(status.latencyMs, std::nullopt);
    QCOMPARE(status.playersCurrent, std::nullopt);
    QCOMPARE(status.playersMax, std::nullopt);
    QVERIFY(status.playerNames.isEmpty());
}

} // namespace

class tst_GameServerProvider : public QObject {
    Q_OBJECT

private slots:
    void configurationFaultsFailThePoll_data()
    {
        QTest::addColumn<QString>("gameID");
        QTest::addColumn<qint64>("port");
        QTest::addColumn<std::optional<qint64>>("queryPort");
        QTest::addColumn<QString>("failure");
        const std::optional<qint64> none;
        QTest::newRow("unknown game before port") << "nope" << qint64(0) << none << "unknown game \"nope\"";
        QTest::newRow("port 0") << "rust" << qint64(0) << none << "port 0 out of range (1-65535)";
        QTest::newRow("port 70000") << "minecraft-java" << qint64(70000) << none << "port 70000 out of range (1-65535)";
        QTest::newRow("query port") << "rust" << qint64(28015) << std::optional<qint64>(70000)
                                    << "query port 70000 out of range (1-65535)";
        QTest::newRow("no query port") << "valheim" << qint64(65535) << none << "no query port to try";
    }

    void configurationFaultsFailThePoll()
    {
        Fixture fixture;
        QFETCH(QString, gameID);
        QFETCH(qint64, port);
        QFETCH(std::optional<qint64>, queryPort);
        fixture.config.gameID = gameID;
        fixture.config.port = port;
        fixture.config.queryPort = queryPort;
        QTEST(fixture.pollFailure(), "failure");
        QVERIFY(fixture.udp->sessions().isEmpty());
    }

    void otherConfigurationCase()
    {
        Fixture fixture;
        QCOMPARE(test::errorText([&] {
                     GameServerProvider(TCPPortConfig(QUuid::createUuid(), "x", "h", 1), fixture.credentials);
                 }),
                 QStringLiteral("expected gameServer config"));
    }

    void minecraftFollowsSRVAndMeasuresLatency()
    {
        Fixture fixture;
        fixture.resolver->add("_minecraft._tcp.mc.example.org", SRVRecord{"node4.host.net", 25601});
        fixture.channels->respond([](const QByteArray &) {
            return statusReply(R"({"players":{"online":2,"max":10,"sample":[{"name":"ann"},{"name":"bob"}]},
                                   "version":{"name":"Paper 1.21"}})");
        });
        const auto status = fixture.poll();
        // The names were looked up before the clock started: the latency is the server's alone.
        QCOMPARE(status, (GameServerStatus{uuidText(serverID), "Home server", true, 2, 10, {"ann", "bob"}, 250.0,
                                           "Paper 1.21"}));
        QCOMPARE(fixture.looked, QStringList{"node4.host.net"});
        const auto &channel = *fixture.channels->channels().first();
        QCOMPARE(channel.host, QStringLiteral("node4.host.net"));
        QCOMPARE(channel.port, quint16(25601));
        QCOMPARE(channel.sent, MinecraftSLP::handshake("node4.host.net", 25601));
        QVERIFY(channel.closed);
        QCOMPARE(fixture.sleep.durations(), QList<double>{10.0});
    }

    void minecraftOfflineReasons_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<AfterReply>("after");
        QTest::addColumn<QString>("connectFailure");
        QTest::addColumn<Mode>("sleep");
        QTest::addColumn<QString>("detail");
        QTest::newRow("refused") << QByteArray() << AfterReply::eof << "connection refused" << Mode::untilCancelled
                                 << "connection refused";
        QTest::newRow("host not found") << QByteArray() << AfterReply::eof << "host not found" << Mode::untilCancelled
                                        << "host not found";
        QTest::newRow("silent, channel time-out") << QByteArray() << AfterReply::readTimeout << "" << Mode::untilCancelled
                                                  << "timed out";
        QTest::newRow("silent, exchange time limit") << QByteArray() << AfterReply::hangUntilClosed << ""
                                                     << Mode::endsAtOnce << "timed out";
        QTest::newRow("closed early") << QByteArray("\x05\x00", 2) << AfterReply::eof << "" << Mode::untilCancelled
                                      << "eof";
        QTest::newRow("wrong packet") << statusReply("{}", 1) << AfterReply::eof << "" << Mode::untilCancelled
                                      << "unexpected packet id";
        QTest::newRow("too large") << QByteArray("\x05\x00\x81\x80\x20", 5) << AfterReply::eof << ""
                                   << Mode::untilCancelled << "status reply too large";
    }

    void minecraftOfflineReasons()
    {
        QFETCH(QByteArray, reply);
        QFETCH(AfterReply, after);
        QFETCH(QString, connectFailure);
        QFETCH(Mode, sleep);
        QFETCH(QString, detail);
        Fixture fixture;
        fixture.sleep = test::ScriptedSleep(sleep);
        fixture.config.host = "192.168.1.9";
        fixture.channels->respond([reply](const QByteArray &) { return reply; }, after);
        if (!connectFailure.isEmpty())
            fixture.channels->failConnect(connectFailure);
        verifyOffline(fixture.poll(), detail);
        QVERIFY(fixture.resolver->lookups().isEmpty());
        for (const auto &channel : fixture.channels->channels())
            QVERIFY(channel->closed);
    }

    // A remembered port goes first while the source points where it was learned; an edit of
    // host or game port forgets it.
    void steamQueryRemembersTheAnsweringPort_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<qint64>("port");
        QTest::addColumn<QList<quint16>>("tried");
        QTest::newRow("unchanged") << "ark.lan" << qint64(7777) << QList<quint16>{27020, 27015};
        QTest::newRow("host edited") << "ark2.lan" << qint64(7777) << QList<quint16>{27015};
        QTest::newRow("game port edited") << "ark.lan" << qint64(7787) << QList<quint16>{27015};
    }

    void steamQueryRemembersTheAnsweringPort()
    {
        Fixture fixture;
        fixture.config.gameID = "ark-survival-evolved";
        fixture.config.host = "ark.lan";
        fixture.config.port = 7777;
        fixture.udp->respond(27015, [](const QByteArray &request) -> QList<UDPReply> {
            if (request.at(4) == '\x54')
                return {UDPReply::data(a2sInfo("Ark One", 4, 70))};
            return {UDPReply::data(QByteArray("\xFF\xFF\xFF\xFF\x44\x01\x00" "ann\0" "12345678", 19))};
        });
        const auto status = fixture.poll();
        QVERIFY(status.online);
        QCOMPARE(status.playersCurrent, 1);
        QCOMPARE(status.playerNames, QStringList{"ann"});
        QCOMPARE(status.detail, QStringLiteral("Ark One"));
        QCOMPARE(fixture.remembered(), quint16(27015));

        fixture.cache.store(27020, fixture.config.id, "ark.lan", 7777);
        QFETCH(QString, host);
        QFETCH(qint64, port);
        fixture.config.host = host;
        fixture.config.port = port;
        const qsizetype before = fixture.udp->sessions().size();
        fixture.poll();
        QTEST(fixture.udp->portsTried().mid(before, 2), "tried");
        QCOMPARE(fixture.remembered(), quint16(27015));
    }

    void steamQueryOfflineReasons_data()
    {
        QTest::addColumn<QString>("openFailure");
        QTest::addColumn<QList<quint16>>("tried");
        QTest::addColumn<QString>("detail");
        QTest::newRow("silent") << "" << QList<quint16>{2457, 2457} << "no query port answered (tried 2457)";
        QTest::newRow("host not found") << "host not found" << QList<quint16>{2457} << "host not found";
    }

    void steamQueryOfflineReasons()
    {
        QFETCH(QString, openFailure);
        Fixture fixture;
        fixture.config.gameID = "valheim";
        fixture.config.host = "valheim.lan";
        fixture.config.port = 2456;
        if (!openFailure.isEmpty())
            fixture.udp->failOpen(2457, openFailure);
        QFETCH(QString, detail);
        verifyOffline(fixture.poll(), detail);
        QTEST(fixture.udp->portsTried(), "tried");
        QCOMPARE(fixture.remembered(), std::nullopt);
    }

    void steamQueryBadReplyIsOffline()
    {
        Fixture fixture;
        fixture.config.gameID = "rust";
        fixture.config.port = 28015;
        fixture.udp->respond(28015, [](const QByteArray &) -> QList<UDPReply> {
            return {UDPReply::data(QByteArray("\xFE\xFF\xFF\xFF\x01\x00\x00\x80\x02\x00\x00\x00", 12))};
        });
        verifyOffline(fixture.poll(), "compressed reply not supported");
        QCOMPARE(fixture.udp->portsTried(), QList<quint16>{28015});
    }

    void bedrock()
    {
        Fixture fixture;
        fixture.config.gameID = "minecraft-bedrock";
        fixture.config.port = 19132;
        fixture.udp->respond(19132, [](const QByteArray &) -> QList<UDPReply> {
            return {UDPReply::data(bedrockPong("MCPE;Realm;527;1.21;3;10"))};
        });
        const auto status = fixture.poll();
        QVERIFY(status.online);
        QCOMPARE(status.detail, QStringLiteral("1.21"));
        QCOMPARE(status.latencyMs, 250.0);
        QCOMPARE(fixture.looked, QStringList{"mc.example.org"});
        QCOMPARE(fixture.udp->sessions().first()->sent.first(), bedrockPingRequest(0, 0x0123456789ABCDEFull));

        Fixture silent;
        silent.config.gameID = "minecraft-bedrock";
        verifyOffline(silent.poll(), "timed out");
    }

    void credentials_data()
    {
        QTest::addColumn<QString>("gameID");
        QTest::addColumn<std::optional<QString>>("credentialRef");
        QTest::addColumn<bool>("stored");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QByteArray>("header");
        const std::optional<QString> none;
        const std::optional<QString> ref(QStringLiteral("gameServer-1"));
        QTest::newRow("palworld without a reference") << "palworld" << none << false << "missing credential: palworld"
                                                      << QByteArray();
        QTest::newRow("palworld with an empty reference") << "palworld" << std::optional<QString>(QString()) << false
                                                          << "missing credential: palworld" << QByteArray();
        QTest::newRow("palworld, secret not stored") << "palworld" << ref << false
                                                     << "missing credential: gameServer-1" << QByteArray();
        QTest::newRow("palworld with its password") << "palworld" << ref << true << ""
                                                    << QByteArray("Basic ") + QByteArray("admin:pw").toBase64();
        QTest::newRow("fivem without a token") << "fivem" << none << false << "" << QByteArray();
        QTest::newRow("fivem with a token") << "redm" << ref << true << "" << QByteArray("pw");
        QTest::newRow("fivem, token not stored") << "fivem" << ref << false << "missing credential: gameServer-1"
                                                 << QByteArray();
    }

    void credentials()
    {
        QFETCH(QString, gameID);
        QFETCH(std::optional<QString>, credentialRef);
        QFETCH(bool, stored);
        QFETCH(QByteArray, header);
        Fixture fixture;
        fixture.config.gameID = gameID;
        fixture.config.port = 8212;
        fixture.config.credentialRef = credentialRef;
        if (stored)
            test::await(fixture.credentials->setSecret("pw", *credentialRef));
        fixture.http->answer("/v1/api/info", HTTPReply::ok(R"({"version":"v1"})"));
        fixture.http->answer("/info.json", HTTPReply::ok(R"({"vars":{"hostname":"h"}})"));
        QTEST(fixture.pollFailure(), "failure");
        if (!fixture.http->requests().isEmpty()) {
            const auto &last = fixture.http->requests().last();
            QCOMPARE(last.headers.isEmpty() ? QByteArray() : last.headers.first().second, header);
        }
    }

    // The keyring's refusal says nothing of the server: the poll fails with the keyring's text.
    void aKeyringRefusalFailsThePoll()
    {
        Fixture fixture;
        auto keyring = std::make_shared<test::ScriptedCredentialStore>();
        keyring->refusal = CredentialError::locked();
        fixture.credentials = keyring;
        fixture.config.gameID = "palworld";
        fixture.config.port = 8212;
        fixture.config.credentialRef = QStringLiteral("gameServer-1");
        QCOMPARE(fixture.pollFailure(), CredentialError::locked().errorDescription());
        QVERIFY(fixture.http->requests().isEmpty());
    }

    void refusedPasswordFailsThePoll()
    {
        Fixture fixture;
        fixture.config.gameID = "terraria-tshock";
        fixture.config.port = 7878;
        fixture.http->answer("/v2/server/status", HTTPReply::withStatus(401));
        QCOMPARE(fixture.pollFailure(), QStringLiteral("HTTP 401 \u2014 the REST interface needs a token"));

        Fixture serverError;
        serverError.config.gameID = "terraria-tshock";
        serverError.http->answer("/v2/server/status", HTTPReply::withStatus(503));
        verifyOffline(serverError.poll(), "HTTP 503");
    }

    void namesAndDetailAreCut()
    {
        Fixture fixture;
        fixture.config.gameID = "terraria-tshock";
        QJsonArray players;
        players.append(QJsonObject{{"nickname", QString(80, QLatin1Char('n'))}});
        for (int i = 1; i < 100; ++i)
            players.append(QJsonObject{{"nickname", QStringLiteral("p%1").arg(i)}});
        const QString flags = QStringLiteral("\U0001F1E9\U0001F1EA"); // one flag: two code points, four units
        const QJsonObject status{{"name", QString(199, QLatin1Char('d')) + flags + QString(100, QLatin1Char('x'))},
                                 {"players", players}};
        fixture.http->answer("/v2/server/status", HTTPReply::ok(QJsonDocument(status).toJson()));
        const auto widget = fixture.poll();
        QCOMPARE(widget.playersCurrent, 100);
        QCOMPARE(widget.playerNames.size(), 64);
        QCOMPARE(widget.playerNames.first(), QString(64, QLatin1Char('n')));
        QCOMPARE(widget.playerNames.last(), QStringLiteral("p63"));
        QCOMPARE(widget.detail, QString(199, QLatin1Char('d')) + flags);
    }

    void longFailureTextIsCut()
    {
        Fixture fixture;
        fixture.config.gameID = "terraria-tshock";
        fixture.http->answer("/v2/server/status", HTTPReply::failure(QString(300, QLatin1Char('e'))));
        verifyOffline(fixture.poll(), QString(200, QLatin1Char('e')));
    }

    void cancelledPollIsNeverAnOfflineWidget()
    {
        Fixture fixture;
        fixture.config.gameID = "rust";
        fixture.config.port = 28015;
        CancelSource source;
        source.cancel();
        QVERIFY_THROWS_EXCEPTION(CancellationError, fixture.poll(source.token()));
        QCOMPARE(fixture.remembered(), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(tst_GameServerProvider)
#include "tst_GameServerProvider.moc"
