#include "Marrowick/Popover/PopoverRows.h"

#include "Marrowick/State/AppState.h"
#include "MarrowickKit/Model/UuidText.h"

#include <QLocale>
#include <array>

namespace marrowick::PopoverRows {

QString Row::id() const
{
    return std::visit(
        [](const auto &payload) {
            using Payload = std::decay_t<decltype(payload)>;
            if constexpr (std::is_same_v<Payload, ErrorRow>)
                return QStringLiteral("error:") + uuidText(payload.source.id());
            else if constexpr (std::is_same_v<Payload, EmptyRow>)
                return QStringLiteral("empty:") + uuidText(payload.source.id());
            else if constexpr (std::is_same_v<Payload, HeaderRow>)
                return QStringLiteral("header:") + uuidText(payload.source.id());
            else if constexpr (std::is_same_v<Payload, SingleRow>)
                return QStringLiteral("single:") + payload.key;
            else
                return QStringLiteral("child:") + payload.key;
        },
        m_value);
}

const WidgetData *Row::widget() const
{
    if (const auto *single = get<SingleRow>())
        return &single->widget;
    if (const auto *child = get<ChildRow>())
        return &child->widget;
    return nullptr;
}

QString Row::key() const
{
    if (const auto *single = get<SingleRow>())
        return single->key;
    if (const auto *child = get<ChildRow>())
        return child->key;
    return QString();
}

QList<Row> rows(const AppState &state)
{
    const WidgetLayout &layout = state.widgetLayout();
    QHash<QUuid, const AnySourceConfig *> byID;
    byID.reserve(state.sources().size());
    // Walked backwards so that, of two sources with one id, the first one wins.
    for (auto it = state.sources().crbegin(); it != state.sources().crend(); ++it)
        byID.insert(it->id(), &*it);

    QList<Row> result;
    for (const QUuid &id : layout.orderedSources(state.sources())) {
        if (const AnySourceConfig *source = byID.value(id))
            result.append(rows(*source, state.errors(), state.snapshots(), layout, layout.collapsed));
    }
    return result;
}

QList<Row> rows(const QUuid &sourceID, const QList<AnySourceConfig> &sources, const SourceMap<QString> &errors,
                const SourceMap<SourceSnapshot> &snapshots, const WidgetLayout &layout, const QSet<QString> &collapsed)
{
    for (const AnySourceConfig &source : sources) {
        if (source.id() == sourceID)
            return rows(source, errors, snapshots, layout, collapsed);
    }
    return {};
}

QList<Row> rows(const AnySourceConfig &source, const SourceMap<QString> &errors,
                const SourceMap<SourceSnapshot> &snapshots, const WidgetLayout &layout, const QSet<QString> &collapsed)
{
    const QUuid id = source.id();
    if (const QString *message = errors.find(id))
        return {ErrorRow{source, *message}};
    const SourceSnapshot *snapshot = snapshots.find(id);
    if (!snapshot)
        return {};
    if (snapshot->widgets.isEmpty())
        return {EmptyRow{source}};

    QList<WidgetEntry> entries;
    entries.reserve(snapshot->widgets.size());
    for (const WidgetData &widget : snapshot->widgets)
        entries.append(WidgetEntry{widget.scopedID(id), widget});
    const QList<WidgetEntry> visible = layout.visibleEntries(entries);
    if (visible.isEmpty())
        return {};
    if (visible.size() == 1)
        return {SingleRow{visible.front().key, visible.front().widget.renamed(source.displayName())}};

    QList<WidgetData> visibleWidgets;
    visibleWidgets.reserve(visible.size());
    for (const WidgetEntry &entry : visible)
        visibleWidgets.append(entry.widget);
    const bool isCollapsed = collapsed.contains(uuidText(id));
    // The status counts hidden widgets too: a hidden widget that is down still marks its source.
    QList<Row> result{HeaderRow{source, visible.size(), aggregate(visibleWidgets), averageLatency(visibleWidgets),
                                AppState::worstStatus(snapshot->widgets), isCollapsed}};
    if (isCollapsed)
        return result;
    for (const WidgetEntry &entry : visible)
        result.append(ChildRow{entry.key, entry.widget});
    return result;
}

qsizetype rowCount(const AnySourceConfig &source, const SourceMap<QString> &errors,
                   const SourceMap<SourceSnapshot> &snapshots, const WidgetLayout &layout, const QSet<QString> &collapsed)
{
    const QUuid id = source.id();
    if (errors.contains(id))
        return 1;
    const SourceSnapshot *snapshot = snapshots.find(id);
    if (!snapshot)
        return 0;
    if (snapshot->widgets.isEmpty())
        return 1;
    // Widgets sharing an id are shown once, as the layout's ordering does.
    const QList<WidgetData> &widgets = snapshot->widgets;
    QSet<QString> seen;
    const bool manyWidgets = widgets.size() > 32;
    const auto repeated = [&](qsizetype index) {
        const QString widgetID = widgets.at(index).id();
        if (manyWidgets) {
            const bool known = seen.contains(widgetID);
            seen.insert(widgetID);
            return known;
        }
        for (qsizetype earlier = 0; earlier < index; ++earlier) {
            if (widgets.at(earlier).id() == widgetID)
                return true;
        }
        return false;
    };
    qsizetype visible = 0;
    for (qsizetype i = 0; i < widgets.size(); ++i) {
        if (!repeated(i) && (layout.hidden.isEmpty() || !layout.hidden.contains(widgets.at(i).scopedID(id))))
            ++visible;
    }
    if (visible <= 1)
        return visible;
    return collapsed.contains(uuidText(id)) ? 1 : 1 + visible;
}

QList<RowGroup> groups(const QList<Row> &rows)
{
    QList<RowGroup> result;
    qsizetype index = 0;
    while (index < rows.size()) {
        const Row &row = rows.at(index++);
        if (row.rowCase() != Row::Case::header) {
            result.append(RowGroup::standalone(row));
            continue;
        }
        QList<Row> children;
        while (index < rows.size() && rows.at(index).rowCase() == Row::Case::child)
            children.append(rows.at(index++));
        result.append(RowGroup::group(row, std::move(children)));
    }
    return result;
}

ServiceStatus widgetStatus(const WidgetData &widget)
{
    return AppState::historyStatus(widget);
}

std::optional<double> widgetLatency(const WidgetData &widget)
{
    return AppState::historyLatency(widget);
}

QString aggregate(const QList<WidgetData> &widgets)
{
    StatusCounts counts;
    for (const WidgetData &widget : widgets)
        ++counts[widgetStatus(widget)];
    return aggregateText(counts);
}

QString aggregateText(const StatusCounts &counts)
{
    static constexpr std::array order{ServiceStatus::down, ServiceStatus::warn, ServiceStatus::unknown,
                                      ServiceStatus::up};
    QStringList pieces;
    for (const ServiceStatus status : order) {
        const auto it = counts.constFind(status);
        if (it != counts.cend())
            pieces.append(QLocale().toString(it.value()) + QLatin1Char(' ') + serviceStatusText(status));
    }
    return pieces.join(QStringLiteral(" \u00B7 "));
}

std::optional<double> averageLatency(const QList<WidgetData> &widgets)
{
    double sum = 0;
    qsizetype count = 0;
    for (const WidgetData &widget : widgets) {
        if (const std::optional<double> latency = widgetLatency(widget)) {
            sum += *latency;
            ++count;
        }
    }
    if (count == 0)
        return std::nullopt;
    return sum / static_cast<double>(count);
}

QList<Instant> fetchTimes(const SourceMap<SourceSnapshot> &snapshots)
{
    QList<Instant> times;
    times.reserve(snapshots.size());
    snapshots.forEach([&times](const QUuid &, const SourceSnapshot &snapshot) { times.append(snapshot.fetchedAt); });
    return times;
}

} // namespace marrowick::PopoverRows
