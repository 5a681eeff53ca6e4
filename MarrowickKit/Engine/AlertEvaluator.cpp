#include "MarrowickKit/Engine/AlertEvaluator.h"

#include <algorithm>

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
    ++m_marksRevision;
    return true;
}

AlertEvent AlertEvaluator::recovery(const QUuid &sourceID, const QString &widgetID, const QString &name, const Run &run)
{
    ++m_marksRevision;
    return AlertEvent{sourceID, AlertEvent::Kind::recovered, name + recoveredSuffix, run.since, widgetID, run.announced};
}

QList<AlertEvent> AlertEvaluator::recordFailure(const AnySourceConfig &source, ClockReading at)
{
    const QUuid id = source.id();
    Run &run = m_sources[id];
    if (!countBad(run, source.config().alertThreshold, at))
        return {};
    return {AlertEvent{id, AlertEvent::Kind::down, source.displayName() + unreachableSuffix, run.since, {}, false}};
}

QList<AlertEvent> AlertEvaluator::recordSuccess(const AnySourceConfig &source, const SourceSnapshot &snapshot,
                                                ClockReading at)
{
    const QUuid id = source.id();
    const qint64 threshold = source.config().alertThreshold;
    QList<AlertEvent> events;
    if (const Run run = m_sources.take(id); run.isDown)
        events.append(recovery(id, QString(), source.displayName(), run));

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
                events.append({id, AlertEvent::Kind::down, widget.displayName() + downSuffix, run.since, key, false});
            break;
        case Reading::good:
            if (run.isDown)
                events.append(recovery(id, key, widget.displayName(), run));
            run = Run();
            break;
        }
        if (run.count > 0)
            after.insert(key, run);
        else
            after.remove(key);
    }
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        if (it->isDown && !after.contains(it.key()))
            ++m_marksRevision;
    }
    if (!after.isEmpty())
        m_widgets.insert(id, std::move(after));
    return events;
}

void AlertEvaluator::forgetSources(const std::function<bool(const QUuid &)> &isGone)
{
    bool marksWent = false;
    m_sources.removeIf([&](const auto &entry) {
        const bool gone = isGone(entry.key());
        marksWent = marksWent || (gone && entry.value().isDown);
        return gone;
    });
    m_widgets.removeIf([&](const auto &entry) {
        const bool gone = isGone(entry.key());
        marksWent = marksWent || (gone && std::any_of(entry.value().cbegin(), entry.value().cend(),
                                                      [](const Run &run) { return run.isDown; }));
        return gone;
    });
    if (marksWent)
        ++m_marksRevision;
}

void AlertEvaluator::markAnnounced(const AlertEvent &down)
{
    Run *run = nullptr;
    if (down.widgetID.isEmpty()) {
        const auto found = m_sources.find(down.sourceID);
        run = found == m_sources.end() ? nullptr : &*found;
    } else if (const auto widgets = m_widgets.find(down.sourceID); widgets != m_widgets.end()) {
        const auto found = widgets->find(down.widgetID);
        run = found == widgets->end() ? nullptr : &*found;
    }
    if (!run || !run->isDown || run->announced)
        return;
    run->announced = true;
    ++m_marksRevision;
}

QList<DownMark> AlertEvaluator::downMarks() const
{
    QList<DownMark> marks;
    for (auto it = m_sources.cbegin(); it != m_sources.cend(); ++it) {
        if (it->isDown)
            marks.append(DownMark{it.key(), QString(), it->since, it->announced});
    }
    for (auto source = m_widgets.cbegin(); source != m_widgets.cend(); ++source) {
        for (auto it = source->cbegin(); it != source->cend(); ++it) {
            if (it->isDown)
                marks.append(DownMark{source.key(), it.key(), it->since, it->announced});
        }
    }
    std::sort(marks.begin(), marks.end(), [](const DownMark &a, const DownMark &b) {
        return a.sourceID != b.sourceID ? a.sourceID < b.sourceID : a.widgetID < b.widgetID;
    });
    return marks;
}

void AlertEvaluator::restoreDownMarks(const QList<DownMark> &marks)
{
    m_sources.clear();
    m_widgets.clear();
    for (const DownMark &mark : marks) {
        const Run run{1, mark.since, true, mark.announced};
        if (mark.widgetID.isEmpty())
            m_sources.insert(mark.sourceID, run);
        else
            m_widgets[mark.sourceID].insert(mark.widgetID, run);
    }
    ++m_marksRevision;
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
