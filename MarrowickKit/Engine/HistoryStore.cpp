#include "MarrowickKit/Engine/HistoryStore.h"

#include "MarrowickKit/Engine/AtomicFile.h"
#include "MarrowickKit/Engine/JSONFileStore.h"
#include "MarrowickKit/Engine/StoredClock.h"
#include "MarrowickKit/Model/JsonWriter.h"

#include <QDir>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <vector>

namespace marrowick::HistoryStore {

namespace {

QByteArray encodedValue(const QJsonValue &value)
{
    return writeJson(value, JsonStyle::compact);
}

const QString clockKey = QStringLiteral("clock");

// The "clock" member with its comma, or nothing.
QByteArray clockMember(const std::optional<ClockReading> &trusted, const QString &bootID)
{
    if (!trusted)
        return {};
    QJsonObject clock = StoredClock::toJson(*trusted);
    clock.insert(StoredClock::bootIDKey, bootID);
    return '"' + clockKey.toLatin1() + "\":" + encodedValue(clock) + ',';
}

// The bytes of writeJson(history.toJson(), compact), after the "clock" member where one is
// given, written straight from the samples: a tree of hundreds of thousands of JSON objects would
// cost far more time and memory than the text.
QByteArray encode(const PollHistory &history, const QByteArray &clock = {})
{
    QStringList keys = history.samples().keys();
    std::sort(keys.begin(), keys.end());
    QByteArray out = '{' + clock + "\"samples\":{";
    for (qsizetype k = 0; k < keys.size(); ++k) {
        if (k > 0)
            out += ',';
        out += encodedValue(keys.at(k));
        out += ":[";
        const PollHistory::Series &series = *history.samples().constFind(keys.at(k));
        for (qsizetype i = 0; i < series.size(); ++i) {
            const HistorySample &sample = series.at(i);
            out += i > 0 ? ",{" : "{";
            // Members in name order; a latency JSON cannot hold is left out, as toJson() does.
            if (sample.latencyMs && std::isfinite(*sample.latencyMs)) {
                out += "\"latencyMs\":";
                out += encodedValue(*sample.latencyMs);
                out += ',';
            }
            out += "\"status\":";
            out += encodedValue(serviceStatusText(sample.status));
            out += ",\"time\":";
            out += encodedValue(sample.time.sinceReference);
            out += '}';
        }
        out += ']';
    }
    out += "}}";
    return out;
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

// The encoded size of one sample, from a few whole series (keys included).
double bytesPerSample(const PollHistory &history)
{
    PollHistory::Samples few;
    qsizetype count = 0;
    for (auto it = history.samples().cbegin(); it != history.samples().cend() && few.size() < 16; ++it) {
        few.insert(it.key(), it.value());
        count += it.value().size();
    }
    return count > 0 ? double(encode(PollHistory(std::move(few))).size()) / double(count) : 0.0;
}

// The compact encoding, with the oldest samples dropped until it fits under the cap.
QByteArray encodeWithinCap(const PollHistory &history, const QByteArray &clock)
{
    PollHistory smaller = history;
    // Encoding costs in proportion to what it encodes: a history well over the cap is first cut
    // to about the size that fits, judged from a few series, instead of being encoded whole.
    const qsizetype total = history.sampleCount();
    const double perSample = bytesPerSample(history);
    if (perSample > 0 && perSample * double(total) > 1.1 * double(JSONFileStore::maximumFileSize)) {
        const auto keep = static_cast<qsizetype>(0.98 * double(JSONFileStore::maximumFileSize) / perSample);
        smaller = withoutOldest(smaller, total - keep);
    }
    QByteArray bytes = encode(smaller, clock);
    while (bytes.size() > JSONFileStore::maximumFileSize) {
        // Aim a little under the cap in proportion to the overshoot; every round drops at
        // least one sample, so this ends with an empty history at worst.
        const qsizetype count = smaller.sampleCount();
        const double keepShare = 0.98 * double(JSONFileStore::maximumFileSize) / double(bytes.size());
        const qsizetype drop = std::max<qsizetype>(1, count - static_cast<qsizetype>(double(count) * keepShare));
        smaller = withoutOldest(smaller, drop);
        bytes = encode(smaller, clock);
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

PollHistory load(const QString &directory, std::optional<FileProblem> *problem, const QString &bootID,
                 std::optional<ClockReading> *trusted)
{
    const QDir folder(directory);
    std::optional<ClockReading> clock;
    const auto decode = [&bootID, &clock](const QJsonValue &json) {
        PollHistory history = PollHistory::fromJson(json);
        // Only a help to the clock's trust: a member that cannot be read costs nothing else.
        try {
            const JsonObjectReader reader(json, QString());
            if (reader.has(clockKey)) {
                const JsonObjectReader member(reader.required(clockKey), clockKey);
                if (StoredClock::isSameBoot(member.optionalString(StoredClock::bootIDKey), bootID))
                    clock = StoredClock::fromJson(member.object(), clockKey, true);
            }
        } catch (const JsonDecodeError &) {
            clock.reset();
        }
        return history;
    };
    PollHistory history =
        JSONFileStore::load(folder.filePath(fileName()), folder.filePath(quarantineName()), decode, problem)
            .value_or(PollHistory());
    if (trusted)
        *trusted = clock && clock->boot ? clock : std::nullopt;
    return history;
}

void removeLeftoverTemporaries(const QString &directory)
{
    AtomicFile::removeLeftoverTemporaries(QDir(directory).filePath(fileName()));
}

void save(const PollHistory &history, const QString &directory, const std::optional<ClockReading> &trusted,
          const QString &bootID)
{
    JSONFileStore::save(encodeWithinCap(history, clockMember(trusted, bootID)), QDir(directory).filePath(fileName()));
}

} // namespace marrowick::HistoryStore
