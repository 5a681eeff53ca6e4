#include "MarrowickKit/Games/GameJSONReaders.h"

#include "MarrowickKit/Model/DecimalText.h"

#include <QJsonDocument>
#include <QVariant>

#include <cmath>

namespace marrowick {

namespace {

// 2^63: the first double above every signed 64-bit integer.
constexpr double int64Bound = 9223372036854775808.0;

std::optional<qint64> integerOfNumber(const QJsonValue &value)
{
    const QVariant exact = value.toVariant();
    if (exact.typeId() == QMetaType::LongLong)
        return exact.toLongLong();
    const double number = value.toDouble();
    if (!std::isfinite(number))
        return std::nullopt;
    const double whole = std::trunc(number);
    if (whole >= int64Bound || whole < -int64Bound)
        return std::nullopt;
    return static_cast<qint64>(whole);
}

std::optional<QJsonValue> parseDocument(const std::optional<QByteArray> &body)
{
    if (!body)
        return std::nullopt;
    QJsonParseError error;
    const auto document = QJsonDocument::fromJson(*body, &error);
    if (error.error != QJsonParseError::NoError)
        return std::nullopt;
    if (document.isObject())
        return QJsonValue(document.object());
    if (document.isArray())
        return QJsonValue(document.array());
    return std::nullopt;
}

} // namespace

QStringList playerNames(const std::optional<QJsonArray> &objects)
{
    QStringList names;
    if (!objects)
        return names;
    for (const auto &entry : *objects) {
        if (auto name = stringValue(entry.toObject().value(QStringLiteral("name"))))
            names.append(*name);
    }
    return names;
}

std::optional<qint64> intValue(const std::optional<QJsonValue> &value)
{
    if (!value)
        return std::nullopt;
    if (value->isBool())
        return value->toBool() ? 1 : 0;
    if (value->isDouble())
        return integerOfNumber(*value);
    if (value->isString())
        return parseDecimalInt64(value->toString());
    return std::nullopt;
}

std::optional<QString> stringValue(const std::optional<QJsonValue> &value)
{
    if (!value || !value->isString() || value->toString().isEmpty())
        return std::nullopt;
    return value->toString();
}

std::optional<QJsonObject> jsonObject(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    return value.toObject();
}

std::optional<QJsonArray> jsonObjectArray(const QJsonValue &value)
{
    if (!value.isArray())
        return std::nullopt;
    const QJsonArray array = value.toArray();
    for (const auto &entry : array) {
        if (!entry.isObject())
            return std::nullopt;
    }
    return array;
}

std::optional<QJsonValue> jsonMember(const std::optional<QJsonObject> &object, const QString &key)
{
    if (!object || !object->contains(key))
        return std::nullopt;
    return object->value(key);
}

std::optional<QJsonObject> parseJSONObject(const std::optional<QByteArray> &body)
{
    const auto document = parseDocument(body);
    return document ? jsonObject(*document) : std::nullopt;
}

std::optional<QJsonArray> parseJSONObjectArray(const std::optional<QByteArray> &body)
{
    const auto document = parseDocument(body);
    return document ? jsonObjectArray(*document) : std::nullopt;
}

} // namespace marrowick
