#include "Marrowick/Popover/GameRowView.h"
#include "Marrowick/Popover/HostRowView.h"
#include "Marrowick/Popover/LatencyPill.h"
#include "Marrowick/Popover/MetricRing.h"
#include "Marrowick/Popover/PopoverRows.h"
#include "Marrowick/Style/RelativeTimeText.h"
#include "Marrowick/Style/StatusOrb.h"
#include "MarrowickKit/Model/UuidText.h"

#include "State/AppStateRig.h"

#include <QTest>

using namespace marrowick;
using namespace marrowick::PopoverRows;

namespace {

const QUuid sourceID = QUuid::fromString(QStringLiteral("{11111111-2222-3333-4444-555555555555}"));

WidgetData service(const QString &id, ServiceStatus status, std::optional<double> latency = std::nullopt)
{
    return WidgetData::service(ServiceRow{id, id, status, latency, std::nullopt});
}
WidgetData check(const QString &id, ServiceStatus status, std::optional<double> latency = std::nullopt)
{
    return WidgetData::check(CheckResult{id, id, status, latency, std::nullopt});
}
WidgetData game(const QString &id, bool online)
{
    return WidgetData::game(GameServerStatus{id, id, online, {}, {}, {}, std::nullopt, {}});
}
WidgetData host(const QString &id, ServiceStatus status = ServiceStatus::up)
{
    return WidgetData::host(HostStats{id, id, status, {}, {}, {}, {}});
}
WidgetData values(const QString &title)
{
    return WidgetData::keyValues(title, {});
}

AnySourceConfig source()
{
    return TCPPortConfig(sourceID, QStringLiteral("Lab"), QStringLiteral("127.0.0.1"), 22);
}

QString key(const WidgetData &widget)
{
    return widget.scopedID(sourceID);
}

// The rows of the one source, written as ids and the header's fields.
QStringList describe(const QList<Row> &rows)
{
    QStringList lines;
    for (const Row &row : rows) {
        QString line = row.id().section(QLatin1Char(':'), 0, 0);
        if (const auto *header = row.get<HeaderRow>()) {
            line += QStringLiteral(" %1 [%2] %3 %4%5")
                        .arg(header->count)
                        .arg(header->aggregate)
                        .arg(header->avgLatencyMs ? QString::number(*header->avgLatencyMs) : QStringLiteral("-"))
                        .arg(serviceStatusText(header->status))
                        .arg(header->collapsed ? QStringLiteral(" collapsed") : QString());
        } else if (const auto *error = row.get<ErrorRow>()) {
            line += QLatin1Char(' ') + error->message;
        } else if (const WidgetData *widget = row.widget()) {
            line += QLatin1Char(' ') + widget->displayName();
        }
        lines.append(line);
    }
    return lines;
}

using Widgets = QList<WidgetData>;

} // namespace

