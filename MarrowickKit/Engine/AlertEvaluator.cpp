#include "MarrowickKit/Engine/AlertEvaluator.h"

namespace marrowick {

namespace {

const QString unreachableSuffix = QStringLiteral(" is unreachable");
const QString downSuffix = QStringLiteral(" is down");
const QString recoveredSuffix = QStringLiteral(" recovered");

} // namespace

QList<AlertEvent> AlertEvaluator::recordFailure(const AnySourceConfig &source, Instant at)
{
    const QUuid id = source.id();
    const qint64 count = ++m_failures[id];
    if (count < source.config().alertThreshold || m_sourceDownSince.contains(id))
        return {};
    m_sourceDownSince.insert(id, at);
    return {AlertEvent{id, AlertEvent::Kind::down, source.displayName() + unreachableSuffix, at}};
}

QList<AlertEvent> AlertEvaluator::recordSuccess(const AnySourceConfig &source, const SourceSnapshot &snapshot,
                                                Instant at)
{
    const QUuid id = source.id();
    const qint64 threshold = source.config().alertThreshold;
    QList<AlertEvent> events;
    m_failures.remove(id);
    if (const auto down = m_sourceDownSince.constFind(id); down != m_sourceDownSince.cend()) {
        events.append({id, AlertEvent::Kind::recovered, source.displayName() + recoveredSuffix, down.value()});
        m_sourceDownSince.erase(down);
    }
    for (const auto &widget : snapshot.widgets) {
        const Reading reading = classify(widget);
        if (reading == Reading::skipped)
            continue;
        const QString key = widget.scopedID(id);
        if (reading == Reading::bad) {
            const qint64 count = ++m_widgetFailures[key];
            if (count >= threshold && !m_widgetDownSince.contains(key)) {
                m_widgetDownSince.insert(key, at);
                events.append({id, AlertEvent::Kind::down, widget.displayName() + downSuffix, at});
            }
            continue;
        }
        m_widgetFailures.remove(key);
        if (const auto down = m_widgetDownSince.constFind(key); down != m_widgetDownSince.cend()) {
            events.append({id, AlertEvent::Kind::recovered, widget.displayName() + recoveredSuffix, down.value()});
            m_widgetDownSince.erase(down);
        }
    }
    return events;
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
