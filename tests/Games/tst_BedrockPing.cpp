#include "MarrowickKit/Games/BedrockPing.h"

#include "support/FakeUDPTransport.h"
#include "support/TestSupport.h"

#include <QTest>

using namespace marrowick;
using Reply = test::FakeUDPTransport::Reply;

namespace {

const QByteArray magic("\x00\xFF\xFF\x00\xFE\xFE\xFE\xFE\xFD\xFD\xFD\xFD\x12\x34\x56\x78", 16);

QByteArray pong(const QByteArray &text, int statedLength = -1)
{
    const int length = statedLength < 0 ? int(text.size()) : statedLength;
    return QByteArray(1, '\x1C') + QByteArray(8, '\x01') + QByteArray(8, '\x02') + magic + char(length >> 8)
         + char(length & 0xFF) + text;
}

} // namespace

class tst_BedrockPing : public QObject {
    Q_OBJECT

private slots:
    void pingIsByteExact()
    {
        const QByteArray expected =
            QByteArray(1, '\x01') + QByteArray(8, '\0') + magic + QByteArray("\x01\x23\x45\x67\x89\xAB\xCD\xEF", 8);
        QCOMPARE(bedrockPingRequest(0, 0x0123456789ABCDEFull), expected);
        QCOMPARE(expected.size(), 33);
    }

    void pongs_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<bool>("parses");
        QTest::addColumn<GameFacts>("facts");
        const QByteArray realm = "MCPE;Survival Realm;527;1.19.1;3;10;1234;Level;Survival;1;19132;19133;";
        QTest::newRow("full") << pong(realm) << true << GameFacts{3, 10, {}, "1.19.1"};
        QTest::newRow("no version") << pong("MCPE;Survival Realm;527;;3;10") << true
                                    << GameFacts{3, 10, {}, "Survival Realm"};
        QTest::newRow("five fields") << pong("MCPE;Name;527;1.20;3") << true
                                     << GameFacts{3, std::nullopt, {}, "1.20"};
        QTest::newRow("four fields") << pong("MCPE;Name;527;1.20") << true
                                     << GameFacts{std::nullopt, std::nullopt, {}, "1.20"};
        QTest::newRow("count not a number") << pong("MCPE;Name;527;1.20;three;10") << true
                                            << GameFacts{std::nullopt, 10, {}, "1.20"};
        QTest::newRow("only edition") << pong("MCPE") << true << GameFacts{};
        QTest::newRow("stated length beyond datagram") << pong("MCPE;N;1;v;1;2", 500) << true
                                                       << GameFacts{1, 2, {}, "v"};
        QTest::newRow("bytes after stated length ignored") << pong("MCPE;N;1;v;1;2;garbage\xFF", 14) << true
                                                           << GameFacts{1, 2, {}, "v"};
        QTest::newRow("stated length 0") << pong("MCPE;N", 0) << false << GameFacts{};
        QTest::newRow("34 bytes") << pong("").left(34) << false << GameFacts{};
        QTest::newRow("no text") << pong("") << false << GameFacts{};
        QTest::newRow("message id 0x1D") << QByteArray(pong("MCPE")).replace(0, 1, "\x1D") << false << GameFacts{};
        QTest::newRow("magic changed") << QByteArray(pong("MCPE")).replace(20, 1, "\x00") << false << GameFacts{};
        QTest::newRow("text not UTF-8") << pong("MCPE;\xC3") << false << GameFacts{};
    }

    void pongs()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(bool, parses);
        const auto facts = parseBedrockPong(datagram);
        QCOMPARE(facts.has_value(), parses);
        if (parses)
            QTEST(*facts, "facts");
    }

    void pingOverUDP()
    {
        auto udp = std::make_shared<test::FakeUDPTransport>();
        udp->respond(19132, [](const QByteArray &) -> QList<Reply> {
            return {Reply::data(pong("MCPE;Realm;527;1.21;4;20"))};
        });
        QCOMPARE(test::await(bedrockPing(QStringLiteral("bedrock.lan"), 19132, udp)), (GameFacts{4, 20, {}, "1.21"}));
        const auto &session = *udp->sessions().first();
        QCOMPARE(session.sent, QList<QByteArray>{bedrockPingRequest(0, 0x0123456789ABCDEFull)});
        QCOMPARE(session.timeout, 2.0);
        QCOMPARE(session.host, QStringLiteral("bedrock.lan"));
        QVERIFY(session.closed);
    }

    void pingFailures_data()
    {
        QTest::addColumn<QList<Reply>>("replies");
        QTest::addColumn<QString>("failure");
        QTest::newRow("silent") << QList<Reply>{} << "timed out";
        QTest::newRow("empty datagram") << QList<Reply>{Reply::data({})} << "empty reply";
        QTest::newRow("refused") << QList<Reply>{Reply::failure("connection refused")} << "connection refused";
        QTest::newRow("wrong id") << QList<Reply>{Reply::data(QByteArray(40, '\x1D'))} << "malformed reply";
    }

    void pingFailures()
    {
        QFETCH(QList<Reply>, replies);
        auto udp = std::make_shared<test::FakeUDPTransport>();
        udp->respond(19132, [replies](const QByteArray &) { return replies; });
        QTEST(test::errorText([&] { test::await(bedrockPing(QStringLiteral("bedrock.lan"), 19132, udp)); }),
              "failure");
        QVERIFY(udp->sessions().first()->closed);
    }
};

QTEST_GUILESS_MAIN(tst_BedrockPing)
#include "tst_BedrockPing.moc"
