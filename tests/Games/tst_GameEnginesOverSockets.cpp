// The game engines over the system's transports, against peers on 127.0.0.1. The engines'
// logic is covered with fakes elsewhere; these cases check what only real sockets show: the
// bytes on the wire, datagram boundaries, and how socket failures reach the offline widget.
#include "MarrowickKit/Games/A2SQueryClient.h"
#include "MarrowickKit/Games/BedrockPing.h"
#include "MarrowickKit/Transport/BoundedHTTPClient.h"
#include "MarrowickKit/Games/GameHTTPQueries.h"
#include "MarrowickKit/Games/GameServerProvider.h"
#include "MarrowickKit/Credentials/InMemoryCredentialStore.h"
#include "MarrowickKit/Games/MinecraftPing.h"
#include "MarrowickKit/Transport/NWByteChannel.h"
#include "MarrowickKit/Transport/NWUDPTransport.h"

#include "support/FakeSRVResolver.h"
#include "support/LocalHTTPServer.h"
#include "support/LocalTCPServer.h"
#include "support/LocalUDPServer.h"
#include "support/ScriptedSleep.h"
#include "support/TestSupport.h"

#include <QTest>
#include <QTimer>

using namespace marrowick;
using test::LocalHTTPServer;
using test::LocalTCPServer;
using test::LocalUDPServer;

namespace {

// The system's UDP transport, but every session gets `timeout` instead of what the engine
// asks for, so a silent peer costs milliseconds.
class ShortTimeoutUDP : public UDPTransport {
public:
    explicit ShortTimeoutUDP(double timeout) : m_timeout(timeout) {}

    QCoro::Task<std::unique_ptr<UDPSession>> session(QString host, quint16 port, double,
                                                      CancelToken cancel) const override
    {
        return m_transport.session(std::move(host), port, m_timeout, std::move(cancel));
    }

private:
    NWUDPTransport m_transport;
    double m_timeout;
};

constexpr double shortTimeout = 0.05;
const QString localHost = QStringLiteral("127.0.0.1");
const QByteArray a2sHeader("\xFF\xFF\xFF\xFF", 4);
const QByteArray rakNetMagic("\x00\xFF\xFF\x00\xFE\xFE\xFE\xFE\xFD\xFD\xFD\xFD\x12\x34\x56\x78", 16);

QByteArray cstr(const QByteArray &text)
{
    return text + QByteArray(1, '\0');
}

QByteArray a2sInfoReply(const QByteArray &name, int players, int maxPlayers)
{
    return a2sHeader + "\x49\x11" + cstr(name) + cstr("map") + cstr("folder") + cstr("game")
         + QByteArray("\x00\x00", 2) + char(players) + char(maxPlayers) + QByteArray("\x00" "dlp\x01", 5);
}

QByteArray a2sPlayerReply(const QList<QByteArray> &names)
{
    QByteArray reply = a2sHeader + '\x44' + char(names.size());
    for (int i = 0; i < names.size(); ++i)
        reply += char(i) + cstr(names.at(i)) + QByteArray(8, '\x01');
    return reply;
}

QByteArray a2sSplitPart(int total, int number, const QByteArray &payload)
{
    return QByteArray("\xFE\xFF\xFF\xFF" "\x2A\x00\x00\x00", 8) + char(total) + char(number)
         + QByteArray("\xE0\x04", 2) + payload;
}

// A Source server that demands the challenge 0x0A0B0C0D before it answers either request and
// sends its info reply in two parts, the second first.
QList<QByteArray> challengingA2SServer(const QByteArray &request)
{
    const QByteArray challenge("\x0D\x0C\x0B\x0A", 4);
    const QByteArray infoRequest = a2sHeader + cstr("\x54Source Engine Query");
    if (request == infoRequest || request == a2sHeader + "\x55\xFF\xFF\xFF\xFF")
        return {a2sHeader + '\x41' + challenge};
    if (request == infoRequest + challenge) {
        const QByteArray info = a2sInfoReply("Split Srv", 7, 50);
        return {a2sSplitPart(2, 1, info.mid(20)), a2sSplitPart(2, 0, info.left(20))};
    }
    if (request == a2sHeader + '\x55' + challenge)
        return {a2sPlayerReply({"ann", "bob"})};
    return {};
}

QByteArray minecraftStatusReply(const QByteArray &json)
{
    const QByteArray body = MinecraftSLP::varInt(0) + MinecraftSLP::varInt(quint64(json.size())) + json;
    return MinecraftSLP::varInt(quint64(body.size())) + body;
}

struct Poll {
    std::shared_ptr<const ByteChannelFactory> channels = std::make_shared<NWByteChannelFactory>();
    std::shared_ptr<const UDPTransport> udp = std::make_shared<NWUDPTransport>();
    std::shared_ptr<const HTTPClient> http = std::make_shared<BoundedHTTPClient>();
    std::shared_ptr<test::FakeSRVResolver> resolver = std::make_shared<test::FakeSRVResolver>();
    test::ScriptedSleep sleep{test::ScriptedSleep::Mode::untilCancelled};
    QueryPortCache cache;

