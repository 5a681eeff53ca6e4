#include "MarrowickKit/Engine/AlertEvaluator.h"

#include <QTest>

using namespace marrowick;
using Kind = AlertEvent::Kind;

namespace {

const QUuid sourceID{QStringLiteral("{2b7c9d10-4e5f-4a6b-8c7d-9e0f1a2b3c4d}")};

AnySourceConfig source(qint64 threshold)
{
    KumaConfig config(sourceID, QStringLiteral("Lab Kuma"), QStringLiteral("http://127.0.0.1:3001"), std::nullopt,
                      std::nullopt, QStringLiteral("home"));
    config.alertThreshold = threshold;
    config.alertsEnabled = false; // muting is not the evaluator's business
    return config;
}

WidgetData service(ServiceStatus status)
{
    return WidgetData::service(ServiceRow{QStringLiteral("7"), QStringLiteral("Jellyfin"), status, std::nullopt, std::nullopt});
}

WidgetData game(bool online, const QString &name = QStringLiteral("Valheim"))
{
    GameServerStatus status;
    status.id = QStringLiteral("valheim");
    status.name = name;
    status.online = online;
    return WidgetData::game(status);
}

SourceSnapshot snapshot(QList<WidgetData> widgets)
{
    return SourceSnapshot{sourceID, Instant{}, std::move(widgets)};
}

ClockReading at(double seconds)
{
    return ClockReading{Instant{seconds}, seconds};
}

const QString jellyfin = QStringLiteral("service:7");
const QString valheim = QStringLiteral("game:valheim");

AlertEvent alert(Kind kind, const QString &title, double since, const QString &widget = {})
{
    return AlertEvent{sourceID, kind, title, at(since), widget, false};
}

// One poll of a scripted sequence: a failure, or a success with the given widgets.
struct Poll {
    bool failed = false;
    QList<WidgetData> widgets;
};

} // namespace

class tst_AlertEvaluator : public QObject {
    Q_OBJECT

private slots:
    // Each poll at time i + 1; the events of every poll are concatenated. Both events of an
    // outage tell the time of its first bad poll.
    void sequences_data()
    {
        QTest::addColumn<qint64>("threshold");
        QTest::addColumn<QList<Poll>>("polls");
        QTest::addColumn<QList<AlertEvent>>("expected");
        const Poll failure{true, {}};
        const Poll success{false, {}};
        const QString unreachable = QStringLiteral("Lab Kuma is unreachable");
        const QString recovered = QStringLiteral("Lab Kuma recovered");

        QTest::newRow("down at the threshold, once, then recovered")
            << qint64(3) << QList<Poll>{failure, failure, failure, failure, failure, success}
            << QList<AlertEvent>{alert(Kind::down, unreachable, 1), alert(Kind::recovered, recovered, 1)};
        QTest::newRow("a success resets the count")
            << qint64(3) << QList<Poll>{failure, failure, success, failure, failure} << QList<AlertEvent>{};
        QTest::newRow("a success starts a new run")
            << qint64(3) << QList<Poll>{failure, success, failure, failure, failure}
            << QList<AlertEvent>{alert(Kind::down, unreachable, 3)};
        for (qint64 threshold : {1, 0, -5}) {
            QTest::addRow("threshold %lld", threshold)
                << threshold << QList<Poll>{failure} << QList<AlertEvent>{alert(Kind::down, unreachable, 1)};
        }
        QTest::newRow("success of a source never down")
            << qint64(1) << QList<Poll>{success, success} << QList<AlertEvent>{};
        QTest::newRow("source recovery before widget down")
            << qint64(1) << QList<Poll>{failure, {false, {service(ServiceStatus::down)}}}
            << QList<AlertEvent>{alert(Kind::down, unreachable, 1), alert(Kind::recovered, recovered, 1),
                                 alert(Kind::down, QStringLiteral("Jellyfin is down"), 2, jellyfin)};

        const Poll rowDown{false, {service(ServiceStatus::down)}};
        const Poll rowUp{false, {service(ServiceStatus::up)}};
        const Poll rowWarn{false, {service(ServiceStatus::warn)}};
        const Poll rowUnknown{false, {service(ServiceStatus::unknown)}};
        QTest::newRow("widget down once, then recovered")
            << qint64(3) << QList<Poll>{rowDown, rowDown, rowDown, rowDown, rowUp}
            << QList<AlertEvent>{alert(Kind::down, QStringLiteral("Jellyfin is down"), 1, jellyfin),
                                 alert(Kind::recovered, QStringLiteral("Jellyfin recovered"), 1, jellyfin)};
        QTest::newRow("warn neither counts nor resets")
            << qint64(2) << QList<Poll>{rowDown, rowWarn, rowDown}
            << QList<AlertEvent>{alert(Kind::down, QStringLiteral("Jellyfin is down"), 1, jellyfin)};
        QTest::newRow("unknown never changes anything")
            << qint64(1) << QList<Poll>{rowUnknown, rowUnknown} << QList<AlertEvent>{};
        QTest::newRow("a failed poll leaves widget counts alone")
            << qint64(2) << QList<Poll>{rowDown, failure, rowDown}
            << QList<AlertEvent>{alert(Kind::down, QStringLiteral("Jellyfin is down"), 1, jellyfin)};
        QTest::newRow("game offline is bad, online good")
            << qint64(1) << QList<Poll>{{false, {game(false)}}, {false, {game(true)}}}
            << QList<AlertEvent>{alert(Kind::down, QStringLiteral("Valheim is down"), 1, valheim),
                                 alert(Kind::recovered, QStringLiteral("Valheim recovered"), 1, valheim)};
        QTest::newRow("labelled values never alert")
            << qint64(1) << QList<Poll>{{false, {WidgetData::keyValues(QStringLiteral("Stats"), {})}}}
            << QList<AlertEvent>{};
        QTest::newRow("a widget gone from the results is forgotten")
            << qint64(1) << QList<Poll>{rowDown, success, rowUp}
            << QList<AlertEvent>{alert(Kind::down, QStringLiteral("Jellyfin is down"), 1, jellyfin)};
        QTest::newRow("a renamed widget keeps its outage")
            << qint64(2)
            << QList<Poll>{{false, {game(false)}}, {false, {game(false)}}, {false, {game(false, QStringLiteral("Vh"))}},
                           {false, {game(true, QStringLiteral("Vh"))}}}
            << QList<AlertEvent>{alert(Kind::down, QStringLiteral("Valheim is down"), 1, valheim),
                                 alert(Kind::recovered, QStringLiteral("Vh recovered"), 1, valheim)};
    }
    void sequences()
    {
        QFETCH(qint64, threshold);
        QFETCH(QList<Poll>, polls);
        QFETCH(QList<AlertEvent>, expected);
        AlertEvaluator evaluator;
        const AnySourceConfig config = source(threshold);
        QList<AlertEvent> events;
        for (qsizetype i = 0; i < polls.size(); ++i) {
            const ClockReading time = at(double(i + 1));
            events += polls.at(i).failed ? evaluator.recordFailure(config, time)
                                         : evaluator.recordSuccess(config, snapshot(polls.at(i).widgets), time);
        }
        QCOMPARE(events, expected);
    }

