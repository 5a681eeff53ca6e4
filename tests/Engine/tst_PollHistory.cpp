#include "MarrowickKit/Model/JsonReading.h"
#include "MarrowickKit/Model/JsonWriter.h"
#include "MarrowickKit/Engine/PollHistory.h"
#include "MarrowickKit/Model/UuidText.h"

#include "support/TestSupport.h"

#include <QTest>

#include <cmath>
#include <limits>

using namespace marrowick;

namespace {

const QUuid sourceID{QStringLiteral("{a1b2c3d4-e5f6-4a7b-8c9d-0e1f2a3b4c5d}")};
const QString key = uuidText(sourceID) + QStringLiteral("/check:a");

HistorySample sample(double time, std::optional<double> latency = 12.5, ServiceStatus status = ServiceStatus::up)
{
    return HistorySample{Instant{time}, latency, status};
}

WidgetData check(const QString &id, ServiceStatus status, std::optional<double> latency)
{
    return WidgetData::check(CheckResult{id, QStringLiteral("Check ") + id, status, latency, std::nullopt});
}

ServiceStatus statusOf(const WidgetData &widget)
{
    return widget.get<CheckResult>()->status;
}

std::optional<double> latencyOf(const WidgetData &widget)
{
    return widget.get<CheckResult>()->latencyMs;
}

PollHistory roundTrip(const PollHistory &history)
{
    return PollHistory::fromJson(parseJsonDocument(writeJson(history.toJson(), JsonStyle::compact)));
}

} // namespace

class tst_PollHistory : public QObject {
    Q_OBJECT

private slots:
    void aSeriesKeepsTheNewest500()
    {
        PollHistory history;
        for (int i = 0; i < 501; ++i)
            history.append(key, sample(i));
        const auto series = history.samples(key);
        QCOMPARE(series.size(), HistoryLimits::samplesPerWidget);
        QCOMPARE(series.first(), sample(1));
        QCOMPARE(series.last(), sample(500));
    }

    void retentionIsSevenDaysInclusive_data()
    {
        QTest::addColumn<double>("age");
        QTest::addColumn<bool>("kept");
        QTest::newRow("exactly 7 days") << HistoryLimits::retention << true;
        QTest::newRow("a millisecond older") << HistoryLimits::retention + 0.001 << false;
        QTest::newRow("newer than the reference") << -10.0 << true;
    }
    void retentionIsSevenDaysInclusive()
    {
        QFETCH(double, age);
        QFETCH(bool, kept);
        const double now = 700000000.25;
        PollHistory appended;
        appended.append(key, sample(now - age));
        appended.append(key, sample(now), Instant{now});
        QCOMPARE(appended.samples(key).size(), kept ? 2 : 1);

        PollHistory trimmed(PollHistory::Samples{{key, {sample(now - age)}}});
        trimmed.trim(Instant{now});
        QCOMPARE(trimmed.samples().contains(key), kept);
    }

    // Without a reference nothing goes for its age, however late the new sample is dated; every
    // series stays in the order of its times, also one read out of order.
    void aSeriesKeepsTimeOrderAndNoSampleDatesTheOthersOut()
    {
        PollHistory history;
        for (const double time : {10.0, 30.0, 20.0, 20.5, 10.0})
            history.append(key, sample(time, time));
        history.append(key, sample(30 + 8 * 86400.0, 1.0));
        QCOMPARE(history.latencies(key), (QList<double>{10, 10, 20, 20.5, 30, 1}));

        PollHistory stored(PollHistory::Samples{{key, {sample(30, 3), sample(10, 1), sample(20, 2)}}});
        stored.trim(Instant{30});
        QCOMPARE(stored.latencies(key), (QList<double>{1, 2, 3}));
    }

