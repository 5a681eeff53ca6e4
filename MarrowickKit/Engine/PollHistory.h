#pragma once

#include "MarrowickKit/Async/Instant.h"
#include "MarrowickKit/Model/ServiceStatus.h"
#include "MarrowickKit/Model/SourceSnapshot.h"

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QSet>
#include <QString>
#include <QUuid>

#include <functional>
#include <optional>

namespace marrowick {

// One widget's reading at one poll.
struct HistorySample {
    Instant time;
    std::optional<double> latencyMs;
    ServiceStatus status = ServiceStatus::unknown;

    bool operator==(const HistorySample &) const = default;

    // A latency that is not a finite number is left out: JSON cannot hold it, and one such
    // sample must not stop every later save.
    QJsonObject toJson() const;
    static HistorySample fromJson(const QJsonValue &json, const QString &path = {});
};

namespace HistoryLimits {
inline constexpr qsizetype samplesPerWidget = 500;
inline constexpr double retention = 604800.0; // 7 days
} // namespace HistoryLimits

// Per widget key, a bounded series of samples in the order of their times, oldest first: at most
// samplesPerWidget, none older than `retention` before the latest reference time given. The
// reference is the caller's: a sample's own time is no reference, since a wall clock set ahead
// for a moment would date one sample days after the others and erase the rest.
class PollHistory {
public:
    using Series = QList<HistorySample>;
    using Samples = QHash<QString, Series>;
    using StatusRule = std::function<ServiceStatus(const WidgetData &)>;
    using LatencyRule = std::function<std::optional<double>(const WidgetData &)>;

    PollHistory() = default;
    explicit PollHistory(Samples samples) : m_samples(std::move(samples)) {}

    const Samples &samples() const { return m_samples; }
    // The key's series; empty for an unknown key.
    Series samples(const QString &key) const { return m_samples.value(key); }
    // The present latencies of the key's series, oldest first.
    QList<double> latencies(const QString &key) const;
    qsizetype sampleCount() const;

    // Puts the sample after those of its time or earlier and bounds the series: to its newest
    // samplesPerWidget, and against `reference` (the present time, where it can be trusted).
    void append(const QString &key, HistorySample sample, std::optional<Instant> reference = std::nullopt);
    // One sample per widget of the snapshot, at the snapshot's time.
    void record(const SourceSnapshot &snapshot, const StatusRule &statusOf, const LatencyRule &latencyOf,
                std::optional<Instant> reference = std::nullopt);
    // Puts every series in order, bounds it against `now` and drops the series left empty.
    void trim(Instant now);
    // Keeps only the series whose key starts with "<UUID>/" of one of `sourceIDs`.
    void removeSourcesNotIn(const QSet<QUuid> &sourceIDs);
    // Moves each series from its old key to its new one, unless the new key already has one.
    // True when a series moved.
    bool renameKeys(const QHash<QString, QString> &newKeys);

    bool operator==(const PollHistory &) const = default;

    // {"samples": {"<widget key>": [sample, ...]}}
    QJsonObject toJson() const;
    // Strict: a missing member, a wrong type or an unknown status fails the whole document.
    static PollHistory fromJson(const QJsonValue &json);

private:
    Samples m_samples;
};

} // namespace marrowick