class TestPopoverRows : public QObject {
    Q_OBJECT

private slots:
    void rowsOfOneSource_data()
    {
        QTest::addColumn<std::optional<Widgets>>("snapshot");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QStringList>("hidden");
        QTest::addColumn<bool>("collapsed");
        QTest::addColumn<QStringList>("expected");

        const WidgetData up = service(QStringLiteral("web"), ServiceStatus::up, 10);
        const WidgetData down = check(QStringLiteral("dns"), ServiceStatus::down, 30);
        const Widgets two{up, down};
        const std::optional<Widgets> none;
        QTest::newRow("not answered yet") << none << QString() << QStringList() << false << QStringList();
        QTest::newRow("error wins over an old snapshot")
            << std::optional(two) << QStringLiteral("timed out") << QStringList() << false
            << QStringList{QStringLiteral("error timed out")};
        QTest::newRow("no widgets") << std::optional(Widgets()) << QString() << QStringList() << false
                                    << QStringList{QStringLiteral("empty")};
        QTest::newRow("all hidden") << std::optional(two) << QString() << QStringList{key(up), key(down)} << false
                                    << QStringList();
        QTest::newRow("one visible takes the source's name")
            << std::optional(two) << QString() << QStringList{key(down)} << false
            << QStringList{QStringLiteral("single Lab")};
        QTest::newRow("two visible")
            << std::optional(two) << QString() << QStringList() << false
            << QStringList{QStringLiteral("header 2 [1 down \u00B7 1 up] 20 down"), QStringLiteral("child web"),
                           QStringLiteral("child dns")};
        QTest::newRow("a hidden down widget still marks the header")
            << std::optional(Widgets{up, service(QStringLiteral("api"), ServiceStatus::up), down}) << QString()
            << QStringList{key(down)} << false
            << QStringList{QStringLiteral("header 2 [2 up] 10 down"), QStringLiteral("child web"),
                           QStringLiteral("child api")};
        QTest::newRow("collapsed shows the header alone")
            << std::optional(two) << QString() << QStringList() << true
            << QStringList{QStringLiteral("header 2 [1 down \u00B7 1 up] 20 down collapsed")};
        QTest::newRow("a repeated widget is shown once")
            << std::optional(Widgets{up, up, down}) << QString() << QStringList() << false
            << QStringList{QStringLiteral("header 2 [1 down \u00B7 1 up] 20 down"), QStringLiteral("child web"),
                           QStringLiteral("child dns")};
        QTest::newRow("hosts and values have no latency")
            << std::optional(Widgets{host(QStringLiteral("nas")), values(QStringLiteral("Stats"))}) << QString()
            << QStringList() << false
            << QStringList{QStringLiteral("header 2 [2 up] - up"), QStringLiteral("child nas"),
                           QStringLiteral("child Stats")};
    }
    void rowsOfOneSource()
    {
        QFETCH(std::optional<Widgets>, snapshot);
        QFETCH(QString, error);
        QFETCH(QStringList, hidden);
        QFETCH(bool, collapsed);
        QFETCH(QStringList, expected);

        SourceMap<SourceSnapshot> snapshots;
        if (snapshot)
            snapshots.insert(sourceID, SourceSnapshot{sourceID, Instant{}, *snapshot});
        SourceMap<QString> errors;
        if (!error.isEmpty())
            errors.insert(sourceID, error);
        WidgetLayout layout;
        layout.hidden = QSet<QString>(hidden.cbegin(), hidden.cend());
        if (collapsed)
            layout.collapsed.insert(uuidText(sourceID));

        const QList<Row> result = rows(sourceID, {source()}, errors, snapshots, layout, layout.collapsed);
        QCOMPARE(describe(result), expected);
        QCOMPARE(rowCount(source(), errors, snapshots, layout, layout.collapsed), result.size());
        QCOMPARE(rows(QUuid::createUuid(), {source()}, errors, snapshots, layout, layout.collapsed), QList<Row>());
    }

    void groupsFoldChildrenUnderTheirHeader()
    {
        const WidgetData a = service(QStringLiteral("a"), ServiceStatus::up);
        const Row header = HeaderRow{source(), 2, {}, {}, ServiceStatus::up, false};
        const Row collapsed = HeaderRow{source(), 2, {}, {}, ServiceStatus::up, true};
        const Row child = ChildRow{key(a), a};
        const Row single = SingleRow{key(a), a};
        const Row error = ErrorRow{source(), QStringLiteral("x")};

        const QList<RowGroup> result = groups({child, header, child, child, error, collapsed, single});
        QCOMPARE(result.size(), 5);
        QVERIFY(!result[0].isGroup()); // a child without a header stands alone
        QCOMPARE(result[1], RowGroup::group(header, {child, child}));
        QCOMPARE(result[2], RowGroup::standalone(error));
        QCOMPARE(result[3].children().size(), 0);
        QCOMPARE(result[4].id(), single.id());
        QCOMPARE(groups({}), QList<RowGroup>());

        // Rows of one source or one widget differ only in their prefix.
        const QString idText = uuidText(sourceID);
        QCOMPARE(error.id(), QStringLiteral("error:") + idText);
        QCOMPARE(Row(EmptyRow{source()}).id(), QStringLiteral("empty:") + idText);
        QCOMPARE(header.id(), QStringLiteral("header:") + idText);
        QCOMPARE(single.id(), QStringLiteral("single:") + key(a));
        QCOMPARE(child.id(), QStringLiteral("child:") + key(a));
    }

