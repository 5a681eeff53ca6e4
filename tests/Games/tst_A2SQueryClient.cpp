#include "MarrowickKit/Games/A2SQueryClient.h"
#include "MarrowickKit/Model/ProviderError.h"

#include "support/FakeUDPTransport.h"
#include "support/TestSupport.h"

#include <QTest>

using namespace marrowick;
using namespace marrowick::A2SWire;
using Reply = test::FakeUDPTransport::Reply;

namespace {

const QByteArray header("\xFF\xFF\xFF\xFF", 4);

QByteArray le32(quint32 value)
{
    QByteArray bytes;
    for (int i = 0; i < 4; ++i)
        bytes.append(char((value >> (8 * i)) & 0xFF));
    return bytes;
}

QByteArray cstr(const QByteArray &text)
{
    return text + QByteArray(1, '\0');
}

// An info reply up to and including the VAC byte.
QByteArray infoReply(const QByteArray &name, int players, int maxPlayers)
{
    return header + "\x49\x11" + cstr(name) + cstr("map") + cstr("folder") + cstr("game") + QByteArray("\x00\x00", 2)
         + char(players) + char(maxPlayers) + QByteArray("\x00" "dlp\x01", 5);
}

QByteArray infoWithExtra(quint8 flags, const QByteArray &fields)
{
    return infoReply("Srv", 3, 10) + cstr("1.0") + char(flags) + fields;
}

QByteArray playerReply(const QList<QByteArray> &names, int declared = -1)
{
    QByteArray reply = header + '\x44' + char(declared < 0 ? names.size() : declared);
    for (int i = 0; i < names.size(); ++i)
        reply += char(i) + cstr(names.at(i)) + QByteArray(8, '\x01');
    return reply;
}

QByteArray challengeReply(quint32 challenge)
{
    return header + '\x41' + le32(challenge);
}

QByteArray splitPart(quint32 id, int total, int number, const QByteArray &payload)
{
    return QByteArray("\xFE\xFF\xFF\xFF", 4) + le32(id) + char(total) + char(number) + QByteArray("\xE0\x04", 2)
         + payload;
}

bool isInfoRequest(const QByteArray &request)
{
    return request.size() >= 5 && request.at(4) == '\x54';
}

// "a2s: <reason>" or "upstream: <text>" for what a call throws; empty when it throws nothing.
QString failureOf(const std::function<void()> &call)
{
    try {
        call();
    } catch (const A2SReplyError &error) {
        return QStringLiteral("a2s: ") + error.reason();
    } catch (const ProviderError &error) {
        return QStringLiteral("upstream: ") + error.description();
    }
    return {};
}

struct Fixture {
    std::shared_ptr<test::FakeUDPTransport> udp = std::make_shared<test::FakeUDPTransport>();
    double now = 100;

    GameFacts query(bool queriesPlayers = true, bool countInKeywords = false)
    {
        return test::await(queryPort(QStringLiteral("game.lan"), 27015, udp, queriesPlayers, countInKeywords,
                                     [this] { return now; }));
    }
    QList<QByteArray> sent() const { return udp->sessions().last()->sent; }
};

} // namespace

class tst_A2SQueryClient : public QObject {
    Q_OBJECT

private slots:
    void requests()
    {
        QCOMPARE(infoRequest(std::nullopt), header + "\x54Source Engine Query" + QByteArray(1, '\0'));
        QCOMPARE(infoRequest(0x11223344).size(), 29);
        QCOMPARE(infoRequest(0x11223344).right(4), QByteArray("\x44\x33\x22\x11"));
        QCOMPARE(playerRequest(0xFFFFFFFF), header + "\x55\xFF\xFF\xFF\xFF");
        QCOMPARE(playerRequest(0x01020304), header + "\x55\x04\x03\x02\x01");
    }

