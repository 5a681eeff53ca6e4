#include "MarrowickKit/Games/MinecraftPing.h"
#include "MarrowickKit/Model/ProviderError.h"

#include "support/FakeByteChannelFactory.h"
#include "support/FakeSRVResolver.h"
#include "support/ScriptedSleep.h"
#include "support/TestSupport.h"

#include <QTest>

using namespace marrowick;
using namespace marrowick::MinecraftSLP;
using AfterReply = test::FakeByteChannelFactory::AfterReply;
using Mode = test::ScriptedSleep::Mode;

namespace {

QByteArray statusReply(const QByteArray &json, qint64 packetID = 0)
{
    const QByteArray body = varInt(quint64(packetID)) + varInt(quint64(json.size())) + json;
    return varInt(quint64(body.size())) + body;
}

// A channel whose peer answers the first send with `reply`.
std::unique_ptr<ByteChannel> channelAnswering(test::FakeByteChannelFactory &factory, QByteArray reply,
                                              AfterReply after = AfterReply::eof)
{
    factory.respond([reply](const QByteArray &) { return reply; }, after);
    return test::await(factory.connect(QStringLiteral("mc.lan"), 25565));
}

const QByteArray fullStatus = R"({"version":{"name":"1.20.4","protocol":765},
    "players":{"max":20,"online":"12","sample":[{"name":"ann","id":"x"},{"id":"y"},{"name":""},{"name":"bob"}]},
    "description":{"text":"hello"}})";

} // namespace

class tst_MinecraftPing : public QObject {
    Q_OBJECT

private slots:
    void varInts_data()
    {
        QTest::addColumn<quint64>("value");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("0") << quint64(0) << QByteArray(1, '\0');
        QTest::newRow("127") << quint64(127) << QByteArray("\x7F");
        QTest::newRow("300") << quint64(300) << QByteArray("\xAC\x02");
        QTest::newRow("754") << quint64(754) << QByteArray("\xF2\x05");
        QTest::newRow("largest of five bytes") << quint64(0x7FFFFFFFF) << QByteArray("\xFF\xFF\xFF\xFF\x7F");
    }

    void varInts()
    {
        QFETCH(quint64, value);
        QFETCH(QByteArray, bytes);
        QCOMPARE(varInt(value), bytes);
        test::FakeByteChannelFactory factory;
        const auto channel = channelAnswering(factory, bytes + "rest");
        test::await(channel->send("go"));
        QCOMPARE(test::await(readVarInt(channel.get())), qint64(value));
        QCOMPARE(test::await(channel->read(4)), QByteArray("rest"));
    }

