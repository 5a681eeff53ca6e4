#include "Marrowick/Popover/PopoverSummary.h"

#include <QLocale>
namespace marrowick::PopoverSummary {

namespace {

QString servicesText(qsizetype n, const QString &what)
{
    return QLocale().toString(n) + (n == 1 ? QStringLiteral(" service ") : QStringLiteral(" services ")) + what;
}

} // namespace

PopoverRows::StatusCounts statusCounts(const SourceMap<SourceSnapshot> &snapshots, const SourceMap<QString> &errors)
{
    PopoverRows::StatusCounts counts;
    snapshots.forEach([&](const QUuid &id, const SourceSnapshot &snapshot) {
        if (errors.contains(id))
            return;
        for (const WidgetData &widget : snapshot.widgets)
            ++counts[PopoverRows::widgetStatus(widget)];
    });
    if (!errors.isEmpty())
        counts[ServiceStatus::down] += errors.size();
    return counts;
}

std::optional<QString> affectedText(const PopoverRows::StatusCounts &counts)
{
    const qsizetype affected = counts.value(ServiceStatus::down) + counts.value(ServiceStatus::warn);
    if (affected >= 1)
        return servicesText(affected, QStringLiteral("affected"));
    const qsizetype online = counts.value(ServiceStatus::up);
    if (online >= 1)
        return servicesText(online, QStringLiteral("online"));
    return std::nullopt;
}

std::optional<QString> affectedText(const SourceMap<SourceSnapshot> &snapshots, const SourceMap<QString> &errors)
{
    return affectedText(statusCounts(snapshots, errors));
}

std::optional<QString> inactiveText(const SourceMap<SourceSnapshot> &snapshots)
{
    qsizetype total = 0;
    snapshots.forEach([&total](const QUuid &, const SourceSnapshot &snapshot) { total += snapshot.widgets.size(); });
    if (total < 1)
        return std::nullopt;
    return servicesText(total, QStringLiteral("inactive"));
}

QString summaryText(OverallStatus status, bool hasSources)
{
    switch (status) {
    case OverallStatus::up:
        return QStringLiteral("All systems up");
    case OverallStatus::degraded:
        return QStringLiteral("Some issues");
    case OverallStatus::down:
        return QStringLiteral("Systems down");
    case OverallStatus::paused:
        return QStringLiteral("Monitoring paused");
    case OverallStatus::unknown:
        break;
    }
    return hasSources ? QStringLiteral("No data yet") : QStringLiteral("No sources yet");
}

QString statusWord(OverallStatus status, bool hasSources)
{
    switch (status) {
    case OverallStatus::up:
        return QStringLiteral("Healthy");
    case OverallStatus::degraded:
        return QStringLiteral("Degraded");
    case OverallStatus::down:
        return QStringLiteral("Incident");
    case OverallStatus::paused:
        return QStringLiteral("Paused");
    case OverallStatus::unknown:
        break;
    }
    return hasSources ? QStringLiteral("Waiting for data") : QStringLiteral("Not configured");
}

} // namespace marrowick::PopoverSummary