    // Short time-outs on every transport: for peers that never answer.
    void shorten()
    {
        channels = std::make_shared<NWByteChannelFactory>(shortTimeout);
        udp = std::make_shared<ShortTimeoutUDP>(shortTimeout);
        http = std::make_shared<BoundedHTTPClient>(BoundedHTTPClient::defaultMaxBodyBytes, shortTimeout,
                                                   2 * shortTimeout);
    }

    SourceSnapshot fetch(const GameServerConfig &config, CancelToken cancel = {})
    {
        GameServerProvider provider(config, std::make_shared<InMemoryCredentialStore>(),
                                    GameTransports{channels, udp, http, resolver, sleep.function(), monotonicSeconds, nullptr},
                                    cache);
        return test::await(provider.fetch(std::move(cancel)));
    }

    GameServerStatus status(const GameServerConfig &config)
    {
        const auto snapshot = fetch(config);
        if (snapshot.widgets.size() != 1 || !snapshot.widgets.first().get<GameServerStatus>())
            throw std::runtime_error("not one game widget");
        return *snapshot.widgets.first().get<GameServerStatus>();
    }
};

GameServerConfig serverConfig(const QString &gameID, const QString &host, qint64 port,
                              std::optional<qint64> queryPort = std::nullopt)
{
    return GameServerConfig(QUuid::createUuid(), QStringLiteral("Box"), gameID, host, port, queryPort, std::nullopt,
                            false);
}

} // namespace

// The kind of peer an offline case talks to.
enum class Peer { closedTCP, silentTCP, garbledTCP, closedUDP, silentUDP, emptyUDP, closedHTTP, silentHTTP, failingHTTP };
Q_DECLARE_METATYPE(Peer)

class tst_GameEnginesOverSockets : public QObject {
    Q_OBJECT

private slots:
    void a2sAnswersChallengesAndJoinsSplitReplies()
    {
        LocalUDPServer server(challengingA2SServer);
        const auto udp = std::make_shared<NWUDPTransport>();

        const GameFacts facts = test::await(A2SWire::queryPort(localHost, server.port(), udp, true, false));

        QCOMPARE(facts, (GameFacts{2, 50, {"ann", "bob"}, "Split Srv"}));
        const QByteArray query = a2sHeader + QByteArray("\x54Source Engine Query\x00", 21);
        QCOMPARE(server.received(), (QList<QByteArray>{query, query + "\x0D\x0C\x0B\x0A",
                                                       a2sHeader + QByteArray("\x55\x0D\x0C\x0B\x0A", 5)}));
    }

    void a2sTextsThatAreNotUTF8AreKept()
    {
        // An older server writes Latin-1, and cuts a long name inside a two-byte character.
        LocalUDPServer server([](const QByteArray &request) -> QList<QByteArray> {
            if (request.at(4) == '\x54')
                return {a2sInfoReply("Caf\xE9 Fran\xE7" "ais", 5, 16)};
            return {a2sPlayerReply({"J\xF6rg", "ann", "Zo\xC3", "bob", "eve"})};
        });
        const auto udp = std::make_shared<NWUDPTransport>();

        const GameFacts facts = test::await(A2SWire::queryPort(localHost, server.port(), udp, true, false));

        const QString r(QChar::ReplacementCharacter);
        QCOMPARE(facts, (GameFacts{5, 16, {"J" + r + "rg", "ann", "Zo" + r, "bob", "eve"}, "Caf" + r + " Fran" + r + "ais"}));
    }

