#include "MarrowickKit/Model/JsonReading.h"
#include "MarrowickKit/Model/JsonWriter.h"
#include "MarrowickKit/Model/SourceSnapshot.h"
#include "support/JsonFixture.h"
#include "support/TestSupport.h"

#include <QTest>

using namespace marrowick;
using marrowick::test::json;

namespace {

QList<WidgetData> everyCase()
{
    return {
        ServiceRow{"7", "api {prod}", ServiceStatus::warn, 12.5, QString("slow")},
        ServiceRow{"8", "bare", ServiceStatus::up, std::nullopt, std::nullopt},
        HostStats{"h1", "nas", ServiceStatus::up, 3.5, 40.0, std::nullopt, {{"nvme0", 41.0}, {"sda", 35.5}}},
        HostStats{"h2", "pi", ServiceStatus::down, std::nullopt, std::nullopt, std::nullopt, {}},
        GameServerStatus{"g", "Valheim", true, 3, 10, {"a", "b/c"}, 23.0, "0.217"},
        GameServerStatus{"g2", "MC", false, std::nullopt, std::nullopt, {}, std::nullopt, "timed out"},
        CheckResult{"c", "web", ServiceStatus::unknown, 1.0, std::nullopt},
        WidgetData::keyValues("Weather", {{"Temp", "21"}, {"Wind", "—"}}),
        WidgetData::keyValues("Empty", {}),
    };
}

} // namespace

class tst_WidgetData : public QObject {
    Q_OBJECT

private slots:
    void idsAndNames()
    {
        const WidgetData service = ServiceRow{"42", "api", ServiceStatus::up, std::nullopt, std::nullopt};
        QCOMPARE(service.id(), QStringLiteral("service:42"));
        QCOMPARE(service.renamed("web").id(), QStringLiteral("service:42"));
        QCOMPARE(service.renamed("web").displayName(), QStringLiteral("web"));

        const WidgetData kv = WidgetData::keyValues("T", {{"a", "1"}});
        QCOMPARE(kv.id(), QStringLiteral("kv:T"));
        const WidgetData renamed = kv.renamed("U");
        QCOMPARE(renamed.id(), QStringLiteral("kv:U"));
        QCOMPARE(renamed.get<KeyValues>()->fields, kv.get<KeyValues>()->fields);

        const QStringList expectedPrefixes = {"service:", "service:", "host:", "host:", "game:", "game:", "check:", "kv:", "kv:"};
        const auto widgets = everyCase();
        for (qsizetype i = 0; i < widgets.size(); ++i)
            QVERIFY(widgets[i].id().startsWith(expectedPrefixes[i]));
    }

    void widgetKeyUsesUpperCaseUuid()
    {
        const WidgetData check = CheckResult{"X", "n", ServiceStatus::up, std::nullopt, std::nullopt};
        QCOMPARE(check.scopedID(QUuid()), QStringLiteral("00000000-0000-0000-0000-000000000000/check:X"));
        const auto id = QUuid::fromString(QStringLiteral("6f9619ff-8b86-d011-b42d-00c04fc964ff"));
        QCOMPARE(check.scopedID(id), QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF/check:X"));
    }

    void everyCaseRoundTrips()
    {
        for (const auto &widget : everyCase()) {
            const auto bytes = writeJson(widget.toJson(), JsonStyle::compact);
            QCOMPARE(WidgetData::fromJson(parseJsonDocument(bytes)), widget);
        }
    }

    void absentOptionalsAreLeftOut()
    {
        const ServiceRow row{"1", "n", ServiceStatus::up, std::nullopt, std::nullopt};
        QCOMPARE(row.toJson().keys(), (QStringList{"id", "name", "status"}));
        const auto withNull = ServiceRow::fromJson(parseJsonDocument(json("{'id':'1','name':'n','status':'up','latencyMs':null}")));
        QCOMPARE(withNull, row);
    }

    void strictReadingFails_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<QString>("error"); // empty: any error
        const QString keyCount = QStringLiteral("Invalid number of keys found, expected one.");
        QTest::newRow("no key") << QByteArray("{}") << keyCount;
        QTest::newRow("unknown key only") << json("{'services':{}}") << keyCount;
        QTest::newRow("service and host") << json("{'service':{},'host':{}}") << keyCount;
        QTest::newRow("status in capitals")
            << json("{'service':{'_0':{'id':'1','name':'n','status':'UP'}}}") << QString();
        QTest::newRow("unknown status") << json("{'check':{'_0':{'id':'1','name':'n','status':'ok'}}}") << QString();
        QTest::newRow("host without temps") << json("{'host':{'_0':{'id':'1','name':'n','status':'up'}}}") << QString();
        QTest::newRow("game without detail")
            << json("{'game':{'_0':{'id':'1','name':'n','online':true,'playerNames':[]}}}") << QString();
        QTest::newRow("game players not integral")
            << json("{'game':{'_0':{'id':'1','name':'n','online':true,'playerNames':[],'detail':'','playersMax':1.5}}}")
            << QString();
        QTest::newRow("player name not text")
            << json("{'game':{'_0':{'id':'1','name':'n','online':true,'playerNames':[1],'detail':''}}}") << QString();
        QTest::newRow("keyValues without title") << json("{'keyValues':{'fields':[]}}") << QString();
        QTest::newRow("service without _0") << json("{'service':{'id':'1'}}") << QString();
    }

    void strictReadingFails()
    {
        QFETCH(QByteArray, document);
        QFETCH(QString, error);
        const auto parsed = parseJsonDocument(document);
        const QString text = test::errorText([&] { WidgetData::fromJson(parsed); });
        QVERIFY(!text.isEmpty());
        if (!error.isEmpty())
            QCOMPARE(text, error);
    }

    void caseWithUnknownMemberReads()
    {
        const auto widget = WidgetData::fromJson(
            parseJsonDocument(json("{'service':{'_0':{'id':'1','name':'n','status':'down','extra':1}},'x':2}")));
        QCOMPARE(widget.id(), QStringLiteral("service:1"));
        QCOMPARE(widget.get<ServiceRow>()->status, ServiceStatus::down);
    }

    void hostWithEmptyTempsReads()
    {
        const auto host = HostStats::fromJson(parseJsonDocument(json("{'id':'1','name':'n','status':'up','temps':[]}")));
        QVERIFY(host.temps.isEmpty());
    }

    void snapshotsCompareWidgetOrder()
    {
        const auto widgets = everyCase();
        SourceSnapshot a{QUuid::createUuid(), Instant{100.0}, widgets};
        SourceSnapshot b = a;
        QCOMPARE(a, b);
        std::swap(b.widgets[0], b.widgets[1]);
        QVERIFY(a != b);
    }
};

QTEST_GUILESS_MAIN(tst_WidgetData)
#include "tst_WidgetData.moc"
