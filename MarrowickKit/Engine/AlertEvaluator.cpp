#include "MarrowickKit/Engine/AlertEvaluator.h"

namespace marrowick {

namespace {

const QString unreachableSuffix = QStringLiteral(" is unreachable");
const QString downSuffix = QStringLiteral(" is down");
const QString recoveredSuffix = QStringLiteral(" recovered");

} // namespace

bool AlertEvaluator::countBad(Run &run, qint64 threshold, const ClockReading &at)
{
    if (run.count++ == 0)
        run.since = at;
    if (run.count < threshold || run.isDown)
        return false;
    run.isDown = true;
    return true;
}

QList<AlertEvent> AlertEvaluator::recordFailure(const AnySourceConfig &source, ClockReading at)
{
    const QUuid id = source.id();
    Run &run = m_sources[id];
    if (!countBad(run, source.config().alertThreshold, at))
        return {};
    return {AlertEvent{id, AlertEvent::Kind::down, source.displayName() + unreachableSuffix, run.since}};
}

QList<AlertEvent> AlertEvaluator::recordSuccess(const AnySourceConfig &source, const SourceSnapshot &snapshot,
                                                ClockReading at)
{
    const QUuid id = source.id();
    const qint64 threshold = source.config().alertThreshold;
    QList<AlertEvent> events;
    if (const Run run = m_sources.take(id); run.isDown)
        events.append({id, AlertEvent::Kind::recovered, source.displayName() + recoveredSuffix, run.since});

    // Rebuilt from this snapshot's widgets alone, so a widget it lacks leaves nothing behind.
    const QHash<QString, Run> before = m_widgets.take(id);
    QHash<QString, Run> after;
    for (const auto &widget : snapshot.widgets) {
        const Reading reading = classify(widget);
        const QString key = widget.id();
        const auto seen = after.constFind(key);
        Run run = seen != after.cend() ? *seen : before.value(key);
        switch (reading) {
        case Reading::skipped:
            break;
        case Reading::bad:
            if (countBad(run, threshold, at))
                events.append({id, AlertEvent::Kind::down, widget.displayName() + downSuffix, run.since});
            break;
        case Reading::good:
            if (run.isDown)
                events.append({id, AlertEvent::Kind::recovered, widget.displayName() + recoveredSuffix, run.since});
            run = Run();
            break;
        }
        if (run.count > 0)
            after.insert(key, run);
        else
            after.remove(key);
    }
    if (!after.isEmpty())
        m_widgets.insert(id, std::move(after));
    return events;
}

void AlertEvaluator::forgetSources(const std::function<bool(const QUuid &)> &isGone)
{
    m_sources.removeIf([&isGone](const auto &entry) { return isGone(entry.key()); });
    m_widgets.removeIf([&isGone](const auto &entry) { return isGone(entry.key()); });
}

AlertEvaluator::Reading AlertEvaluator::classify(const WidgetData &widget)
{
    const auto fromStatus = [](ServiceStatus status) {
        switch (status) {
        case ServiceStatus::down:
            return Reading::bad;
        case ServiceStatus::up:
            return Reading::good;
        case ServiceStatus::warn:
        case ServiceStatus::unknown:
            break;
        }
        return Reading::skipped;
    };
    if (const auto *row = widget.get<ServiceRow>())
        return fromStatus(row->status);
    if (const auto *host = widget.get<HostStats>())
        return fromStatus(host->status);
    if (const auto *check = widget.get<CheckResult>())
        return fromStatus(check->status);
    if (const auto *game = widget.get<GameServerStatus>())
        return game->online ? Reading::good : Reading::bad;
    return Reading::skipped;
}

} // namespace marrowick