    void summaries_data()
    {
        QTest::addColumn<Widgets>("widgets");
        QTest::addColumn<QString>("worst");
        QTest::addColumn<QString>("aggregate");
        QTest::addColumn<QString>("average");

        const auto up = [](const QString &id) { return service(id, ServiceStatus::up); };
        QTest::newRow("none") << Widgets() << "unknown" << "" << "-";
        QTest::newRow("unknown then up") << Widgets{service("a", ServiceStatus::unknown), up("b")} << "up"
                                         << "1 unknown \u00B7 1 up" << "-";
        QTest::newRow("warn stays over up") << Widgets{up("a"), service("b", ServiceStatus::warn), up("c")} << "warn"
                                            << "1 warn \u00B7 2 up" << "-";
        QTest::newRow("offline game is down") << Widgets{check("a", ServiceStatus::warn, 5), game("g", false)}
                                              << "down" << "1 down \u00B7 1 warn" << "5";
        QTest::newRow("online game is up") << Widgets{game("g", true)} << "up" << "1 up" << "-";
        QTest::newRow("mean of present latencies")
            << Widgets{service("s", ServiceStatus::up, 10), check("c", ServiceStatus::up, 30), host("h")} << "up"
            << "3 up" << "20";
        QTest::newRow("pieces in fixed order")
            << Widgets{up("a"), service("b", ServiceStatus::unknown), service("c", ServiceStatus::warn)} << "warn"
            << "1 warn \u00B7 1 unknown \u00B7 1 up" << "-";
    }
    void summaries()
    {
        QFETCH(Widgets, widgets);
        QFETCH(QString, worst);
        QFETCH(QString, aggregate);
        QFETCH(QString, average);
        QCOMPARE(serviceStatusText(AppState::worstStatus(widgets)), worst);
        QCOMPARE(PopoverRows::aggregate(widgets), aggregate);
        const std::optional<double> mean = averageLatency(widgets);
        QCOMPARE(mean ? QString::number(*mean) : QStringLiteral("-"), average);
    }

    void sourcesFollowTheLayoutOrder()
    {
        // Layout order first, then the rest in stored order; a source that has not answered adds nothing.
        test::AppStateRig rig;
        const QUuid a = QUuid::createUuid(), b = QUuid::createUuid(), c = QUuid::createUuid();
        AppState &state = rig.build(true);
        QVERIFY(rows(state).isEmpty());
        for (const QUuid &id : {a, b, c})
            state.addSource(test::tcpSource(id, uuidText(id)));
        WidgetLayout layout;
        layout.sourceOrder = {uuidText(c), QStringLiteral("not an id")};
        state.setWidgetLayout(layout);
        const Completion<Done> answer = rig.providers.holdNext(b);
        rig.clock.advance(0);

        QStringList names;
        for (const Row &row : rows(state))
            names.append(row.widget()->displayName());
        answer.complete(Done{});
        rig.clock.settle();
        QCOMPARE(names, (QStringList{uuidText(c), uuidText(a)}));
    }

    void fetchTimesHoldEverySnapshot()
    {
        SourceMap<SourceSnapshot> snapshots;
        QVERIFY(fetchTimes(snapshots).isEmpty());
        snapshots.insert(sourceID, SourceSnapshot{sourceID, Instant{42}, {}});
        QCOMPARE(fetchTimes(snapshots), QList<Instant>{Instant{42}});
    }

    void relativeTime_data()
    {
        QTest::addColumn<double>("elapsed");
        QTest::addColumn<QString>("expected");
        QTest::newRow("4.9 s") << 4.9 << "just now";
        QTest::newRow("5 s") << 5.0 << "5s ago";
        QTest::newRow("59.9 s") << 59.9 << "59s ago";
        QTest::newRow("60 s") << 60.0 << "1m ago";
        QTest::newRow("3599 s") << 3599.0 << "59m ago";
        QTest::newRow("3600 s") << 3600.0 << "1h ago";
        QTest::newRow("86399 s") << 86399.0 << "23h ago";
        QTest::newRow("86400 s") << 86400.0 << "1d ago";
        QTest::newRow("in the future") << -10.0 << "just now";
        QTest::newRow("a peer's absurd date") << 1e300 << "1000000000000000d ago";
        QTest::newRow("not a number") << std::nan("") << "just now";
    }
    void relativeTime()
    {
        QFETCH(double, elapsed);
        QFETCH(QString, expected);
        const Instant date{1000};
        QCOMPARE(RelativeTimeText::text(date, Instant{1000 + elapsed}), expected);
    }

