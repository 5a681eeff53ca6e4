#include "MarrowickKit/Model/AnySourceConfig.h"
#include "MarrowickKit/Model/JsonReading.h"
#include "MarrowickKit/Model/JsonWriter.h"
#include "support/JsonFixture.h"
#include "support/TestSupport.h"

#include <QTest>

#include <cmath>
#include <limits>

using namespace marrowick;
using marrowick::test::json;

namespace {

const QUuid sampleID = QUuid::fromString(QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF"));

QJsonObject parseObject(const QByteArray &json)
{
    return parseJsonDocument(json).toObject();
}

} // namespace

class tst_SourceConfig : public QObject {
    Q_OBJECT

private slots:
    void clampedHoldsIntervalBounds_data()
    {
        QTest::addColumn<double>("input");
        QTest::addColumn<double>("expected");
        constexpr double inf = std::numeric_limits<double>::infinity();
        QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << 60.0;
        QTest::newRow("+inf") << inf << 60.0;
        QTest::newRow("-inf") << -inf << 60.0;
        QTest::newRow("zero") << 0.0 << 5.0;
        QTest::newRow("negative") << -10.0 << 5.0;
        QTest::newRow("just below minimum") << 4.999 << 5.0;
        QTest::newRow("minimum") << 5.0 << 5.0;
        QTest::newRow("fraction kept") << 45.5 << 45.5;
        QTest::newRow("maximum") << 3600.0 << 3600.0;
        QTest::newRow("just above maximum") << 3600.0001 << 3600.0;
    }

    void clampedHoldsIntervalBounds()
    {
        QFETCH(double, input);
        QFETCH(double, expected);
        QCOMPARE(PollInterval::clamped(input), expected);
    }

    void initializersSetTheirDefaults()
    {
        const QList<AnySourceConfig> sources = {
            KumaConfig(sampleID, "k", "http://k", std::nullopt, std::nullopt, std::nullopt),
            GameServerConfig(sampleID, "g", "minecraft", "h", 25565, std::nullopt, std::nullopt, false),
            HTTPPingConfig(sampleID, "h", "http://h"),
            TCPPortConfig(sampleID, "t", "h", 22),
            JSONWidgetConfig(sampleID, "j", "http://j", std::nullopt, {}),
        };
        for (const auto &source : sources) {
            QCOMPARE(source.config().pollInterval, 60.0);
            QVERIFY(source.config().alertsEnabled);
            QCOMPARE(source.config().alertThreshold, 3);
        }
        const BeszelConfig beszel(sampleID, "b", "http://b", "beszel-ref");
        QCOMPARE(beszel.pollInterval, 30.0);
        QVERIFY(beszel.alertsEnabled);
        QCOMPARE(beszel.alertThreshold, 3);
        QCOMPARE(HTTPPingConfig(sampleID, "h", "u").expectedStatus, 200);
    }

    void equalityCoversEveryField()
    {
        TCPPortConfig a(sampleID, "t", "h", 22);
        TCPPortConfig b = a;
        QCOMPARE(a, b);
        b.alertsEnabled = false;
        QVERIFY(a != b);
        JSONWidgetConfig j(sampleID, "j", "u", std::nullopt, {{"a", "x"}});
        JSONWidgetConfig k = j;
        k.fields[0].path = "y";
        QVERIFY(j != k);
    }

    void roundTripsThroughJson()
    {
        KumaConfig kuma(sampleID, "Kuma", "https://kuma.lan/", QString("admin"), QString("kuma-ref"), QString("home"));
        kuma.pollInterval = 12.5;
        kuma.alertThreshold = 0;
        HTTPPingConfig ping(sampleID, "P", "http://p/health");
        ping.expectedStatus = 204;
        ping.alertsEnabled = false;
        TCPPortConfig tcp(sampleID, "T", "nas", 445);
        tcp.pollInterval = 1; // never clamped when stored
        const QList<AnySourceConfig> sources = {
            kuma,
            KumaConfig(sampleID, "K", "http://k", std::nullopt, std::nullopt, std::nullopt),
            BeszelConfig(sampleID, "B", "http://b", ""),
            GameServerConfig(sampleID, "G", "valheim", "10.0.0.2", 2456, 2457, QString("gameServer-x"), true),
            ping,
            tcp,
            JSONWidgetConfig(sampleID, "J", "http://j", QString("jsonWidget-y"), {{"Temp", "a.b.0"}, {"Ünïcode", "x"}}),
        };
        const QByteArray bytes = writeJson(sourcesToJson(sources), JsonStyle::pretty);
        QCOMPARE(sourcesFromJson(parseJsonDocument(bytes)), sources);
    }

    void optionalsAreLeftOutAndNullReadsAsAbsent()
    {
        const auto kuma = KumaConfig::fromJson(parseObject(json("{'id':'6F9619FF-8B86-D011-B42D-00C04FC964FF', 'displayName':'k','pollInterval':60,'alertsEnabled':true,'alertThreshold':3, 'baseURL':'http://k','username':null}")));
        QVERIFY(!kuma.username);
        QVERIFY(!kuma.toJson().contains("username"));
        QVERIFY(!kuma.toJson().contains("passwordRef"));
    }