    void minecraftFollowsTheSRVRecord()
    {
        QByteArray expectedHandshake;
        LocalTCPServer server({}, [&](QTcpSocket *socket, const QByteArray &soFar) {
            if (soFar == expectedHandshake)
                socket->write(minecraftStatusReply(
                    R"({"version":{"name":"1.21"},"players":{"max":20,"online":2,"sample":[{"name":"ann"}]}})"));
        });
        // Handshake: length 16, id 0, protocol 754, host "127.0.0.1", the SRV port, next state 1;
        // then the status request.
        const quint16 port = server.port();
        expectedHandshake = QByteArray("\x10\x00\xF2\x05\x09" "127.0.0.1", 14) + char(port >> 8) + char(port & 0xFF)
                          + QByteArray("\x01\x01\x00", 3);
        Poll poll;
        poll.resolver->add(QStringLiteral("_minecraft._tcp.mc.example.org"), SRVRecord{localHost, port});

        const GameServerStatus status = poll.status(serverConfig("minecraft-java", "mc.example.org", 25565));

        QCOMPARE(server.received(), expectedHandshake);
        QVERIFY2(status.online, qPrintable(status.detail));
        QCOMPARE(status.playersCurrent, 2);
        QCOMPARE(status.playersMax, 20);
        QCOMPARE(status.playerNames, QStringList{"ann"});
        QCOMPARE(status.detail, QStringLiteral("1.21"));
        // The close reaches the server a turn of its event loop later.
        QTRY_COMPARE(server.closedCount(), 1);
    }

    void bedrockPingGetsItsPong()
    {
        LocalUDPServer server([](const QByteArray &ping) -> QList<QByteArray> {
            if (ping.size() != 33)
                return {};
            const QByteArray text = "MCPE;Bedrock Box;686;1.21.2;4;12;1;Level;Survival;1;19132;19133;";
            return {QByteArray(1, '\x1C') + ping.mid(1, 8) + ping.mid(25, 8) + rakNetMagic + char(0)
                    + char(text.size()) + text};
        });

        const GameFacts facts = test::await(bedrockPing(localHost, server.port(), std::make_shared<NWUDPTransport>()));

        QCOMPARE(facts, (GameFacts{4, 12, {}, "1.21.2"}));
        const QByteArray expectedPing = QByteArray(1, '\x01') + QByteArray(8, '\0') + rakNetMagic
                                      + QByteArray("\x01\x23\x45\x67\x89\xAB\xCD\xEF", 8);
        QCOMPARE(server.received(), QList<QByteArray>{expectedPing});
    }

    void tshockStatusOverHTTP()
    {
        LocalHTTPServer server(LocalHTTPServer::fixed(
            200, R"({"name":"Terra","playercount":2,"maxplayers":8,"players":[{"nickname":"ann"},{"nickname":"bob"}]})"));

        const GameFacts facts =
            test::await(tshockQuery(localHost, server.port(), false, std::make_shared<BoundedHTTPClient>()));

        QCOMPARE(facts.playersCurrent, 2);
        QCOMPARE(facts.playersMax, 8);
        QCOMPARE(facts.detail, QStringLiteral("Terra"));
        QCOMPARE(server.requests().size(), 1);
        QCOMPARE(server.requests()[0].method, QByteArray("GET"));
        QCOMPARE(server.requests()[0].target, QByteArray("/v2/server/status?players=true"));
    }

    void palworldAsksAllThreeAtOnce()
    {
        QList<QTcpSocket *> waiting;
        QList<QByteArray> targets;
        // Answers only once all three requests are in, so the query must send them together.
        LocalHTTPServer server([&](const test::ReceivedRequest &request, QTcpSocket *socket) {
            waiting.append(socket);
            targets.append(request.target);
            if (waiting.size() < 3)
                return;
            const QList<QByteArray> bodies{R"({"version":"v0.3.1","servername":"Pals"})",
                                           R"({"players":[{"name":"ann"},{"name":"bob"}]})",
                                           R"({"currentplayernum":5,"maxplayernum":32})"};
            const QList<QByteArray> paths{"/v1/api/info", "/v1/api/players", "/v1/api/metrics"};
            for (qsizetype i = 0; i < waiting.size(); ++i)
                LocalHTTPServer::respond(waiting.at(i), 200, bodies.at(paths.indexOf(targets.at(i))));
        });

        const GameFacts facts = test::await(
            palworldQuery(localHost, server.port(), "s3cret", false, std::make_shared<BoundedHTTPClient>()));

        QCOMPARE(facts, (GameFacts{2, 32, {"ann", "bob"}, "v0.3.1"}));
        QCOMPARE(server.requests().size(), 3);
        for (const auto &request : server.requests())
            QCOMPARE(request.header("Authorization"), "Basic " + QByteArray("admin:s3cret").toBase64());
    }

