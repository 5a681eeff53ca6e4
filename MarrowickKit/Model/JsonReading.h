#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QUuid>

#include <optional>
#include <span>
#include <stdexcept>

namespace marrowick {

// A document that is not JSON, or JSON of the wrong shape. `codingPath` names where reading
// stopped ("[1].tcpPort._0.port"); the message already includes it.
class JsonDecodeError : public std::runtime_error {
public:
    JsonDecodeError(const QString &message, const QString &codingPath);
    const QString &codingPath() const { return m_codingPath; }
    QString message() const { return QString::fromUtf8(what()); }

private:
    QString m_codingPath;
};

// Parses a whole document (an object or an array). Malformed, truncated or too deeply nested
// input throws JsonDecodeError; it never crashes.
QJsonValue parseJsonDocument(const QByteArray &bytes);

// Strict readers of single values: a value of another JSON type throws JsonDecodeError.
QString readString(const QJsonValue &value, const QString &path);
double readDouble(const QJsonValue &value, const QString &path);
// A number that is integral and fits in 64 bits; 64-bit integers keep every digit.
qint64 readInt64(const QJsonValue &value, const QString &path);
bool readBool(const QJsonValue &value, const QString &path);
QUuid readUuid(const QJsonValue &value, const QString &path);
QJsonArray readArray(const QJsonValue &value, const QString &path);
QJsonObject readObject(const QJsonValue &value, const QString &path);

// Reads the members of one object strictly: a required member that is missing or null throws,
// an optional member that is missing or null is absent, a member of the wrong type always
// throws, unknown members are ignored.
class JsonObjectReader {
public:
    JsonObjectReader(const QJsonValue &value, QString path);

    const QJsonObject &object() const { return m_object; }
    const QString &path() const { return m_path; }
    QString pathOf(const QString &key) const;
    // Present and not null.
    bool has(const QString &key) const;

    QJsonValue required(const QString &key) const;

    // The path of a member is only spelled out when it is needed for an error: a large file
    // reads hundreds of thousands of members.
    QString string(const QString &key) const;
    double number(const QString &key) const;
    qint64 integer(const QString &key) const { return readInt64(required(key), pathOf(key)); }
    bool boolean(const QString &key) const;
    QUuid uuid(const QString &key) const { return readUuid(required(key), pathOf(key)); }
    QJsonArray array(const QString &key) const;

    std::optional<QString> optionalString(const QString &key) const;
    std::optional<double> optionalNumber(const QString &key) const;
    std::optional<qint64> optionalInteger(const QString &key) const;
    std::optional<bool> optionalBoolean(const QString &key) const;

private:
    QJsonObject m_object;
    QString m_path;
};

// The one member of a tagged union's object: the index in `caseNames` of the only member that
// names a case (other members are ignored). None or several: "Invalid number of keys found,
// expected one.".
int readSingleCase(const QJsonObject &object, std::span<const QLatin1String> caseNames, const QString &path);

// Reads every element of an array with `read(element, path)`; one failure fails the whole list.
template<typename Read>
auto readList(const QJsonArray &array, const QString &path, Read read)
{
    QList<decltype(read(QJsonValue(), QString()))> list;
    list.reserve(array.size());
    // One path, its index rewritten for each element: a long list costs no allocation per element.
    QString elementPath = path + QLatin1Char('[');
    const qsizetype indexStart = elementPath.size();
    for (qsizetype i = 0; i < array.size(); ++i) {
        elementPath.truncate(indexStart);
        elementPath += QString::number(i);
        elementPath += QLatin1Char(']');
        list.append(read(array.at(i), elementPath));
    }
    return list;
}

} // namespace marrowick
