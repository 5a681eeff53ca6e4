#include "MarrowickKit/Providers/JSONPathEvaluator.h"

#include <QTest>

using namespace marrowick;

class TestJSONPathEvaluator : public QObject {
    Q_OBJECT
private slots:
    void value_data();
    void value();
    void deepNestingGivesNothing();
};

namespace {

const QByteArray document = R"({"data": {"version": "1.2", "ok": true, "off": false, "n": 3, "neg": -7, "half": 1.5,
    "big": 12345678901234567890, "tiny": 1e-7, "x": null, "list": [10, 20], "obj": {"a": 1},
    "0": "zero key", "a.b": "dotted", "uni": "Grüße 🌍"}})";

} // namespace

void TestJSONPathEvaluator::value_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected"); // a null text stands for nothing

    const QString nothing;
    QTest::newRow("text") << document << "data.version" << "1.2";
    QTest::newRow("true") << document << "data.ok" << "true";
    QTest::newRow("false") << document << "data.off" << "false";
    QTest::newRow("integer") << document << "data.n" << "3";
    QTest::newRow("negative integer") << document << "data.neg" << "-7";
    QTest::newRow("fraction") << document << "data.half" << "1.5";
    QTest::newRow("huge integer") << document << "data.big" << "12345678901234567000";
    QTest::newRow("tiny fraction") << document << "data.tiny" << "1e-07";
    QTest::newRow("unicode text") << document << "data.uni" << QStringLiteral("Grüße 🌍");
    QTest::newRow("null") << document << "data.x" << nothing;
    QTest::newRow("array leaf") << document << "data.list" << nothing;
    QTest::newRow("object leaf") << document << "data.obj" << nothing;
    QTest::newRow("index") << document << "data.list.1" << "20";
    QTest::newRow("index with plus") << document << "data.list.+0" << "10";
    QTest::newRow("index past end") << document << "data.list.2" << nothing;
    QTest::newRow("negative index") << document << "data.list.-1" << nothing;
    QTest::newRow("word as index") << document << "data.list.one" << nothing;
    QTest::newRow("index with space") << document << "data.list. 1" << nothing;
    QTest::newRow("index beyond 64 bits") << document << "data.list.99999999999999999999" << nothing;
    QTest::newRow("digit key on object") << document << "data.0" << "zero key";
    QTest::newRow("key with full stop unreachable") << document << "data.a.b" << nothing;
    QTest::newRow("step into scalar") << document << "data.version.length" << nothing;
    QTest::newRow("missing member") << document << "data.nope" << nothing;
    QTest::newRow("doubled full stops") << document << "..data..version." << "1.2";
    QTest::newRow("empty path") << document << "" << nothing;
    QTest::newRow("only full stops") << document << "..." << nothing;
    QTest::newRow("array root") << QByteArray(R"([{"name": "first"}, {"name": "second"}])") << "0.name" << "first";
    QTest::newRow("scalar document") << QByteArray("42") << "0" << nothing;
    QTest::newRow("text document") << QByteArray("\"x\"") << "" << nothing;
    QTest::newRow("not JSON") << QByteArray("<html>") << "data" << nothing;
    QTest::newRow("truncated") << QByteArray(R"({"data": {"version": "1.)") << "data.version" << nothing;
    QTest::newRow("empty body") << QByteArray() << "data" << nothing;
    QTest::newRow("invalid UTF-8") << QByteArray("{\"a\": \"\xff\xfe\"}") << "a" << nothing;
    QTest::newRow("duplicate keys") << QByteArray(R"({"a": 1, "a": 2})") << "a" << "2";
}

void TestJSONPathEvaluator::value()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, path);
    QFETCH(QString, expected);
    const auto found = JSONPathEvaluator::value(path, json);
    QCOMPARE(found.has_value(), !expected.isNull());
    if (found)
        QCOMPARE(*found, expected);
}

void TestJSONPathEvaluator::deepNestingGivesNothing()
{
    const QByteArray deep = QByteArray(100000, '[') + QByteArray(100000, ']');
    QVERIFY(!JSONPathEvaluator::value(QStringLiteral("0.0.0"), deep));
}

QTEST_GUILESS_MAIN(TestJSONPathEvaluator)
#include "tst_JSONPathEvaluator.moc"
