#include "MarrowickKit/Engine/JSONFileStore.h"
#include "MarrowickKit/Engine/PollHistory.h"
#include "MarrowickKit/Model/JsonReading.h"
#include "MarrowickKit/Model/JsonWriter.h"
#include "MarrowickKit/Model/UuidText.h"
#include "support/JsonFixture.h"
#include "support/TestSupport.h"

#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

using namespace marrowick;
using marrowick::test::json;

class tst_Json : public QObject {
    Q_OBJECT

private slots:
    void prettyOutputIsSortedAndIndented()
    {
        const QJsonObject object{{"zeta", QJsonArray{1, "a/b"}},
                                 {"alpha", QJsonObject{{"y", true}, {"x", QJsonValue::Null}}},
                                 {"empty", QJsonArray{}}};
        QCOMPARE(writeJson(object, JsonStyle::pretty),
                 QByteArray("{\n"
                            "  \"alpha\" : {\n"
                            "    \"x\" : null,\n"
                            "    \"y\" : true\n"
                            "  },\n"
                            "  \"empty\" : [],\n"
                            "  \"zeta\" : [\n"
                            "    1,\n"
                            "    \"a\\/b\"\n"
                            "  ]\n"
                            "}"));
        QCOMPARE(writeJson(object, JsonStyle::compact),
                 QByteArray("{\"alpha\":{\"x\":null,\"y\":true},\"empty\":[],\"zeta\":[1,\"a\\/b\"]}"));
    }

