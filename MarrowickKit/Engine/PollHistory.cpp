#include "MarrowickKit/Engine/PollHistory.h"

#include "MarrowickKit/Model/JsonReading.h"
#include "MarrowickKit/Model/UuidText.h"

#include <QJsonArray>

#include <algorithm>
#include <cmath>

namespace marrowick {

namespace {

bool byTime(const HistorySample &a, const HistorySample &b)
{
    return a.time < b.time;
}

// Drops the samples dated more than `retention` before `reference`, when there is one, then all
// but the newest 500. The series is oldest first.
void bound(PollHistory::Series &series, std::optional<Instant> reference)
{
    if (reference) {
        const HistorySample cutoff{reference->advanced(-HistoryLimits::retention), std::nullopt};
        series.remove(0, std::lower_bound(series.cbegin(), series.cend(), cutoff, byTime) - series.cbegin());
    }
    const qsizetype excess = series.size() - HistoryLimits::samplesPerWidget;
    if (excess > 0)
        series.remove(0, excess);
}

} // namespace

QJsonObject HistorySample::toJson() const
{
    QJsonObject json{
        {QStringLiteral("time"), time.sinceReference},
        {QStringLiteral("status"), serviceStatusText(status)},
    };
    if (latencyMs && std::isfinite(*latencyMs))
        json.insert(QStringLiteral("latencyMs"), *latencyMs);
    return json;
}

HistorySample HistorySample::fromJson(const QJsonValue &json, const QString &path)
{
    const JsonObjectReader reader(json, path);
    HistorySample sample;
    sample.time = Instant{reader.number(QStringLiteral("time"))};
    sample.latencyMs = reader.optionalNumber(QStringLiteral("latencyMs"));
    sample.status = readServiceStatus(reader, QStringLiteral("status"));
    return sample;
}

QList<double> PollHistory::latencies(const QString &key) const
{
    QList<double> result;
    for (const auto &sample : m_samples.value(key)) {
        if (sample.latencyMs)
            result.append(*sample.latencyMs);
    }
    return result;
}

qsizetype PollHistory::sampleCount() const
{
    qsizetype count = 0;
    for (const auto &series : m_samples)
        count += series.size();
    return count;
}

void PollHistory::append(const QString &key, HistorySample sample, std::optional<Instant> reference)
{
    auto &series = m_samples[key];
    // After every sample of its time or earlier: at the end, unless the wall clock went back.
    const auto after = std::upper_bound(series.cbegin(), series.cend(), sample, byTime);
    series.insert(after - series.cbegin(), std::move(sample));
    bound(series, reference);
}

void PollHistory::record(const SourceSnapshot &snapshot, const StatusRule &statusOf, const LatencyRule &latencyOf,
                         std::optional<Instant> reference)
{
    for (const auto &widget : snapshot.widgets)
        append(widget.scopedID(snapshot.sourceID), HistorySample{snapshot.fetchedAt, latencyOf(widget), statusOf(widget)},
               reference);
}

void PollHistory::trim(Instant now)
{
    for (auto it = m_samples.begin(); it != m_samples.end();) {
        // A file written while the clock went back may hold a series out of order.
        if (!std::is_sorted(it->cbegin(), it->cend(), byTime))
            std::stable_sort(it->begin(), it->end(), byTime);
        bound(it.value(), now);
        it = it->isEmpty() ? m_samples.erase(it) : std::next(it);
    }
}

void PollHistory::removeSourcesNotIn(const QSet<QUuid> &sourceIDs)
{
    QSet<QString> prefixes;
    for (const auto &id : sourceIDs)
        prefixes.insert(uuidText(id) + QLatin1Char('/'));
    m_samples.removeIf([&prefixes](const Samples::iterator &entry) {
        const qsizetype slash = entry.key().indexOf(QLatin1Char('/'));
        return slash < 0 || !prefixes.contains(entry.key().left(slash + 1));
    });
}

bool PollHistory::renameKeys(const QHash<QString, QString> &newKeys)
{
    bool moved = false;
    for (auto it = newKeys.cbegin(); it != newKeys.cend(); ++it) {
        if (it.key() == it.value() || m_samples.contains(it.value()) || !m_samples.contains(it.key()))
            continue;
        m_samples.insert(it.value(), m_samples.take(it.key()));
        moved = true;
    }
    return moved;
}

QJsonObject PollHistory::toJson() const
{
    QJsonObject series;
    for (auto it = m_samples.cbegin(); it != m_samples.cend(); ++it) {
        QJsonArray samples;
        for (const auto &sample : it.value())
            samples.append(sample.toJson());
        series.insert(it.key(), samples);
    }
    return QJsonObject{{QStringLiteral("samples"), series}};
}

PollHistory PollHistory::fromJson(const QJsonValue &json)
{
    const JsonObjectReader reader(json, QString());
    const QJsonObject series = readObject(reader.required(QStringLiteral("samples")), QStringLiteral("samples"));
    Samples samples;
    samples.reserve(series.size());
    for (auto it = series.constBegin(); it != series.constEnd(); ++it) {
        const QString path = QStringLiteral("samples.") + it.key();
        samples.insert(it.key(), readList(readArray(it.value(), path), path, &HistorySample::fromJson));
    }
    return PollHistory(std::move(samples));
}

} // namespace marrowick
