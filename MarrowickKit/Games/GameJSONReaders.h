#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>

#include <optional>

namespace marrowick {

// Lenient readers of game servers' JSON: a missing or odd value is absent, never an error.

// The "name" of each object that has a non-empty text "name", in order.
QStringList playerNames(const std::optional<QJsonArray> &objects);
// A number (a fraction cut toward zero, a Boolean as 1 or 0), or a text that is a whole
// decimal integer. A non-finite or out-of-range number is absent.
std::optional<qint64> intValue(const std::optional<QJsonValue> &value);
// A non-empty text; anything else is absent.
std::optional<QString> stringValue(const std::optional<QJsonValue> &value);

// The value when it is an object / an array whose every element is an object.
std::optional<QJsonObject> jsonObject(const QJsonValue &value);
std::optional<QJsonArray> jsonObjectArray(const QJsonValue &value);
// The member of an object, absent when the object or the member is.
std::optional<QJsonValue> jsonMember(const std::optional<QJsonObject> &object, const QString &key);

// A body parsed as a JSON object or as an array of objects; absent when it is not one.
std::optional<QJsonObject> parseJSONObject(const std::optional<QByteArray> &body);
std::optional<QJsonArray> parseJSONObjectArray(const std::optional<QByteArray> &body);

} // namespace marrowick