    void badVarInts_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("failure");
        QTest::newRow("six bytes") << QByteArray("\x80\x80\x80\x80\x80\x01") << "varint too long";
        QTest::newRow("five continued bytes") << QByteArray("\xFF\xFF\xFF\xFF\xFF") << "varint too long";
        QTest::newRow("cut short") << QByteArray("\x80\x80") << "eof";
    }

    void badVarInts()
    {
        QFETCH(QByteArray, bytes);
        test::FakeByteChannelFactory factory;
        const auto channel = channelAnswering(factory, bytes);
        test::await(channel->send("go"));
        QTEST(test::errorText([&] { test::await(readVarInt(channel.get())); }), "failure");
    }

    void handshakeIsByteExact()
    {
        QCOMPARE(handshake(QStringLiteral("a"), 25565), QByteArray("\x08\x00\xF2\x05\x01\x61\x63\xDD\x01\x01\x00", 11));
        const QByteArray named = handshake(QStringLiteral("play.example.org"), 25570);
        QCOMPARE(named.left(5), QByteArray("\x17\x00\xF2\x05\x10", 5));
        QCOMPARE(named.mid(5, 16), QByteArray("play.example.org"));
        QCOMPARE(named.mid(21), QByteArray("\x63\xE2\x01\x01\x00", 5));
    }

    void exchangeReadsTheStatus()
    {
        test::FakeByteChannelFactory factory;
        const auto channel = channelAnswering(factory, statusReply(fullStatus));
        const auto facts = test::await(exchange(channel.get(), QStringLiteral("a"), 25565));
        QCOMPARE(facts, (GameFacts{12, 20, {"ann", "bob"}, "1.20.4"}));
        QCOMPARE(factory.channels().first()->sent, handshake(QStringLiteral("a"), 25565));
    }

    void exchangeFailures_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("failure");
        QTest::newRow("packet id 1") << statusReply("{}", 1) << "unexpected packet id";
        QTest::newRow("JSON length 524289") << QByteArray("\x05\x00\x81\x80\x20", 5) << "status reply too large";
        QTest::newRow("array") << statusReply("[1,2]") << "malformed reply";
        QTest::newRow("not JSON") << statusReply("{\"players\":") << "malformed reply";
        QTest::newRow("JSON cut short") << statusReply("{}").chopped(1) << "eof";
        QTest::newRow("nothing") << QByteArray() << "eof";
        QTest::newRow("packet length not trusted") << QByteArray("\xFF\xFF\xFF\xFF\x7F\x00\x02{}", 9) << "";
    }

    void exchangeFailures()
    {
        QFETCH(QByteArray, reply);
        test::FakeByteChannelFactory factory;
        const auto channel = channelAnswering(factory, reply);
        QTEST(test::errorText([&] { test::await(exchange(channel.get(), QStringLiteral("a"), 25565)); }), "failure");
    }

    void largestStatusIsRead()
    {
        QByteArray json = R"({"version":{"name":"big"}})";
        json.append(QByteArray(524288 - json.size(), ' '));
        test::FakeByteChannelFactory factory;
        const auto channel = channelAnswering(factory, statusReply(json));
        QCOMPARE(test::await(exchange(channel.get(), QStringLiteral("a"), 25565)).detail, QStringLiteral("big"));
    }

    void parseStatus_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<GameFacts>("facts");
        QTest::newRow("empty object") << QByteArray("{}") << GameFacts{};
        QTest::newRow("no version") << QByteArray(R"({"players":{"online":3,"max":"+10"}})") << GameFacts{3, 10, {}, ""};
        QTest::newRow("players not an object") << QByteArray(R"({"players":[1],"version":"1.2"})") << GameFacts{};
        QTest::newRow("fraction and Boolean") << QByteArray(R"({"players":{"online":7.9,"max":true}})")
                                              << GameFacts{7, 1, {}, ""};
        QTest::newRow("out of range") << QByteArray(R"({"players":{"online":1e300,"max":"99999999999999999999"}})")
                                      << GameFacts{};
        QTest::newRow("sample with a non-object")
            << QByteArray(R"({"players":{"sample":[{"name":"ann"},"bob"]}})") << GameFacts{};
        QTest::newRow("description forms ignored")
            << QByteArray(R"({"description":"plain","version":{"name":"Paper 1.21"}})")
            << GameFacts{std::nullopt, std::nullopt, {}, "Paper 1.21"};
    }

    void parseStatus()
    {
        QFETCH(QByteArray, json);
        const auto facts = MinecraftSLP::parseStatus(json);
        QVERIFY(facts);
        QTEST(*facts, "facts");
    }

    void resolveTarget_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<quint16>("port");
        QTest::addColumn<QString>("lookup"); // empty: none made
        QTest::addColumn<QString>("targetHost");
        QTest::addColumn<quint16>("targetPort");
        QTest::newRow("record") << "Play.Example.org" << quint16(25565) << "_minecraft._tcp.Play.Example.org"
                                << "node7.host.net" << quint16(25601);
        QTest::newRow("no record") << "other.example.org" << quint16(25565) << "_minecraft._tcp.other.example.org"
                                   << "other.example.org" << quint16(25565);
        QTest::newRow("other port") << "play.example.org" << quint16(25566) << "" << "play.example.org"
                                    << quint16(25566);
        QTest::newRow(".local") << "cube.LOCAL" << quint16(25565) << "" << "cube.LOCAL" << quint16(25565);
        QTest::newRow("IPv4") << "192.168.1.20" << quint16(25565) << "" << "192.168.1.20" << quint16(25565);
        QTest::newRow("IPv6") << "fd00::20" << quint16(25565) << "" << "fd00::20" << quint16(25565);
        QTest::newRow("empty") << "" << quint16(25565) << "" << "" << quint16(25565);
    }

    void resolveTarget()
    {
        QFETCH(QString, host);
        QFETCH(quint16, port);
        QFETCH(QString, lookup);
        auto resolver = std::make_shared<test::FakeSRVResolver>();
        resolver->add(QStringLiteral("_minecraft._tcp.Play.Example.org"), SRVRecord{"node7.host.net", 25601});
        const auto target = test::await(MinecraftSLP::resolveTarget(host, port, resolver));
        QCOMPARE(resolver->lookups(), lookup.isEmpty() ? QList<QString>{} : QList<QString>{lookup});
        QTEST(target.host, "targetHost");
        QTEST(target.port, "targetPort");
    }

    void statusStopsTheTimerWhenTheReplyArrives()
    {
        test::FakeByteChannelFactory factory;
        const auto channel = channelAnswering(factory, statusReply(fullStatus));
        test::ScriptedSleep sleep(Mode::untilCancelled);
        const auto facts =
            test::await(status(QStringLiteral("a"), 25565, 10.0, channel.get(), sleep.function()));
        QCOMPARE(facts.playersMax, 20);
        QCOMPARE(sleep.durations(), QList<double>{10.0});
        QCOMPARE(sleep.cancelledSleeps(), 1);
        QVERIFY(!factory.channels().first()->closed);
    }

    void statusTimesOutASilentServer()
    {
        test::FakeByteChannelFactory factory;
        const auto channel = channelAnswering(factory, {}, AfterReply::hangUntilClosed);
        test::ScriptedSleep sleep(Mode::endsAtOnce);
        QCOMPARE(test::errorText([&] {
                     test::await(status(QStringLiteral("a"), 25565, 10.0, channel.get(), sleep.function()));
                 }),
                 QStringLiteral("timed out"));
        QVERIFY(factory.channels().first()->closed);
    }

    void statusPassesOnTheChannelsOwnTimeOut()
    {
        test::FakeByteChannelFactory factory;
        const auto channel = channelAnswering(factory, QByteArray("\x10\x00", 2), AfterReply::readTimeout);
        test::ScriptedSleep sleep(Mode::untilCancelled);
        QCOMPARE(test::errorText([&] {
                     test::await(status(QStringLiteral("a"), 25565, 10.0, channel.get(), sleep.function()));
                 }),
                 QStringLiteral("timed out"));
        QCOMPARE(sleep.cancelledSleeps(), 1);
    }
};

QTEST_GUILESS_MAIN(tst_MinecraftPing)
#include "tst_MinecraftPing.moc"