    void gameServerFillsItsDefaults()
    {
        const auto game = GameServerConfig::fromJson(parseObject(json("{'id':'6F9619FF-8B86-D011-B42D-00C04FC964FF', 'displayName':'g','gameID':'minecraft','host':'mc.lan','port':25565}")));
        QCOMPARE(game.pollInterval, 60.0);
        QVERIFY(game.alertsEnabled);
        QCOMPARE(game.alertThreshold, 3);
        QVERIFY(!game.queryPort);
        QVERIFY(!game.credentialRef);
        QVERIFY(!game.useTLS);
        const auto written = game.toJson();
        for (const char *key : {"pollInterval", "alertsEnabled", "alertThreshold", "useTLS"})
            QVERIFY2(written.contains(QLatin1String(key)), key);
        QVERIFY(!written.contains("queryPort"));
        QVERIFY(!written.contains("credentialRef"));
    }

    void strictReadingFails_data()
    {
        QTest::addColumn<QByteArray>("document");
        const QByteArray shared = json("'id':'6F9619FF-8B86-D011-B42D-00C04FC964FF','displayName':'x',");
        const QByteArray common = shared + json("'pollInterval':60,'alertsEnabled':true,'alertThreshold':3,");
        QTest::newRow("ping without expectedStatus") << json("{'httpPing':{'_0':{") + common + json("'url':'u'}}}");
        QTest::newRow("tcp without pollInterval")
            << json("{'tcpPort':{'_0':{") + shared + json("'alertsEnabled':true,'alertThreshold':3,'host':'h','port':1}}}");
        QTest::newRow("tcp port null") << json("{'tcpPort':{'_0':{") + common + json("'host':'h','port':null}}}");
        QTest::newRow("tcp port fractional") << json("{'tcpPort':{'_0':{") + common + json("'host':'h','port':22.5}}}");
        QTest::newRow("tcp port as text") << json("{'tcpPort':{'_0':{") + common + json("'host':'h','port':'22'}}}");
        QTest::newRow("json without fields") << json("{'jsonWidget':{'_0':{") + common + json("'url':'u'}}}");
        QTest::newRow("json field without path")
            << json("{'jsonWidget':{'_0':{") + common + json("'url':'u','fields':[{'label':'a'}]}}}");
        QTest::newRow("beszel without tokenRef") << json("{'beszel':{'_0':{") + common + json("'baseURL':'u'}}}");
        QTest::newRow("kuma username wrong type")
            << json("{'kuma':{'_0':{") + common + json("'baseURL':'u','username':5}}}");
        QTest::newRow("game without port")
            << json("{'gameServer':{'_0':{") + shared + json("'gameID':'g','host':'h'}}}");
        QTest::newRow("game default of wrong type")
            << json("{'gameServer':{'_0':{") + shared + json("'gameID':'g','host':'h','port':1,'useTLS':'no'}}}");
        QTest::newRow("bad uuid")
            << json("{'tcpPort':{'_0':{'id':'{6F9619FF-8B86-D011-B42D-00C04FC964FF}','displayName':'x','pollInterval':60,'alertsEnabled':true,'alertThreshold':3,'host':'h','port':1}}}");
        QTest::newRow("alerts as number") << json("{'tcpPort':{'_0':{") + shared
                                                 + json("'pollInterval':60,'alertsEnabled':1,'alertThreshold':3,'host':'h','port':1}}}");
        QTest::newRow("missing _0") << json("{'tcpPort':{'_1':{}}}");
        QTest::newRow("case value not an object") << json("{'tcpPort':[]}");
    }

    void strictReadingFails()
    {
        QFETCH(QByteArray, document);
        const auto parsed = parseJsonDocument(document);
        QVERIFY(test::thrownBy([&] { AnySourceConfig::fromJson(parsed); }) != nullptr);
    }

    void readingNeverClampsOrValidates()
    {
        const QByteArray document = json("{'tcpPort':{'_0':{'id':'6f9619ff-8b86-d011-b42d-00c04fc964ff','displayName':'x', 'pollInterval':1,'alertsEnabled':true,'alertThreshold':0,'host':'h','port':70000,'extra':[1,2]}}}");
        const auto source = AnySourceConfig::fromJson(parseJsonDocument(document));
        QCOMPARE(source.config().pollInterval, 1.0);
        QCOMPARE(source.config().alertThreshold, 0);
        QCOMPARE(source.get<TCPPortConfig>()->port, 70000);
        QCOMPARE(source.id(), sampleID);
    }

    void nonFinitePollIntervalFailsToWrite_data()
    {
        QTest::addColumn<double>("interval");
        QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN();
        QTest::newRow("inf") << std::numeric_limits<double>::infinity();
    }

    void nonFinitePollIntervalFailsToWrite()
    {
        QFETCH(double, interval);
        TCPPortConfig tcp(sampleID, "t", "h", 1);
        tcp.pollInterval = interval;
        const QList<AnySourceConfig> sources = {AnySourceConfig(tcp)};
        QVERIFY(test::thrownBy([&] { writeJson(sourcesToJson(sources), JsonStyle::pretty); }) != nullptr);
    }
};

QTEST_GUILESS_MAIN(tst_SourceConfig)
#include "tst_SourceConfig.moc"
