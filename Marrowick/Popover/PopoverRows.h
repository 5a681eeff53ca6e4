#pragma once

#include "Marrowick/State/WidgetLayout.h"
#include "MarrowickKit/Async/Instant.h"
#include "MarrowickKit/Engine/SourceMap.h"
#include "MarrowickKit/Model/AnySourceConfig.h"
#include "MarrowickKit/Model/ServiceStatus.h"
#include "MarrowickKit/Model/SourceSnapshot.h"
#include "MarrowickKit/Model/WidgetData.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QUuid>

#include <optional>
#include <type_traits>
#include <variant>

namespace marrowick {

class AppState;

// The popup's rows: each source's last snapshot or error turned into a flat list of rows, one
// source after the other in the user's order, then folded into groups. Pure functions of the
// state, recomputed on every redraw; nothing here draws.
namespace PopoverRows {

// The source's last poll failed.
struct ErrorRow {
    AnySourceConfig source;
    QString message;
    bool operator==(const ErrorRow &) const = default;
};

// The last poll succeeded without any widget.
struct EmptyRow {
    AnySourceConfig source;
    bool operator==(const EmptyRow &) const = default;
};

// A source's one visible widget, carrying the source's name.
struct SingleRow {
    QString key;
    WidgetData widget;
    bool operator==(const SingleRow &) const = default;
};

// The head of a source that shows two or more widgets.
struct HeaderRow {
    AnySourceConfig source;
    qsizetype count = 0;
    QString aggregate;
    std::optional<double> avgLatencyMs;
    ServiceStatus status = ServiceStatus::unknown;
    bool collapsed = false;
    bool operator==(const HeaderRow &) const = default;
};

// One widget under a header, with its own name.
struct ChildRow {
    QString key;
    WidgetData widget;
    bool operator==(const ChildRow &) const = default;
};

class Row {
public:
    using Value = std::variant<ErrorRow, EmptyRow, SingleRow, HeaderRow, ChildRow>;
    enum class Case { error, empty, single, header, child };

    template<typename Payload>
        requires(!std::is_same_v<std::decay_t<Payload>, Row> && std::is_constructible_v<Value, Payload>)
    Row(Payload payload) : m_value(std::move(payload)) {}

    Case rowCase() const { return static_cast<Case>(m_value.index()); }
    const Value &value() const { return m_value; }
    template<typename Payload>
    const Payload *get() const { return std::get_if<Payload>(&m_value); }

    // A prefix per kind of row ("error:", "empty:", "header:" + source id; "single:",
    // "child:" + widget key), so rows of different kinds never share an id.
    QString id() const;
    // The widget of a single or child row.
    const WidgetData *widget() const;
    // The widget key of a single or child row; empty otherwise.
    QString key() const;

    bool operator==(const Row &) const = default;

private:
    Value m_value;
};

class RowGroup {
public:
    struct Group {
        Row header;
        QList<Row> children;
        bool operator==(const Group &) const = default;
    };
    using Value = std::variant<Row, Group>;

    static RowGroup standalone(Row row) { return RowGroup(Value(std::in_place_index<0>, std::move(row))); }
    static RowGroup group(Row header, QList<Row> children)
    {
        return RowGroup(Value(std::in_place_index<1>, Group{std::move(header), std::move(children)}));
    }

    bool isGroup() const { return m_value.index() == 1; }
    // The standalone row, or the group's header.
    const Row &row() const { return isGroup() ? std::get<1>(m_value).header : std::get<0>(m_value); }
    // Empty for a standalone row and for a collapsed group.
    QList<Row> children() const { return isGroup() ? std::get<1>(m_value).children : QList<Row>(); }
    QString id() const { return row().id(); }

    bool operator==(const RowGroup &) const = default;

private:
    explicit RowGroup(Value value) : m_value(std::move(value)) {}
    Value m_value;
};

using StatusCounts = QHash<ServiceStatus, qsizetype>;

// Every source's rows, in the layout's source order.
QList<Row> rows(const AppState &state);
// The rows of one source; none when no source has the id.
QList<Row> rows(const QUuid &sourceID, const QList<AnySourceConfig> &sources, const SourceMap<QString> &errors,
                const SourceMap<SourceSnapshot> &snapshots, const WidgetLayout &layout, const QSet<QString> &collapsed);
// The same for a source already found, so one source's rows cost nothing per other source.
QList<Row> rows(const AnySourceConfig &source, const SourceMap<QString> &errors,
                const SourceMap<SourceSnapshot> &snapshots, const WidgetLayout &layout, const QSet<QString> &collapsed);
// How many rows that makes, without building them: what a source out of sight costs.
qsizetype rowCount(const AnySourceConfig &source, const SourceMap<QString> &errors,
                   const SourceMap<SourceSnapshot> &snapshots, const WidgetLayout &layout, const QSet<QString> &collapsed);
QList<RowGroup> groups(const QList<Row> &rows);

// Up when a game server is online and for labelled values; every other widget's own status.
ServiceStatus widgetStatus(const WidgetData &widget);
// Services, game servers and checks may carry a latency; hosts and labelled values never do.
std::optional<double> widgetLatency(const WidgetData &widget);

// "1 down · 3 up": counts in the order down, warn, unknown, up; empty without widgets.
QString aggregate(const QList<WidgetData> &widgets);
QString aggregateText(const StatusCounts &counts);
// The mean of the latencies present; absent when none is.
std::optional<double> averageLatency(const QList<WidgetData> &widgets);
QList<Instant> fetchTimes(const SourceMap<SourceSnapshot> &snapshots);

} // namespace PopoverRows

} // namespace marrowick