    void stringsAreEscaped_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("slash") << "https://x/y" << QByteArray("\"https:\\/\\/x\\/y\"");
        QTest::newRow("quote and backslash") << "a\"b\\c" << QByteArray("\"a\\\"b\\\\c\"");
        QTest::newRow("controls") << QString("\n\t\r\b\f") + QChar(0x01) << QByteArray("\"\\n\\t\\r\\b\\f\\u0001\"");
        QTest::newRow("unicode stays raw") << QString::fromUtf8("é—😀") << QByteArray("\"é—😀\"");
        // A surrogate without its partner has no UTF-8 form; written raw it would read back as "?".
        QTest::newRow("lone high surrogate") << QString(QChar(0xD800)) + "x" << QByteArray("\"\\ud800x\"");
        QTest::newRow("lone low surrogate") << "x" + QString(QChar(0xDFFF)) << QByteArray("\"x\\udfff\"");
        QTest::newRow("pair reversed") << QString(QChar(0xDC00)) + QChar(0xD83D) << QByteArray("\"\\udc00\\ud83d\"");
    }

    void stringsAreEscaped()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, written);
        QCOMPARE(writeJson(QJsonArray{text}, JsonStyle::compact), "[" + written + "]");
        QCOMPARE(parseJsonDocument("[" + written + "]").toArray().at(0).toString(), text);
    }

    // Keys from a status page may hold lone surrogates; two of them must not merge into one key
    // once the file has been written and read again.
    void loneSurrogatesSurviveAFileRoundTrip()
    {
        const QJsonObject held{{QString("key") + QChar(0xD800), 1}, {QString("key") + QChar(0xDBFF), 2},
                               {QStringLiteral("key?"), 3}};
        QTemporaryDir folder;
        const QString file = folder.filePath(QStringLiteral("sources.json"));
        JSONFileStore::save(writeJson(held, JsonStyle::pretty), file);
        const auto loaded = JSONFileStore::load(file, file + ".corrupt", [](const QJsonValue &value) { return value; });
        QCOMPARE(loaded, QJsonValue(held));
    }

    void numbersKeepTheirValue_data()
    {
        QTest::addColumn<QJsonValue>("value");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("whole double") << QJsonValue(60.0) << QByteArray("60");
        QTest::newRow("fraction") << QJsonValue(0.1) << QByteArray("0.1");
        QTest::newRow("negative fraction") << QJsonValue(-45.5) << QByteArray("-45.5");
        QTest::newRow("int64 max") << QJsonValue(std::numeric_limits<qint64>::max())
                                   << QByteArray("9223372036854775807");
        QTest::newRow("int64 min") << QJsonValue(std::numeric_limits<qint64>::min())
                                   << QByteArray("-9223372036854775808");
    }

    void numbersKeepTheirValue()
    {
        QFETCH(QJsonValue, value);
        QFETCH(QByteArray, written);
        const QByteArray bytes = writeJson(QJsonArray{value}, JsonStyle::compact);
        QCOMPARE(bytes, "[" + written + "]");
        const QJsonValue back = parseJsonDocument(bytes).toArray().at(0);
        if (value.toVariant().typeId() == QMetaType::LongLong)
            QCOMPARE(readInt64(back, {}), value.toInteger());
        else
            QCOMPARE(readDouble(back, {}), value.toDouble());
    }

    void nonFiniteNumbersAreRefused()
    {
        for (double number : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
            QVERIFY(test::thrownBy([&] { writeJson(QJsonArray{number}, JsonStyle::compact); }) != nullptr);
        }
    }

    void integersMustBeWholeAndFit_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("exponent form of a whole number") << QByteArray("[1e3]") << true;
        QTest::newRow("fraction") << QByteArray("[1.5]") << false;
        QTest::newRow("beyond int64") << QByteArray("[9223372036854775808]") << false;
        QTest::newRow("huge") << QByteArray("[1e300]") << false;
        QTest::newRow("string") << QByteArray("[\"3\"]") << false;
        QTest::newRow("bool") << QByteArray("[true]") << false;
    }

    void integersMustBeWholeAndFit()
    {
        QFETCH(QByteArray, document);
        QFETCH(bool, accepted);
        const auto value = parseJsonDocument(document).toArray().at(0);
        QCOMPARE(test::thrownBy([&] { readInt64(value, "n"); }) == nullptr, accepted);
    }

    void malformedDocumentsGiveAnError_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("truncated") << QByteArray("[{\"a\":");
        QTest::newRow("not json") << QByteArray("hello");
        QTest::newRow("top-level scalar") << QByteArray("42");
        QTest::newRow("trailing garbage") << QByteArray("[] x");
        QTest::newRow("invalid utf-8") << QByteArray("[\"\xff\xfe\"]");
        QTest::newRow("overlong utf-8") << QByteArray("[\"\xc0\xaf\"]");
        QTest::newRow("utf-8 of a surrogate") << QByteArray("[\"\xed\xa0\x80\"]");
        QTest::newRow("utf-8 past U+10FFFF") << QByteArray("[\"\xf4\x90\x80\x80\"]");
        QTest::newRow("cut utf-8") << QByteArray("[\"\xe2\x82\"]");
        QTest::newRow("deep nesting") << QByteArray(100000, '[') + QByteArray(100000, ']');
        QTest::newRow("nul bytes") << QByteArray(64, '\0');
    }

    void malformedDocumentsGiveAnError()
    {
        QFETCH(QByteArray, document);
        const QString text = test::errorText([&] { parseJsonDocument(document); });
        QVERIFY2(!text.isEmpty(), "malformed input was accepted silently");
    }

    void objectReaderTreatsNullAsMissing()
    {
        const JsonObjectReader reader(parseJsonDocument(json("{'a':null,'b':'x','n':5}")), "root");
        QVERIFY(!reader.has("a"));
        QVERIFY(!reader.optionalString("a"));
        QCOMPARE(*reader.optionalString("b"), QStringLiteral("x"));
        QVERIFY(test::thrownBy([&] { reader.optionalString("n"); }) != nullptr);
        QVERIFY(test::errorText([&] { reader.string("a"); }).contains("\"a\""));
    }

    // A read error names the member where reading stopped, in lists of any length.
    void errorsNameWhereReadingStopped_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<QString>("path");
        const QByteArray sample = "{'time':1,'status':'up'}";
        const auto samples = [&](int good, const QByteArray &bad) {
            QByteArray list;
            for (int i = 0; i < good; ++i)
                list += sample + ',';
            return "{'samples':{'K':[" + list + bad + "]}}";
        };
        QTest::newRow("time of the first") << samples(0, "{'time':'1','status':'up'}") << "samples.K[0].time";
        QTest::newRow("status of the eleventh") << samples(10, "{'time':1,'status':'late'}") << "samples.K[10].status";
        QTest::newRow("latency of the hundred and first") << samples(100, "{'time':1,'status':'up','latencyMs':true}")
                                                         << "samples.K[100].latencyMs";
        QTest::newRow("missing status") << samples(2, "{'time':1}") << "samples.K[2].status";
        QTest::newRow("status not a string") << samples(1, "{'time':1,'status':1}") << "samples.K[1].status";
        QTest::newRow("series not a list") << QByteArray("{'samples':{'K':{}}}") << "samples.K";
    }

    void errorsNameWhereReadingStopped()
    {
        QFETCH(QByteArray, document);
        QFETCH(QString, path);
        try {
            PollHistory::fromJson(parseJsonDocument(json(document)));
            QFAIL("the damaged history was read");
        } catch (const JsonDecodeError &error) {
            QCOMPARE(error.codingPath(), path);
        }
    }

    void uuidsAreReadStrictly_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("upper") << "6F9619FF-8B86-D011-B42D-00C04FC964FF" << true;
        QTest::newRow("lower") << "6f9619ff-8b86-d011-b42d-00c04fc964ff" << true;
        QTest::newRow("braces") << "{6F9619FF-8B86-D011-B42D-00C04FC964FF}" << false;
        QTest::newRow("no dashes") << "6F9619FF8B86D011B42D00C04FC964FF" << false;
        QTest::newRow("misplaced dash") << "6F9619F-F8B86-D011-B42D-00C04FC964FF" << false;
        QTest::newRow("not hex") << "6F9619FF-8B86-D011-B42D-00C04FC964FG" << false;
        QTest::newRow("empty") << "" << false;
    }

    void uuidsAreReadStrictly()
    {
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        const auto uuid = parseUuid(text);
        QCOMPARE(uuid.has_value(), accepted);
        if (uuid)
            QCOMPARE(uuidText(*uuid), text.toUpper());
    }
};

QTEST_GUILESS_MAIN(tst_Json)
#include "tst_Json.moc"
