#pragma once

#include "MarrowickKit/Model/AnySourceConfig.h"
#include "MarrowickKit/Async/Instant.h"
#include "MarrowickKit/Model/SourceSnapshot.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

namespace marrowick {

// A source or widget that crossed its threshold of bad polls, or came back.
struct AlertEvent {
    enum class Kind { down, recovered };

    QUuid sourceID;
    Kind kind = Kind::down;
    QString title;
    // Down: the poll that crossed the threshold. Recovered: the matching down event's time.
    std::optional<Instant> downSince;

    bool operator==(const AlertEvent &) const = default;
};

// Counts consecutive bad polls per source and per widget and reports the crossing of each
// source's alert threshold and the first good poll after it. Posts nothing and ignores
// `alertsEnabled`: muting is the delivery's business, so counting goes on for muted sources.
class AlertEvaluator {
public:
    QList<AlertEvent> recordFailure(const AnySourceConfig &source, Instant at);
    // The source's recovery first, then the widget events in snapshot order.
    QList<AlertEvent> recordSuccess(const AnySourceConfig &source, const SourceSnapshot &snapshot, Instant at);

private:
    enum class Reading { bad, good, skipped };
    static Reading classify(const WidgetData &widget);

    QHash<QUuid, qint64> m_failures;
    QHash<QUuid, Instant> m_sourceDownSince;
    QHash<QString, qint64> m_widgetFailures;
    QHash<QString, Instant> m_widgetDownSince;
};

} // namespace marrowick
