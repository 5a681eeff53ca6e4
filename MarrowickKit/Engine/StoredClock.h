#pragma once

#include "MarrowickKit/Async/ClockReading.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <optional>

namespace marrowick {

// How the data files keep a clock reading: {"boot": <boot-time seconds>, "time": <wall clock,
// seconds since 2001-01-01 00:00:00 UTC>}. The file names the boot it was written in once, as
// "bootID"; a boot-time reading of another boot means nothing and is not read back.
namespace StoredClock {

inline const QString bootIDKey = QStringLiteral("bootID");

QJsonObject toJson(const ClockReading &reading);
// Strict: a missing or non-numeric "time", or a "boot" that is not a number, throws
// JsonDecodeError. The boot-time part is kept only where `sameBoot`.
ClockReading fromJson(const QJsonValue &json, const QString &path, bool sameBoot);
// Whether a file that names `storedBootID` was written in the boot named `currentBootID`; never
// where either is unknown.
bool isSameBoot(const std::optional<QString> &storedBootID, const QString &currentBootID);

} // namespace StoredClock

} // namespace marrowick