    void parseRejects_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QString>("failure");
        const QString malformed = QStringLiteral("a2s: malformed reply");
        QTest::newRow("three bytes") << QByteArray("\xFF\xFF\xFF", 3) << malformed;
        QTest::newRow("unknown header") << QByteArray("\xFD\xFF\xFF\xFF\x49", 5) << malformed;
        QTest::newRow("short split") << QByteArray("\xFE\xFF\xFF\xFF\x01\x00\x00\x00\x02\x00\x00", 11) << malformed;
        QTest::newRow("compressed") << splitPart(0x80000001, 2, 0, "x") << "a2s: compressed reply not supported";
        QTest::newRow("no parts") << splitPart(1, 0, 0, "x") << malformed;
        QTest::newRow("33 parts") << splitPart(1, 33, 0, "x") << malformed;
        QTest::newRow("number not below total") << splitPart(1, 2, 2, "x") << malformed;
    }

    void parseRejects()
    {
        QFETCH(QByteArray, datagram);
        QTEST(failureOf([&] { parse(datagram); }), "failure");
    }

    void parseAccepts()
    {
        QCOMPARE(parse(header + "\x49"), Packet(SimplePacket{header + "\x49"}));
        QCOMPARE(parse(splitPart(0x7FFFFFFF, 32, 31, "abc")), Packet(SplitPacket{0x7FFFFFFF, 32, 31, "abc"}));
        QCOMPARE(parse(splitPart(5, 1, 0, {})), Packet(SplitPacket{5, 1, 0, {}}));
    }

    void parseInfo_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("countInKeywords");
        QTest::addColumn<bool>("parses");
        QTest::addColumn<qint64>("current");
        QTest::addColumn<qint64>("max");

        const QByteArray all = QByteArray("\x87\x69", 2) + QByteArray(8, '\x01') + QByteArray("\x0F\x27", 2)
                             + cstr("tv") + cstr("cp7,mp20") + QByteArray(8, '\x02');
        QTest::newRow("ends after VAC") << infoReply("Srv", 3, 10) << false << true << qint64(3) << qint64(10);
        QTest::newRow("ends after VAC, keywords game") << infoReply("Srv", 3, 10) << true << true << qint64(3)
                                                       << qint64(10);
        QTest::newRow("VAC missing") << infoReply("Srv", 3, 10).chopped(1) << false << false << qint64(0) << qint64(0);
        QTest::newRow("unterminated name") << header + "\x49\x11" + "Srv" << false << false << qint64(0) << qint64(0);
        QTest::newRow("wrong type") << QByteArray(infoReply("Srv", 3, 10)).replace(4, 1, "\x44") << false << false
                                    << qint64(0) << qint64(0);
        QTest::newRow("keywords") << infoWithExtra(0x20, cstr("cp7,mp20")) << true << true << qint64(7) << qint64(20);
        QTest::newRow("keywords ignored") << infoWithExtra(0x20, cstr("cp7,mp20")) << false << true << qint64(3)
                                          << qint64(10);
        QTest::newRow("negative keyword") << infoWithExtra(0x20, cstr("cp-1")) << true << true << qint64(3)
                                          << qint64(10);
        QTest::newRow("every extra field") << infoWithExtra(0xF1, all) << true << true << qint64(7) << qint64(20);
        QTest::newRow("Steam id cut short") << infoWithExtra(0x30, QByteArray(5, '\x01')) << true << true
                                            << qint64(3) << qint64(10);
        QTest::newRow("game id cut short") << infoWithExtra(0x21, cstr("cp7,mp20") + QByteArray(7, '\x02')) << true
                                           << true << qint64(3) << qint64(10);
        QTest::newRow("keywords unterminated") << infoWithExtra(0x20, "cp7") << true << true << qint64(3)
                                               << qint64(10);
    }

    void parseInfo()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, countInKeywords);
        QFETCH(bool, parses);
        const auto facts = A2SWire::parseInfo(reply, countInKeywords);
        QCOMPARE(facts.has_value(), parses);
        if (!parses)
            return;
        QCOMPARE(facts->detail, QStringLiteral("Srv"));
        QVERIFY(facts->playerNames.isEmpty());
        QTEST(*facts->playersCurrent, "current");
        QTEST(*facts->playersMax, "max");
    }

    void parsePlayers_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("parses");
        QTest::addColumn<QStringList>("names");

        QTest::newRow("complete") << playerReply({"ann", "", "bob"}) << true << QStringList{"ann", "", "bob"};
        QTest::newRow("none declared") << playerReply({}) << true << QStringList{};
        QTest::newRow("five declared, three sent") << playerReply({"a", "b", "c"}, 5) << true
                                                   << QStringList{"a", "b", "c"};
        QTest::newRow("more sent than declared") << playerReply({"a", "b", "c"}, 2) << true << QStringList{"a", "b"};
        QTest::newRow("last record cut short") << playerReply({"a", "b"}).chopped(1) << true << QStringList{"a"};
        // Names cut inside a character or sent in Latin-1 are kept, their bad bytes replaced.
        QTest::newRow("names not UTF-8") << playerReply({"a", "\xFF", "Jos\xE9", "\xC3\xA9t\xC3"}) << true
                                         << QStringList{"a", QStringLiteral("\uFFFD"), QStringLiteral("Jos\uFFFD"), QStringLiteral("\u00E9t\uFFFD")};
        QTest::newRow("unterminated name") << QByteArray(header + "\x44\x01\x00" "abc") << true << QStringList{};
        QTest::newRow("wrong type") << QByteArray(header + "\x49\x00") << false << QStringList{};
        QTest::newRow("too short") << QByteArray(header + "\x44") << false << QStringList{};
    }

    void parsePlayers()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, parses);
        const auto names = A2SWire::parsePlayers(reply);
        QCOMPARE(names.has_value(), parses);
        if (parses)
            QTEST(*names, "names");
    }

    void keywordCounts_data()
    {
        QTest::addColumn<QString>("keywords");
        QTest::addColumn<KeywordCounts>("counts");
        QTest::newRow("example") << "mp50,cp12,modded" << KeywordCounts{12, 50};
        QTest::newRow("later wins") << "cp1,cp2,mp3,mp4" << KeywordCounts{2, 4};
        QTest::newRow("empty pieces") << ",,cp1,,mp2," << KeywordCounts{1, 2};
        QTest::newRow("plus sign") << "cp+5" << KeywordCounts{5, std::nullopt};
        QTest::newRow("negative") << "cp-1,mp-2" << KeywordCounts{};
        QTest::newRow("bare prefix") << "cp,mp" << KeywordCounts{};
        QTest::newRow("blank") << "cp 5, mp6" << KeywordCounts{};
        QTest::newRow("beyond 64 bits") << "cp99999999999999999999" << KeywordCounts{};
        QTest::newRow("bad piece keeps earlier") << "cp3,cpx" << KeywordCounts{3, std::nullopt};
    }

    void keywordCounts()
    {
        QFETCH(QString, keywords);
        QTEST(A2SWire::keywordCounts(keywords), "counts");
    }

    void answersChallengeAndSendsItWithThePlayerRequest()
    {
        Fixture fixture;
        fixture.udp->respond(27015, [](const QByteArray &request) -> QList<Reply> {
            if (isInfoRequest(request))
                return {Reply::data(request.size() == 25 ? challengeReply(0xA1B2C3D4) : infoReply("Srv", 2, 8))};
            return {Reply::data(playerReply({"ann", "", "bob"}))};
        });
        const auto facts = fixture.query();
        const auto sent = fixture.sent();
        QCOMPARE(sent.size(), 3);
        QCOMPARE(sent.at(1), infoRequest(0xA1B2C3D4));
        QCOMPARE(sent.at(2), playerRequest(0xA1B2C3D4));
        QCOMPARE(facts, (GameFacts{3, 8, {"ann", "bob"}, "Srv"}));
        QCOMPARE(fixture.udp->sessions().last()->timeout, 2.0);
        QVERIFY(fixture.udp->sessions().last()->closed);
    }

    void playerRequestWithoutChallengeAsksForOne()
    {
        Fixture fixture;
        fixture.udp->respond(27015, [](const QByteArray &request) -> QList<Reply> {
            if (isInfoRequest(request))
                return {Reply::data(infoReply("Srv", 2, 8))};
            if (request == playerRequest(0xFFFFFFFF))
                return {Reply::data(challengeReply(7))};
            return {Reply::data(playerReply({"ann"}))};
        });
        const auto facts = fixture.query();
        QCOMPARE(fixture.sent().mid(1), (QList<QByteArray>{playerRequest(0xFFFFFFFF), playerRequest(7)}));
        QCOMPARE(facts, (GameFacts{1, 8, {"ann"}, "Srv"}));
    }

    void endlessChallengesStopAfterFourRequests()
    {
        Fixture fixture;
        quint32 next = 1;
        fixture.udp->respond(27015, [&next](const QByteArray &) -> QList<Reply> {
            return {Reply::data(challengeReply(next++))};
        });
        QCOMPARE(failureOf([&] { fixture.query(); }), QStringLiteral("a2s: challenge loop exceeded"));
        QCOMPARE(fixture.sent().size(), 4);
        QVERIFY(fixture.udp->sessions().last()->closed);
    }

    void shortChallengeIsMalformed()
    {
        Fixture fixture;
        fixture.udp->respond(27015, [](const QByteArray &) -> QList<Reply> {
            return {Reply::data(header + "\x41\x01\x02")};
        });
        QCOMPARE(failureOf([&] { fixture.query(); }), QStringLiteral("a2s: malformed reply"));
    }

    void splitReplyIsAssembledInPartOrder()
    {
        Fixture fixture;
        const QByteArray whole = infoReply("A split server", 5, 16);
        fixture.udp->respond(27015, [whole](const QByteArray &) -> QList<Reply> {
            return {Reply::data(splitPart(9, 3, 2, whole.mid(20))), Reply::data(splitPart(9, 3, 0, whole.left(10))),
                    Reply::data(splitPart(9, 3, 1, whole.mid(10, 10)))};
        });
        QCOMPARE(fixture.query(false), (GameFacts{5, 16, {}, "A split server"}));
    }

    void splitFailures_data()
    {
        QTest::addColumn<QList<QByteArray>>("datagrams");
        QTest::addColumn<QString>("failure");
        const QString malformed = QStringLiteral("a2s: malformed reply");
        QTest::newRow("other reply id") << QList<QByteArray>{splitPart(1, 2, 0, "a"), splitPart(2, 2, 1, "b")}
                                        << malformed;
        QTest::newRow("other total") << QList<QByteArray>{splitPart(1, 2, 0, "a"), splitPart(1, 3, 1, "b")}
                                     << malformed;
        QTest::newRow("simple datagram inside") << QList<QByteArray>{splitPart(1, 2, 0, "a"), header + "\x49"}
                                                << malformed;
        QTest::newRow("compressed part") << QList<QByteArray>{splitPart(1, 2, 0, "a"), splitPart(0x80000001, 2, 1, "b")}
                                         << "a2s: compressed reply not supported";
        QTest::newRow("65537 bytes") << QList<QByteArray>{splitPart(1, 2, 0, QByteArray(40000, 'a')),
                                                          splitPart(1, 2, 1, QByteArray(25537, 'b'))}
                                     << "a2s: reply too large";
        QList<QByteArray> repeated{splitPart(1, 3, 0, "a")};
        for (int i = 0; i < 40; ++i)
            repeated.append(splitPart(1, 3, 1, "b"));
        QTest::newRow("a part repeated") << repeated << malformed;
        QTest::newRow("missing part times out") << QList<QByteArray>{splitPart(1, 3, 0, "a"), splitPart(1, 3, 2, "c")}
                                                << "upstream: timed out";
    }

    void splitFailures()
    {
        QFETCH(QList<QByteArray>, datagrams);
        Fixture fixture;
        fixture.udp->respond(27015, [datagrams](const QByteArray &) {
            QList<Reply> replies;
            for (const auto &datagram : datagrams)
                replies.append(Reply::data(datagram));
            return replies;
        });
        QTEST(failureOf([&] { fixture.query(false); }), "failure");
        QVERIFY(fixture.udp->sessions().last()->closed);
    }

    void exactlySixtyFiveKilobytesOfPartsAreAccepted()
    {
        Fixture fixture;
        const QByteArray whole = infoReply("Srv", 1, 2) + QByteArray(65536 - infoReply("Srv", 1, 2).size(), 'x');
        fixture.udp->respond(27015, [whole](const QByteArray &) -> QList<Reply> {
            return {Reply::data(splitPart(4, 2, 0, whole.left(30000))), Reply::data(splitPart(4, 2, 1, whole.mid(30000)))};
        });
        QCOMPARE(fixture.query(false), (GameFacts{1, 2, {}, "Srv"}));
    }

    void deadlineEndsTheExchange()
    {
        Fixture fixture;
        fixture.udp->respond(27015, [&fixture](const QByteArray &request) -> QList<Reply> {
            fixture.now += 6; // a slow server: the second request starts past the 10-second deadline
            return {Reply::data(request.size() == 25 ? challengeReply(3) : infoReply("Srv", 1, 2))};
        });
        QCOMPARE(failureOf([&] { fixture.query(); }), QStringLiteral("upstream: timed out"));
        QVERIFY(fixture.udp->sessions().last()->closed);
    }

    void failedPlayerRequestKeepsTheInfo_data()
    {
        QTest::addColumn<QList<Reply>>("playerReplies");
        QTest::newRow("silent") << QList<Reply>{};
        QTest::newRow("malformed") << QList<Reply>{Reply::data(header + "\x49\x00")};
        QTest::newRow("unknown header") << QList<Reply>{Reply::data("\x01\x02\x03\x04\x05")};
        QTest::newRow("empty list") << QList<Reply>{Reply::data(playerReply({}))};
    }

    void failedPlayerRequestKeepsTheInfo()
    {
        QFETCH(QList<Reply>, playerReplies);
        Fixture fixture;
        fixture.udp->respond(27015, [playerReplies](const QByteArray &request) -> QList<Reply> {
            if (isInfoRequest(request))
                return {Reply::data(infoReply("Srv", 4, 9))};
            return playerReplies;
        });
        QCOMPARE(fixture.query(), (GameFacts{4, 9, {}, "Srv"}));
    }

    void keywordGameKeepsItsCountWhenNamesArrive()
    {
        Fixture fixture;
        fixture.udp->respond(27015, [](const QByteArray &request) -> QList<Reply> {
            if (isInfoRequest(request))
                return {Reply::data(infoWithExtra(0x20, cstr("cp12,mp50")))};
            return {Reply::data(playerReply({"ann", "bob"}))};
        });
        QCOMPARE(fixture.query(true, true), (GameFacts{12, 50, {"ann", "bob"}, "Srv"}));
    }

    void unusableInfoIsMalformed()
    {
        Fixture fixture;
        fixture.udp->respond(27015, [](const QByteArray &) -> QList<Reply> {
            return {Reply::data(header + "\x49\x11" "unterminated")};
        });
        QCOMPARE(failureOf([&] { fixture.query(); }), QStringLiteral("a2s: malformed reply"));
    }
};

QTEST_GUILESS_MAIN(tst_A2SQueryClient)
#include "tst_A2SQueryClient.moc"