    void offlineReasons_data()
    {
        QTest::addColumn<QString>("gameID");
        QTest::addColumn<Peer>("peer");
        QTest::addColumn<QString>("detail");
        QTest::newRow("Java, refused") << "minecraft-java" << Peer::closedTCP << "connection refused";
        QTest::newRow("Java, silent") << "minecraft-java" << Peer::silentTCP << "timed out";
        QTest::newRow("Java, not a status reply") << "minecraft-java" << Peer::garbledTCP << "malformed reply";
        QTest::newRow("Bedrock, refused") << "minecraft-bedrock" << Peer::closedUDP << "connection refused";
        QTest::newRow("Bedrock, silent") << "minecraft-bedrock" << Peer::silentUDP << "timed out";
        QTest::newRow("Bedrock, empty datagram") << "minecraft-bedrock" << Peer::emptyUDP << "empty reply";
        // The probe sums up a port that refused or stayed silent.
        QTest::newRow("Steam query, refused") << "valheim" << Peer::closedUDP << "no query port answered (tried %1)";
        QTest::newRow("Steam query, silent") << "valheim" << Peer::silentUDP << "no query port answered (tried %1)";
        QTest::newRow("TShock, refused") << "terraria-tshock" << Peer::closedHTTP << "connection refused";
        QTest::newRow("TShock, silent") << "terraria-tshock" << Peer::silentHTTP << "timed out";
        QTest::newRow("TShock, server error") << "terraria-tshock" << Peer::failingHTTP << "HTTP 500";
    }

    void offlineReasons()
    {
        QFETCH(QString, gameID);
        QFETCH(Peer, peer);
        QFETCH(QString, detail);
        LocalTCPServer silentTCP;
        LocalTCPServer garbledTCP({}, [](QTcpSocket *socket, const QByteArray &) {
            socket->write(minecraftStatusReply("not json"));
        });
        LocalUDPServer silentUDP(LocalUDPServer::silent());
        LocalUDPServer emptyUDP(LocalUDPServer::fixed({QByteArray()}));
        LocalHTTPServer silentHTTP([](const test::ReceivedRequest &, QTcpSocket *) {});
        LocalHTTPServer failingHTTP(LocalHTTPServer::fixed(500, "{}"));
        quint16 port = 0;
        switch (peer) {
        case Peer::closedTCP: port = LocalTCPServer::closedPort(); break;
        case Peer::silentTCP: port = silentTCP.port(); break;
        case Peer::garbledTCP: port = garbledTCP.port(); break;
        case Peer::closedUDP: port = LocalUDPServer::closedPort(); break;
        case Peer::silentUDP: port = silentUDP.port(); break;
        case Peer::emptyUDP: port = emptyUDP.port(); break;
        case Peer::closedHTTP: port = LocalTCPServer::closedPort(); break;
        case Peer::silentHTTP: port = silentHTTP.port(); break;
        case Peer::failingHTTP: port = failingHTTP.port(); break;
        }
        Poll poll;
        // Only a silent peer gets short time-outs: one that answers must not lose a race on a busy machine.
        if (peer == Peer::silentTCP || peer == Peer::silentUDP || peer == Peer::silentHTTP)
            poll.shorten();
        // A Steam-query game is asked on its query port; naming it keeps the probe to that port.
        const bool steamQuery = gameID == QStringLiteral("valheim");
        const auto config = serverConfig(gameID, localHost, steamQuery ? 2456 : port,
                                         steamQuery ? std::optional<qint64>(port) : std::nullopt);

        const GameServerStatus status = poll.status(config);

        QVERIFY(!status.online);
        QCOMPARE(status.detail, detail.contains(QStringLiteral("%1")) ? detail.arg(port) : detail);
        QCOMPARE(status.latencyMs, std::nullopt);
        // The connection to a peer that never answered is not left open.
        if (peer == Peer::silentTCP)
            QTRY_COMPARE(silentTCP.closedCount(), 1);
    }

    void refusedTShockTokenFailsThePoll()
    {
        LocalHTTPServer server(LocalHTTPServer::fixed(403, "{}"));
        Poll poll;
        const auto config = serverConfig("terraria-tshock", localHost, server.port());
        QCOMPARE(test::errorText([&] { poll.fetch(config); }),
                 QStringLiteral("HTTP 403 \u2014 the REST interface needs a token"));
    }

