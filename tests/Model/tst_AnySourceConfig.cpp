#include "MarrowickKit/Model/AnySourceConfig.h"
#include "MarrowickKit/Model/JsonReading.h"
#include "support/JsonFixture.h"
#include "support/TestSupport.h"

#include <QTest>

using namespace marrowick;
using marrowick::test::json;

namespace {

const QUuid firstID = QUuid::fromString(QStringLiteral("00000000-0000-0000-0000-000000000001"));
const QUuid secondID = QUuid::fromString(QStringLiteral("00000000-0000-0000-0000-000000000002"));

const char *tcpPayload = "{'_0':{'id':'00000000-0000-0000-0000-000000000001','displayName':'x','pollInterval':60,"
                         "'alertsEnabled':true,'alertThreshold':3,'host':'h','port':22}}";
const char *kumaPayload = "{'_0':{'id':'00000000-0000-0000-0000-000000000001','displayName':'x','pollInterval':60,"
                          "'alertsEnabled':true,'alertThreshold':3,'baseURL':'http://k'}}";

QByteArray wrap(const QByteArray &members)
{
    return "{" + members + "}";
}

} // namespace

class tst_AnySourceConfig : public QObject {
    Q_OBJECT

private slots:
    void viewsOfEachCase()
    {
        const GameServerConfig game(firstID, "mc", "minecraft", "mc.lan", 100, 101, std::nullopt, false);
        const QList<std::tuple<AnySourceConfig, QString, QString, std::optional<QString>>> cases = {
            {KumaConfig(firstID, "k", "https://k/", std::nullopt, std::nullopt, std::nullopt), "kuma", "https://k/",
             std::nullopt},
            {BeszelConfig(firstID, "b", "http://b", ""), "beszel", "http://b", QString("")},
            {game, "gameServer", "mc.lan:100", std::nullopt},
            {HTTPPingConfig(firstID, "p", " http://p/x "), "httpPing", " http://p/x ", std::nullopt},
            {TCPPortConfig(firstID, "t", "10.0.0.5", 22), "tcpPort", "10.0.0.5:22", std::nullopt},
            {JSONWidgetConfig(firstID, "j", "http://j", QString("jsonWidget-1"), {}), "jsonWidget", "http://j",
             QString("jsonWidget-1")},
        };
        for (const auto &[source, typeID, endpoint, credentialRef] : cases) {
            QCOMPARE(source.typeID(), typeID);
            QCOMPARE(source.endpoint(), endpoint);
            QCOMPARE(source.credentialRef(), credentialRef);
            QCOMPARE(source.id(), firstID);
        }
    }

    void differentCasesAreNeverEqual()
    {
        const AnySourceConfig tcp = TCPPortConfig(firstID, "x", "h", 1);
        const AnySourceConfig ping = HTTPPingConfig(firstID, "x", "h");
        QVERIFY(tcp != ping);
        QCOMPARE(tcp, AnySourceConfig(TCPPortConfig(firstID, "x", "h", 1)));
    }

    void caseKeyCountRule_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<QString>("expectedTypeID"); // empty: the read fails with the key-count text
        QTest::newRow("kuma only") << wrap("'kuma':" + json(kumaPayload)) << "kuma";
        QTest::newRow("kuma and an unknown member") << wrap("'kuma':" + json(kumaPayload) + ",'other':1") << "kuma";
        QTest::newRow("two cases") << wrap("'kuma':" + json(kumaPayload) + ",'beszel':{}") << "";
        QTest::newRow("empty object") << QByteArray("{}") << "";
        QTest::newRow("unknown member only") << json("{'Kuma':{}}") << "";
    }

    void caseKeyCountRule()
    {
        QFETCH(QByteArray, document);
        QFETCH(QString, expectedTypeID);
        const auto parsed = parseJsonDocument(json(document.constData()));
        if (!expectedTypeID.isEmpty()) {
            QCOMPARE(AnySourceConfig::fromJson(parsed).typeID(), expectedTypeID);
            return;
        }
        QCOMPARE(test::errorText([&] { AnySourceConfig::fromJson(parsed); }),
                 QStringLiteral("Invalid number of keys found, expected one."));
    }

    void oneBadElementFailsTheWholeDocument()
    {
        const QByteArray good = "{'tcpPort':" + QByteArray(tcpPayload) + "}";
        const auto document = parseJsonDocument(json(("[" + good + ",{'tcpPort':{}}," + good + "]").constData()));
        QVERIFY(test::thrownBy([&] { sourcesFromJson(document); }) != nullptr);
        QCOMPARE(sourcesFromJson(parseJsonDocument(json(("[" + good + "]").constData()))).size(), 1);
        QVERIFY(test::thrownBy([&] { sourcesFromJson(QJsonObject()); }) != nullptr);
    }

    void writtenFormWrapsThePayload()
    {
        const auto object = AnySourceConfig(TCPPortConfig(firstID, "x", "h", 22)).toJson();
        QCOMPARE(object.keys(), QStringList{"tcpPort"});
        const auto inner = object.value("tcpPort").toObject();
        QCOMPARE(inner.keys(), QStringList{"_0"});
        QCOMPARE(inner.value("_0").toObject().keys(),
                 (QStringList{"alertThreshold", "alertsEnabled", "displayName", "host", "id", "pollInterval", "port"}));
    }

    void alertsEnabledForAnID()
    {
        TCPPortConfig muted(firstID, "a", "h", 1);
        muted.alertsEnabled = false;
        const TCPPortConfig loud(firstID, "b", "h", 1);
        QVERIFY(alertsEnabled({}, firstID));
        QVERIFY(!alertsEnabled({muted}, firstID));
        QVERIFY(!alertsEnabled({muted, loud}, firstID));
        QVERIFY(alertsEnabled({loud, muted}, firstID));
        QVERIFY(alertsEnabled({muted}, secondID));
    }
};

QTEST_GUILESS_MAIN(tst_AnySourceConfig)
#include "tst_AnySourceConfig.moc"
