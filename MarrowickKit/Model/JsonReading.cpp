#include "MarrowickKit/Model/JsonReading.h"

#include "MarrowickKit/Model/StrictUtf8.h"
#include "MarrowickKit/Model/UuidText.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QVariant>

#include <cmath>

namespace marrowick {

namespace {

QString where(const QString &path)
{
    return path.isEmpty() ? QStringLiteral("the top level") : QStringLiteral("\"%1\"").arg(path);
}

[[noreturn]] void typeMismatch(const QString &expected, const QString &path)
{
    throw JsonDecodeError(QStringLiteral("Expected %1 at %2.").arg(expected, where(path)), path);
}

// Reads the member `key` with `read`, which throws only where `fits` is false: the path is
// spelled out for that error alone.
template<typename Read>
auto readMember(const JsonObjectReader &reader, const QString &key, bool (QJsonValue::*fits)() const, Read read)
{
    const QJsonValue value = reader.required(key);
    return read(value, (value.*fits)() ? QString() : reader.pathOf(key));
}

} // namespace

JsonDecodeError::JsonDecodeError(const QString &message, const QString &codingPath)
    : std::runtime_error(message.toStdString()), m_codingPath(codingPath)
{
}

QJsonValue parseJsonDocument(const QByteArray &bytes)
{
    // The parser would silently replace malformed UTF-8; a document that is not text is refused.
    if (!isStrictUtf8(bytes))
        throw JsonDecodeError(QStringLiteral("The data is not valid JSON: it is not valid UTF-8."), QString());
    QJsonParseError error;
    const auto document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        throw JsonDecodeError(QStringLiteral("The data is not valid JSON: %1 at offset %2.")
                                  .arg(error.errorString())
                                  .arg(error.offset),
                              QString());
    }
    if (document.isArray())
        return document.array();
    if (document.isObject())
        return document.object();
    throw JsonDecodeError(QStringLiteral("The data is not valid JSON: expected an object or an array."),
                          QString());
}

QString readString(const QJsonValue &value, const QString &path)
{
    if (!value.isString())
        typeMismatch(QStringLiteral("a string"), path);
    return value.toString();
}

double readDouble(const QJsonValue &value, const QString &path)
{
    if (!value.isDouble())
        typeMismatch(QStringLiteral("a number"), path);
    return value.toDouble();
}

qint64 readInt64(const QJsonValue &value, const QString &path)
{
    if (!value.isDouble())
        typeMismatch(QStringLiteral("an integer"), path);
    const QVariant variant = value.toVariant();
    if (variant.typeId() == QMetaType::LongLong)
        return variant.toLongLong();
    const double number = value.toDouble();
    // 2^63 itself does not fit; everything below it that is whole does.
    constexpr double limit = 9223372036854775808.0;
    if (!std::isfinite(number) || number != std::trunc(number) || number < -limit || number >= limit)
        throw JsonDecodeError(QStringLiteral("Number at %1 does not fit a 64-bit integer.").arg(where(path)), path);
    return static_cast<qint64>(number);
}

bool readBool(const QJsonValue &value, const QString &path)
{
    if (!value.isBool())
        typeMismatch(QStringLiteral("a Boolean"), path);
    return value.toBool();
}

QUuid readUuid(const QJsonValue &value, const QString &path)
{
    const auto uuid = parseUuid(readString(value, path));
    if (!uuid)
        throw JsonDecodeError(QStringLiteral("Invalid UUID string at %1.").arg(where(path)), path);
    return *uuid;
}

QJsonArray readArray(const QJsonValue &value, const QString &path)
{
    if (!value.isArray())
        typeMismatch(QStringLiteral("an array"), path);
    return value.toArray();
}

QJsonObject readObject(const QJsonValue &value, const QString &path)
{
    if (!value.isObject())
        typeMismatch(QStringLiteral("an object"), path);
    return value.toObject();
}

int readSingleCase(const QJsonObject &object, std::span<const QLatin1String> caseNames, const QString &path)
{
    int found = -1;
    int count = 0;
    for (int i = 0; i < int(caseNames.size()); ++i) {
        if (object.contains(caseNames[i])) {
            found = i;
            ++count;
        }
    }
    if (count != 1)
        throw JsonDecodeError(QStringLiteral("Invalid number of keys found, expected one."), path);
    return found;
}

JsonObjectReader::JsonObjectReader(const QJsonValue &value, QString path)
    : m_object(readObject(value, path)), m_path(std::move(path))
{
}

QString JsonObjectReader::pathOf(const QString &key) const
{
    return m_path.isEmpty() ? key : m_path + QLatin1Char('.') + key;
}

bool JsonObjectReader::has(const QString &key) const
{
    const auto it = m_object.constFind(key);
    return it != m_object.constEnd() && !it->isNull();
}

QJsonValue JsonObjectReader::required(const QString &key) const
{
    const auto it = m_object.constFind(key);
    if (it == m_object.constEnd() || it->isNull()) {
        throw JsonDecodeError(QStringLiteral("No value for key \"%1\" at %2.").arg(key, where(m_path)),
                              pathOf(key));
    }
    return *it;
}

QString JsonObjectReader::string(const QString &key) const
{
    return readMember(*this, key, &QJsonValue::isString, readString);
}

double JsonObjectReader::number(const QString &key) const
{
    return readMember(*this, key, &QJsonValue::isDouble, readDouble);
}

bool JsonObjectReader::boolean(const QString &key) const
{
    return readMember(*this, key, &QJsonValue::isBool, readBool);
}

QJsonArray JsonObjectReader::array(const QString &key) const
{
    return readMember(*this, key, &QJsonValue::isArray, readArray);
}

std::optional<QString> JsonObjectReader::optionalString(const QString &key) const
{
    if (!has(key))
        return std::nullopt;
    return string(key);
}

std::optional<double> JsonObjectReader::optionalNumber(const QString &key) const
{
    if (!has(key))
        return std::nullopt;
    return number(key);
}

std::optional<qint64> JsonObjectReader::optionalInteger(const QString &key) const
{
    if (!has(key))
        return std::nullopt;
    return integer(key);
}

std::optional<bool> JsonObjectReader::optionalBoolean(const QString &key) const
{
    if (!has(key))
        return std::nullopt;
    return boolean(key);
}

} // namespace marrowick
