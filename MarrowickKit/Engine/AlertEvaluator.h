#pragma once

#include "MarrowickKit/Async/ClockReading.h"
#include "MarrowickKit/Model/AnySourceConfig.h"
#include "MarrowickKit/Model/SourceSnapshot.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QUuid>

#include <functional>
#include <optional>

namespace marrowick {

// A source or widget that crossed its threshold of bad polls, or came back.
struct AlertEvent {
    enum class Kind { down, recovered };

    QUuid sourceID;
    Kind kind = Kind::down;
    QString title;
    // When the trouble began: the first bad poll of the run that crossed the threshold, for the
    // down event and for its recovery alike.
    std::optional<ClockReading> downSince;
    // The widget's id in its source (WidgetData::id()); empty for the source itself.
    QString widgetID;
    // Of a recovery: whether the user was told of the outage (AlertEvaluator::markAnnounced).
    bool downAnnounced = false;

    bool operator==(const AlertEvent &) const = default;
};

// A source or widget declared down: what outlives a restart of the program.
struct DownMark {
    QUuid sourceID;
    QString widgetID; // empty: the source itself
    ClockReading since;
    bool announced = false;

    bool operator==(const DownMark &) const = default;
};

// Counts consecutive bad polls per source and per widget and reports the crossing of each
// source's alert threshold and the first good poll after it. Posts nothing and ignores
// `alertsEnabled`: muting is the delivery's business, so counting goes on for muted sources.
//
// State is kept per source, and a widget's only as long as its source reports it: a widget
// missing from a successful poll (renamed, removed upstream) is forgotten without an event.
class AlertEvaluator {
public:
    QList<AlertEvent> recordFailure(const AnySourceConfig &source, ClockReading at);
    // The source's recovery first, then the widget events in snapshot order.
    QList<AlertEvent> recordSuccess(const AnySourceConfig &source, const SourceSnapshot &snapshot, ClockReading at);
    // Drops everything held for the sources `isGone` names.
    void forgetSources(const std::function<bool(const QUuid &)> &isGone);

    // Notes that the user was told of the outage of a down event, so that its recovery is told too.
    void markAnnounced(const AlertEvent &down);
    // Every source and widget declared down, by source id and then widget id.
    QList<DownMark> downMarks() const;
    // Takes up the marks of an earlier run in place of every count held: each is down as it
    // was, so a bad poll announces nothing new and the first good one recovers it.
    void restoreDownMarks(const QList<DownMark> &marks);
    // Changes whenever a mark is set, announced or goes.
    quint64 marksRevision() const { return m_marksRevision; }

private:
    // A run of consecutive bad readings.
    struct Run {
        qint64 count = 0;
        ClockReading since; // the first bad reading of the run
        bool isDown = false;
        bool announced = false;
    };
    enum class Reading { bad, good, skipped };
    static Reading classify(const WidgetData &widget);
    // Counts one bad reading; true when it declares the run down.
    bool countBad(Run &run, qint64 threshold, const ClockReading &at);
    // The recovery of a run that was down.
    AlertEvent recovery(const QUuid &sourceID, const QString &widgetID, const QString &name, const Run &run);

    QHash<QUuid, Run> m_sources;
    // Per source, by widget id.
    QHash<QUuid, QHash<QString, Run>> m_widgets;
    quint64 m_marksRevision = 0;
};

} // namespace marrowick