    // The texts and colours the row pieces derive from a peer's numbers.
    void pieceTexts_data()
    {
        QTest::addColumn<QString>("actual");
        QTest::addColumn<QString>("expected");
        const QColor accent(Qt::blue);
        const auto ring = [&](std::optional<double> pct) {
            const QColor color = MetricRing::ringColor(pct, accent);
            const QString name = color == accent                              ? QStringLiteral("accent")
                                 : color == statusColor(ServiceStatus::down)   ? QStringLiteral("red")
                                 : color == statusColor(ServiceStatus::warn)   ? QStringLiteral("yellow")
                                 : color == statusColor(ServiceStatus::unknown) ? QStringLiteral("gray")
                                                                                : QStringLiteral("?");
            return QStringLiteral("%1 %2 %3").arg(name, QString::number(MetricRing::fillFraction(pct)),
                                                  MetricRing::percentText(pct));
        };
        QTest::newRow("no latency") << latencyText(QStringLiteral("avg"), std::nullopt) << "\u2014";
        QTest::newRow("latency truncated") << latencyText(std::nullopt, 12.9) << "12ms";
        QTest::newRow("zero latency") << latencyText(std::nullopt, 0.0) << "0ms";
        QTest::newRow("prefixed latency") << latencyText(QStringLiteral("average"), 41.7) << "average 41ms";
        QTest::newRow("absurd latency") << latencyText(std::nullopt, 1e300) << "1000000000ms";
        QTest::newRow("latency not a number") << latencyText(std::nullopt, std::nan("")) << "0ms";
        QTest::newRow("ring absent") << ring(std::nullopt) << "gray 0 \u2014";
        QTest::newRow("ring 90") << ring(90) << "yellow 0.9 90%";
        QTest::newRow("ring 90.5") << ring(90.5) << "red 0.905 90%";
        QTest::newRow("ring 70") << ring(70) << "accent 0.7 70%";
        QTest::newRow("ring 70.1") << ring(70.1) << "yellow 0.701 70%";
        QTest::newRow("ring 150") << ring(150) << "red 1 150%";
        QTest::newRow("ring -5") << ring(-5) << "accent 0 -5%";
        QTest::newRow("ring 99.9") << ring(99.9) << "red 0.999 99%";
        QTest::newRow("ring -1e300") << ring(-1e300) << "accent 0 -1000000000%";
        QTest::newRow("ring not a number") << ring(std::nan("")) << "gray 0 \u2014";
        QTest::newRow("players") << playersText(3, 20) << "3/20 players";
        QTest::newRow("players, no count") << playersText(std::nullopt, 20) << "\u2014/20 players";
        QTest::newRow("players, no maximum") << playersText(3, std::nullopt) << "3 players";
        QTest::newRow("players, nothing") << playersText(std::nullopt, std::nullopt) << "\u2014 players";
        QTest::newRow("three names") << playerNamesText({"a", "b", "c"}) << "a, b, c";
        QTest::newRow("five names") << playerNamesText({"a", "b", "c", "d", "e"}) << "a, b, c +2";
        QTest::newRow("hottest drive") << *HostRowView::temperatureText({{"a", 41.9}, {"b", 55.2}}) << "55\u00B0C";
        QTest::newRow("absurd drive") << *HostRowView::temperatureText({{"a", 1e300}}) << "1000000\u00B0C";
    }
    void pieceTexts()
    {
        QFETCH(QString, actual);
        QFETCH(QString, expected);
        QCOMPARE(actual, expected);
    }
};

QTEST_GUILESS_MAIN(TestPopoverRows)
#include "tst_PopoverRows.moc"
