#include "MarrowickKit/Model/WidgetData.h"

#include "MarrowickKit/Model/JsonReading.h"
#include "MarrowickKit/Model/JsonWriter.h"
#include "MarrowickKit/Model/UuidText.h"

#include <QJsonArray>

#include <array>
#include <cmath>

namespace marrowick {

namespace {

constexpr std::array<QLatin1String, 5> caseNames = {
    QLatin1String("service"),
    QLatin1String("host"),
    QLatin1String("game"),
    QLatin1String("check"),
    QLatin1String("keyValues"),
};
constexpr std::array<const char *, 5> idPrefixes = {"service:", "host:", "game:", "check:", "kv:"};

template<typename Number>
void insertOptional(QJsonObject &object, const QString &key, const std::optional<Number> &value)
{
    if (value)
        object.insert(key, *value);
}

QJsonObject statusRow(const QString &id, const QString &name, ServiceStatus status,
                      const std::optional<double> &latencyMs, const std::optional<QString> &detail)
{
    QJsonObject object{{QStringLiteral("id"), id},
                       {QStringLiteral("name"), name},
                       {QStringLiteral("status"), serviceStatusText(status)}};
    insertOptional(object, QStringLiteral("latencyMs"), latencyMs);
    insertOptional(object, QStringLiteral("detail"), detail);
    return object;
}

template<typename Row>
Row readStatusRow(const QJsonValue &json, const QString &path)
{
    const JsonObjectReader reader(json, path);
    Row row;
    row.id = reader.string(QStringLiteral("id"));
    row.name = reader.string(QStringLiteral("name"));
    row.status = readServiceStatus(reader, QStringLiteral("status"));
    row.latencyMs = reader.optionalNumber(QStringLiteral("latencyMs"));
    row.detail = reader.optionalString(QStringLiteral("detail"));
    return row;
}

QString joinPath(const QString &path, const QString &key)
{
    return path.isEmpty() ? key : path + QLatin1Char('.') + key;
}

} // namespace

QJsonObject ServiceRow::toJson() const
{
    return statusRow(id, name, status, latencyMs, detail);
}

ServiceRow ServiceRow::fromJson(const QJsonValue &json, const QString &path)
{
    return readStatusRow<ServiceRow>(json, path);
}

QJsonObject CheckResult::toJson() const
{
    return statusRow(id, name, status, latencyMs, detail);
}

CheckResult CheckResult::fromJson(const QJsonValue &json, const QString &path)
{
    return readStatusRow<CheckResult>(json, path);
}

QJsonObject DriveTemp::toJson() const
{
    return QJsonObject{{QStringLiteral("label"), label}, {QStringLiteral("tempC"), tempC}};
}

DriveTemp DriveTemp::fromJson(const QJsonValue &json, const QString &path)
{
    const JsonObjectReader reader(json, path);
    return DriveTemp{reader.string(QStringLiteral("label")), reader.number(QStringLiteral("tempC"))};
}

QJsonObject HostStats::toJson() const
{
    QJsonObject object{{QStringLiteral("id"), id},
                       {QStringLiteral("name"), name},
                       {QStringLiteral("status"), serviceStatusText(status)}};
    insertOptional(object, QStringLiteral("cpuPct"), cpuPct);
    insertOptional(object, QStringLiteral("memPct"), memPct);
    insertOptional(object, QStringLiteral("diskPct"), diskPct);
    QJsonArray list;
    for (const auto &temp : temps)
        list.append(temp.toJson());
    object.insert(QStringLiteral("temps"), list);
    return object;
}

HostStats HostStats::fromJson(const QJsonValue &json, const QString &path)
{
    const JsonObjectReader reader(json, path);
    HostStats host;
    host.id = reader.string(QStringLiteral("id"));
    host.name = reader.string(QStringLiteral("name"));
    host.status = readServiceStatus(reader, QStringLiteral("status"));
    host.cpuPct = reader.optionalNumber(QStringLiteral("cpuPct"));
    host.memPct = reader.optionalNumber(QStringLiteral("memPct"));
    host.diskPct = reader.optionalNumber(QStringLiteral("diskPct"));
    host.temps = readList(reader.array(QStringLiteral("temps")), reader.pathOf(QStringLiteral("temps")),
                          [](const QJsonValue &value, const QString &at) { return DriveTemp::fromJson(value, at); });
    return host;
}

QJsonObject GameServerStatus::toJson() const
{
    QJsonObject object{{QStringLiteral("id"), id},
                       {QStringLiteral("name"), name},
                       {QStringLiteral("online"), online},
                       {QStringLiteral("playerNames"), QJsonArray::fromStringList(playerNames)},
                       {QStringLiteral("detail"), detail}};
    insertOptional(object, QStringLiteral("playersCurrent"), playersCurrent);
    insertOptional(object, QStringLiteral("playersMax"), playersMax);
    insertOptional(object, QStringLiteral("latencyMs"), latencyMs);
    return object;
}

GameServerStatus GameServerStatus::fromJson(const QJsonValue &json, const QString &path)
{
    const JsonObjectReader reader(json, path);
    GameServerStatus game;
    game.id = reader.string(QStringLiteral("id"));
    game.name = reader.string(QStringLiteral("name"));
    game.online = reader.boolean(QStringLiteral("online"));
    game.playersCurrent = reader.optionalInteger(QStringLiteral("playersCurrent"));
    game.playersMax = reader.optionalInteger(QStringLiteral("playersMax"));
    game.playerNames = readList(reader.array(QStringLiteral("playerNames")), reader.pathOf(QStringLiteral("playerNames")),
                                [](const QJsonValue &value, const QString &at) { return readString(value, at); });
    game.latencyMs = reader.optionalNumber(QStringLiteral("latencyMs"));
    game.detail = reader.string(QStringLiteral("detail"));
    return game;
}

QJsonObject JSONFieldValue::toJson() const
{
    return QJsonObject{{QStringLiteral("label"), label}, {QStringLiteral("value"), value}};
}

JSONFieldValue JSONFieldValue::fromJson(const QJsonValue &json, const QString &path)
{
    const JsonObjectReader reader(json, path);
    return JSONFieldValue{reader.string(QStringLiteral("label")), reader.string(QStringLiteral("value"))};
}

QString WidgetData::id() const
{
    const QString prefix = QLatin1String(idPrefixes[m_value.index()]);
    if (const auto *kv = get<KeyValues>())
        return prefix + kv->title;
    return prefix + std::visit(
               [](const auto &payload) -> QString {
                   if constexpr (requires { payload.id; })
                       return payload.id;
                   else
                       return {};
               },
               m_value);
}

QString WidgetData::displayName() const
{
    return std::visit(
        [](const auto &payload) -> QString {
            if constexpr (requires { payload.title; })
                return payload.title;
            else
                return payload.name;
        },
        m_value);
}

WidgetData WidgetData::renamed(const QString &name) const
{
    WidgetData copy = *this;
    std::visit(
        [&name](auto &payload) {
            if constexpr (requires { payload.title; })
                payload.title = name;
            else
                payload.name = name;
        },
        copy.m_value);
    return copy;
}

QString WidgetData::scopedID(const QUuid &sourceID) const
{
    return widgetKey(sourceID, id());
}

QString widgetKey(const QUuid &sourceID, const QString &widgetID)
{
    return uuidText(sourceID) + QLatin1Char('/') + widgetID;
}

QJsonObject WidgetData::toJson() const
{
    QJsonObject payload;
    if (const auto *kv = get<KeyValues>()) {
        QJsonArray fields;
        for (const auto &field : kv->fields)
            fields.append(field.toJson());
        payload = QJsonObject{{QStringLiteral("title"), kv->title}, {QStringLiteral("fields"), fields}};
    } else {
        payload = QJsonObject{{QStringLiteral("_0"), std::visit(
                                                         [](const auto &row) -> QJsonObject {
                                                             if constexpr (requires { row.toJson(); })
                                                                 return row.toJson();
                                                             else
                                                                 return {};
                                                         },
                                                         m_value)}};
    }
    return QJsonObject{{caseNames[m_value.index()], payload}};
}

WidgetData WidgetData::fromJson(const QJsonValue &json, const QString &path)
{
    const QJsonObject object = readObject(json, path);
    const int found = readSingleCase(object, caseNames, path);

    const QString name = caseNames[found];
    const JsonObjectReader payload(object.value(name), joinPath(path, name));
    const auto single = [&payload](auto read) {
        return read(payload.required(QStringLiteral("_0")), payload.pathOf(QStringLiteral("_0")));
    };
    switch (static_cast<Case>(found)) {
    case Case::service: return single(ServiceRow::fromJson);
    case Case::host: return single(HostStats::fromJson);
    case Case::game: return single(GameServerStatus::fromJson);
    case Case::check: return single(CheckResult::fromJson);
    case Case::keyValues:
        return keyValues(payload.string(QStringLiteral("title")),
                         readList(payload.array(QStringLiteral("fields")), payload.pathOf(QStringLiteral("fields")),
                                  [](const QJsonValue &value, const QString &at) {
                                      return JSONFieldValue::fromJson(value, at);
                                  }));
    }
    Q_UNREACHABLE();
}

} // namespace marrowick