    // The marks are what a restart keeps: taken up again, a bad poll tells nothing new, a good
    // one recovers the source with its outage's start and whether it was told, and a widget gone
    // from the results goes without a word.
    void downMarksCarryAnOutageOver()
    {
        AlertEvaluator before;
        const AnySourceConfig config = source(1);
        const QList<AlertEvent> down = before.recordFailure(config, at(1));
        QCOMPARE(down.size(), 1);
        before.markAnnounced(down.first());
        AlertEvaluator widgets;
        widgets.recordSuccess(config, snapshot({service(ServiceStatus::down)}), at(2));
        const QList<DownMark> marks = before.downMarks() + widgets.downMarks();
        QCOMPARE(marks, (QList<DownMark>{{sourceID, QString(), at(1), true}, {sourceID, jellyfin, at(2), false}}));

        AlertEvaluator after;
        after.restoreDownMarks(marks);
        QVERIFY(after.recordFailure(config, at(3)).isEmpty());
        QCOMPARE(after.downMarks(), marks);
        const quint64 revision = after.marksRevision();
        const AlertEvent back{sourceID, Kind::recovered, QStringLiteral("Lab Kuma recovered"), at(1), {}, true};
        QCOMPARE(after.recordSuccess(config, snapshot({}), at(4)), QList<AlertEvent>{back});
        QVERIFY(after.downMarks().isEmpty());
        QVERIFY(after.marksRevision() != revision);
    }

    // The key comes from the configuration passed in, so equal rows of two sources count apart.
    void widgetCountsAreKeptPerSource()
    {
        AlertEvaluator evaluator;
        AnySourceConfig one = source(2);
        TCPPortConfig other;
        other.id = QUuid::createUuid();
        other.alertThreshold = 2;
        const auto down = snapshot({service(ServiceStatus::down)});
        QVERIFY(evaluator.recordSuccess(one, down, at(1)).isEmpty());
        QVERIFY(evaluator.recordSuccess(other, down, at(2)).isEmpty());
        const auto events = evaluator.recordSuccess(other, down, at(3));
        QCOMPARE(events.size(), 1);
        QCOMPARE(events.first().sourceID, other.id);
    }
};

QTEST_GUILESS_MAIN(tst_AlertEvaluator)
#include "tst_AlertEvaluator.moc"
