#include "MarrowickKit/Engine/HistoryStore.h"

#include "MarrowickKit/Engine/JSONFileStore.h"
#include "MarrowickKit/Model/JsonWriter.h"

#include <QDir>

#include <algorithm>
#include <vector>

namespace marrowick::HistoryStore {

namespace {

QByteArray encode(const PollHistory &history)
{
    return writeJson(history.toJson(), JsonStyle::compact);
}

// Removes at least `count` samples, the oldest across every series (ties at the boundary go
// together), and the series left empty.
PollHistory withoutOldest(const PollHistory &history, qsizetype count)
{
    std::vector<double> times;
    times.reserve(static_cast<size_t>(history.sampleCount()));
    for (const auto &series : history.samples()) {
        for (const auto &sample : series)
            times.push_back(sample.time.sinceReference);
    }
    if (count >= static_cast<qsizetype>(times.size()))
        return PollHistory();
    const auto boundary = times.begin() + (count - 1);
    std::nth_element(times.begin(), boundary, times.end());
    const double newestDropped = *boundary;

    PollHistory::Samples kept;
    for (auto it = history.samples().cbegin(); it != history.samples().cend(); ++it) {
        PollHistory::Series series = it.value();
        series.removeIf([newestDropped](const HistorySample &sample) {
            return !(sample.time.sinceReference > newestDropped);
        });
        if (!series.isEmpty())
            kept.insert(it.key(), std::move(series));
    }
    return PollHistory(std::move(kept));
}

// The compact encoding, with the oldest samples dropped until it fits under the cap.
QByteArray encodeWithinCap(const PollHistory &history)
{
    QByteArray bytes = encode(history);
    PollHistory smaller = history;
    while (bytes.size() > JSONFileStore::maximumFileSize) {
        // Aim a little under the cap in proportion to the overshoot; every round drops at
        // least one sample, so this ends with an empty history at worst.
        const qsizetype count = smaller.sampleCount();
        const double keepShare = 0.98 * double(JSONFileStore::maximumFileSize) / double(bytes.size());
        const qsizetype drop = std::max<qsizetype>(1, count - static_cast<qsizetype>(double(count) * keepShare));
        smaller = withoutOldest(smaller, drop);
        bytes = encode(smaller);
    }
    return bytes;
}

} // namespace

QString fileName()
{
    return QStringLiteral("history.json");
}

QString quarantineName()
{
    return QStringLiteral("history.json.corrupt");
}

PollHistory load(const QString &directory)
{
    const QDir folder(directory);
    return JSONFileStore::load(folder.filePath(fileName()), folder.filePath(quarantineName()), &PollHistory::fromJson)
        .value_or(PollHistory());
}

void save(const PollHistory &history, const QString &directory)
{
    JSONFileStore::save(encodeWithinCap(history), QDir(directory).filePath(fileName()));
}

} // namespace marrowick::HistoryStore
