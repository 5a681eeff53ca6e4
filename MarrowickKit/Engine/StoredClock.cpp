#include "MarrowickKit/Engine/StoredClock.h"

#include "MarrowickKit/Model/JsonReading.h"

namespace marrowick::StoredClock {

QJsonObject toJson(const ClockReading &reading)
{
    QJsonObject json{{QStringLiteral("time"), reading.wall.sinceReference}};
    if (reading.boot)
        json.insert(QStringLiteral("boot"), *reading.boot);
    return json;
}

ClockReading fromJson(const QJsonValue &json, const QString &path, bool sameBoot)
{
    const JsonObjectReader reader(json, path);
    ClockReading reading{Instant{reader.number(QStringLiteral("time"))}, reader.optionalNumber(QStringLiteral("boot"))};
    if (!sameBoot)
        reading.boot.reset();
    return reading;
}

bool isSameBoot(const std::optional<QString> &storedBootID, const QString &currentBootID)
{
    return storedBootID && !currentBootID.isEmpty() && *storedBootID == currentBootID;
}

} // namespace marrowick::StoredClock