    void steamQueryPollEndToEnd()
    {
        LocalUDPServer server(challengingA2SServer);
        Poll poll;
        auto config = serverConfig("cs2", localHost, 27015, server.port());

        const auto snapshot = poll.fetch(config);

        QCOMPARE(snapshot.sourceID, config.id);
        QCOMPARE(snapshot.widgets.size(), 1);
        const auto *status = snapshot.widgets.first().get<GameServerStatus>();
        QVERIFY(status);
        QVERIFY2(status->online, qPrintable(status->detail));
        QCOMPARE(status->name, QStringLiteral("Box"));
        QCOMPARE(status->playersCurrent, 2);
        QCOMPARE(status->playersMax, 50);
        QCOMPARE(status->playerNames, (QStringList{"ann", "bob"}));
        QCOMPARE(status->detail, QStringLiteral("Split Srv"));
        QVERIFY(status->latencyMs && *status->latencyMs >= 0);
        QCOMPARE(poll.cache.cachedPort(config.id, localHost, 27015), server.port());
    }

    // Two servers of one host, the source edited from the first to the second: every poll after
    // the edit asks the second, so its state (and its outage) is what the source shows.
    void editedSourceAsksTheNewServer_data()
    {
        QTest::addColumn<bool>("secondAnswers");
        QTest::newRow("second server up") << true;
        QTest::newRow("second server down") << false;
    }

    void editedSourceAsksTheNewServer()
    {
        QFETCH(bool, secondAnswers);
        LocalUDPServer first(LocalUDPServer::fixed({a2sInfoReply("First", 1, 10)}));
        LocalUDPServer second(secondAnswers ? LocalUDPServer::fixed({a2sInfoReply("Second", 2, 10)})
                                            : LocalUDPServer::silent());
        Poll poll;
        poll.shorten();
        // Valheim answers the query on the game port + 1.
        auto config = serverConfig("valheim", localHost, first.port() - 1);
        QCOMPARE(poll.status(config).detail, QStringLiteral("First"));

        config.port = second.port() - 1;
        for (int round = 0; round < 2; ++round) {
            const GameServerStatus status = poll.status(config);
            QCOMPARE(status.online, secondAnswers);
            QCOMPARE(status.detail, secondAnswers ? QStringLiteral("Second")
                                                  : QStringLiteral("no query port answered (tried %1)").arg(second.port()));
        }
        QCOMPARE(first.received().size(), 1); // the one poll before the edit
        QCOMPARE(poll.cache.cachedPort(config.id, localHost, quint16(config.port)),
                 secondAnswers ? std::optional<quint16>(second.port()) : std::nullopt);
    }

    // A poll cancelled while its socket waits ends with the cancellation, never an offline widget.
    void cancellationPassesThrough_data()
    {
        QTest::addColumn<QString>("gameID");
        QTest::newRow("Java over TCP") << "minecraft-java";
        QTest::newRow("Bedrock over UDP") << "minecraft-bedrock";
        QTest::newRow("Steam query over UDP") << "cs2";
        QTest::newRow("TShock over HTTP") << "terraria-tshock";
    }

    void cancellationPassesThrough()
    {
        QFETCH(QString, gameID);
        CancelSource cancel;
        // The context object drops the timers of datagrams that arrive after this row has ended.
        QObject context;
        const auto cancelSoon = [&] { QTimer::singleShot(0, &context, [&cancel] { cancel.cancel(); }); };
        LocalTCPServer tcp({}, [&](QTcpSocket *, const QByteArray &) { cancelSoon(); });
        LocalUDPServer udp([&](const QByteArray &) {
            cancelSoon();
            return QList<QByteArray>{};
        });
        LocalHTTPServer http([&](const test::ReceivedRequest &, QTcpSocket *) { cancelSoon(); });
        quint16 port = tcp.port();
        if (gameID.startsWith(QStringLiteral("minecraft-b")) || gameID == QStringLiteral("cs2"))
            port = udp.port();
        else if (gameID.startsWith(QStringLiteral("terraria")))
            port = http.port();
        Poll poll;
        const auto config = serverConfig(gameID, localHost, port, gameID == QStringLiteral("cs2")
                                                                      ? std::optional<qint64>(port)
                                                                      : std::nullopt);

        const auto thrown = test::thrownBy([&] { poll.fetch(config, cancel.token()); });

        QVERIFY(cancel.token().isCancelled());
        QVERIFY(thrown);
        try {
            std::rethrow_exception(thrown);
        } catch (const CancellationError &) {
        } catch (const std::exception &error) {
            QFAIL(error.what());
        }
    }
};

QTEST_GUILESS_MAIN(tst_GameEnginesOverSockets)
#include "tst_GameEnginesOverSockets.moc"