    void recordAddsOneSamplePerWidgetInOrder()
    {
        PollHistory history;
        history.record(SourceSnapshot{sourceID, Instant{5}, {}}, statusOf, latencyOf);
        QVERIFY(history.samples().isEmpty());

        const SourceSnapshot snapshot{sourceID,
                                      Instant{10},
                                      {check(QStringLiteral("a"), ServiceStatus::up, 3.0),
                                       check(QStringLiteral("a"), ServiceStatus::down, std::nullopt),
                                       check(QStringLiteral("b"), ServiceStatus::warn, 7.0)}};
        history.record(snapshot, statusOf, latencyOf);
        QCOMPARE(history.samples(key),
                 (PollHistory::Series{sample(10, 3.0), sample(10, std::nullopt, ServiceStatus::down)}));
        QCOMPARE(history.latencies(key), QList<double>{3.0});
        QCOMPARE(history.samples().size(), 2);
        QVERIFY(history.latencies(QStringLiteral("nothing")).isEmpty());
    }

    void removeSourcesNotIn_data()
    {
        QTest::addColumn<QSet<QUuid>>("keep");
        QTest::addColumn<QStringList>("remaining");
        const QUuid other = QUuid::createUuid();
        QTest::newRow("none kept") << QSet<QUuid>{} << QStringList{};
        QTest::newRow("one kept") << QSet<QUuid>{sourceID, other} << QStringList{key};
    }
    void removeSourcesNotIn()
    {
        QFETCH(QSet<QUuid>, keep);
        QFETCH(QStringList, remaining);
        PollHistory history(PollHistory::Samples{
            {key, {sample(1)}},
            {uuidText(QUuid::createUuid()) + QStringLiteral("/check:x"), {sample(1)}},
            {uuidText(sourceID), {sample(1)}},                                       // no "/"
            {uuidText(sourceID).toLower() + QStringLiteral("/check:a"), {sample(1)}}, // not the key form
        });
        history.removeSourcesNotIn(keep);
        QCOMPARE(history.samples().keys(), remaining);
    }

    void jsonRoundTrip_data()
    {
        QTest::addColumn<PollHistory>("history");
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("empty") << PollHistory() << QByteArray(R"({"samples":{}})");
        QTest::newRow("no latency") << PollHistory(PollHistory::Samples{{QStringLiteral("k"), {sample(1.5, std::nullopt)}}})
                                    << QByteArray(R"({"samples":{"k":[{"status":"up","time":1.5}]}})");
        QTest::newRow("fractions kept") << PollHistory(PollHistory::Samples{{key, {sample(786432000.123456789, 0.1)}}})
                                        << QByteArray();
    }
    void jsonRoundTrip()
    {
        QFETCH(PollHistory, history);
        QFETCH(QByteArray, json);
        if (!json.isEmpty())
            QCOMPARE(writeJson(history.toJson(), JsonStyle::compact), json);
        QCOMPARE(roundTrip(history), history);
    }

    void aNonFiniteLatencyIsNotWritten()
    {
        const PollHistory history(PollHistory::Samples{{key, {sample(1, std::numeric_limits<double>::quiet_NaN())}}});
        QCOMPARE(roundTrip(history).samples(key), PollHistory::Series{sample(1, std::nullopt)});
    }

    void strictReading_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("readable");
        QTest::newRow("null latency") << QByteArray(R"({"samples":{"k":[{"time":1,"latencyMs":null,"status":"down"}]}})") << true;
        QTest::newRow("unknown member") << QByteArray(R"({"samples":{},"version":2})") << true;
        QTest::newRow("no samples") << QByteArray(R"({})") << false;
        QTest::newRow("samples a list") << QByteArray(R"({"samples":[]})") << false;
        QTest::newRow("series an object") << QByteArray(R"({"samples":{"k":{}}})") << false;
        QTest::newRow("no time") << QByteArray(R"({"samples":{"k":[{"status":"up"}]}})") << false;
        QTest::newRow("time a string") << QByteArray(R"({"samples":{"k":[{"time":"1","status":"up"}]}})") << false;
        QTest::newRow("unknown status") << QByteArray(R"({"samples":{"k":[{"time":1,"status":"UP"}]}})") << false;
        QTest::newRow("latency a string") << QByteArray(R"({"samples":{"k":[{"time":1,"latencyMs":"3","status":"up"}]}})") << false;
    }
    void strictReading()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, readable);
        const auto error = test::thrownBy([&] { PollHistory::fromJson(parseJsonDocument(json)); });
        QCOMPARE(!error, readable);
    }
};

QTEST_GUILESS_MAIN(tst_PollHistory)
#include "tst_PollHistory.moc"
