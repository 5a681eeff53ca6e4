#include "MarrowickKit/Model/SourceConfig.h"

#include "MarrowickKit/Model/JsonReading.h"
#include "MarrowickKit/Model/JsonWriter.h"
#include "MarrowickKit/Model/UuidText.h"

#include <QJsonArray>

#include <cmath>

namespace marrowick {

namespace {

// JSON cannot hold NaN or infinity; refusing here keeps such a value out of every file.
QJsonObject writeShared(const SourceConfig &config)
{
    if (!std::isfinite(config.pollInterval))
        throw JsonEncodeError("Unable to encode a non-finite pollInterval as JSON");
    return QJsonObject{
        {QStringLiteral("id"), uuidText(config.id)},
        {QStringLiteral("displayName"), config.displayName},
        {QStringLiteral("pollInterval"), config.pollInterval},
        {QStringLiteral("alertsEnabled"), config.alertsEnabled},
        {QStringLiteral("alertThreshold"), config.alertThreshold},
    };
}

void readShared(SourceConfig &config, const JsonObjectReader &reader)
{
    config.id = reader.uuid(QStringLiteral("id"));
    config.displayName = reader.string(QStringLiteral("displayName"));
    config.pollInterval = reader.number(QStringLiteral("pollInterval"));
    config.alertsEnabled = reader.boolean(QStringLiteral("alertsEnabled"));
    config.alertThreshold = reader.integer(QStringLiteral("alertThreshold"));
}

void insertOptional(QJsonObject &object, const QString &key, const std::optional<QString> &value)
{
    if (value)
        object.insert(key, *value);
}

void setShared(SourceConfig &config, QUuid id, QString displayName)
{
    config.id = id;
    config.displayName = std::move(displayName);
}

} // namespace

KumaConfig::KumaConfig(QUuid id, QString displayName, QString baseURL, std::optional<QString> username,
                       std::optional<QString> passwordRef, std::optional<QString> statusPageSlug)
    : baseURL(std::move(baseURL)), username(std::move(username)), passwordRef(std::move(passwordRef)),
      statusPageSlug(std::move(statusPageSlug))
{
    setShared(*this, id, std::move(displayName));
}

QJsonObject KumaConfig::toJson() const
{
    auto object = writeShared(*this);
    object.insert(QStringLiteral("baseURL"), baseURL);
    insertOptional(object, QStringLiteral("username"), username);
    insertOptional(object, QStringLiteral("passwordRef"), passwordRef);
    insertOptional(object, QStringLiteral("statusPageSlug"), statusPageSlug);
    return object;
}

KumaConfig KumaConfig::fromJson(const QJsonValue &json, const QString &path)
{
    const JsonObjectReader reader(json, path);
    KumaConfig config;
    readShared(config, reader);
    config.baseURL = reader.string(QStringLiteral("baseURL"));
    config.username = reader.optionalString(QStringLiteral("username"));
    config.passwordRef = reader.optionalString(QStringLiteral("passwordRef"));
    config.statusPageSlug = reader.optionalString(QStringLiteral("statusPageSlug"));
    return config;
}

BeszelConfig::BeszelConfig(QUuid id, QString displayName, QString baseURL, QString tokenRef)
    : BeszelConfig()
{
    setShared(*this, id, std::move(displayName));
    this->baseURL = std::move(baseURL);
    this->tokenRef = std::move(tokenRef);
}

QJsonObject BeszelConfig::toJson() const
{
    auto object = writeShared(*this);
    object.insert(QStringLiteral("baseURL"), baseURL);
    object.insert(QStringLiteral("tokenRef"), tokenRef);
    return object;
}

BeszelConfig BeszelConfig::fromJson(const QJsonValue &json, const QString &path)
{
    const JsonObjectReader reader(json, path);
    BeszelConfig config;
    readShared(config, reader);
    config.baseURL = reader.string(QStringLiteral("baseURL"));
    config.tokenRef = reader.string(QStringLiteral("tokenRef"));
    return config;
}

GameServerConfig::GameServerConfig(QUuid id, QString displayName, QString gameID, QString host, qint64 port,
                                   std::optional<qint64> queryPort, std::optional<QString> credentialRef,
                                   bool useTLS)
    : gameID(std::move(gameID)), host(std::move(host)), port(port), queryPort(queryPort),
      credentialRef(std::move(credentialRef)), useTLS(useTLS)
{
    setShared(*this, id, std::move(displayName));
}

QJsonObject GameServerConfig::toJson() const
{
    auto object = writeShared(*this);
    object.insert(QStringLiteral("gameID"), gameID);
    object.insert(QStringLiteral("host"), host);
    object.insert(QStringLiteral("port"), port);
    if (queryPort)
        object.insert(QStringLiteral("queryPort"), *queryPort);
    insertOptional(object, QStringLiteral("credentialRef"), credentialRef);
    object.insert(QStringLiteral("useTLS"), useTLS);
    return object;
}

GameServerConfig GameServerConfig::fromJson(const QJsonValue &json, const QString &path)
{
    const JsonObjectReader reader(json, path);
    GameServerConfig config;
    config.id = reader.uuid(QStringLiteral("id"));
    config.displayName = reader.string(QStringLiteral("displayName"));
    config.pollInterval = reader.optionalNumber(QStringLiteral("pollInterval")).value_or(PollInterval::standard);
    config.alertsEnabled = reader.optionalBoolean(QStringLiteral("alertsEnabled")).value_or(true);
    config.alertThreshold = reader.optionalInteger(QStringLiteral("alertThreshold")).value_or(3);
    config.gameID = reader.string(QStringLiteral("gameID"));
    config.host = reader.string(QStringLiteral("host"));
    config.port = reader.integer(QStringLiteral("port"));
    config.queryPort = reader.optionalInteger(QStringLiteral("queryPort"));
    config.credentialRef = reader.optionalString(QStringLiteral("credentialRef"));
    config.useTLS = reader.optionalBoolean(QStringLiteral("useTLS")).value_or(false);
    return config;
}

HTTPPingConfig::HTTPPingConfig(QUuid id, QString displayName, QString url) : url(std::move(url))
{
    setShared(*this, id, std::move(displayName));
}

QJsonObject HTTPPingConfig::toJson() const
{
    auto object = writeShared(*this);
    object.insert(QStringLiteral("url"), url);
    object.insert(QStringLiteral("expectedStatus"), expectedStatus);
    return object;
}

HTTPPingConfig HTTPPingConfig::fromJson(const QJsonValue &json, const QString &path)
{
    const JsonObjectReader reader(json, path);
    HTTPPingConfig config;
    readShared(config, reader);
    config.url = reader.string(QStringLiteral("url"));
    config.expectedStatus = reader.integer(QStringLiteral("expectedStatus"));
    return config;
}

TCPPortConfig::TCPPortConfig(QUuid id, QString displayName, QString host, qint64 port)
    : host(std::move(host)), port(port)
{
    setShared(*this, id, std::move(displayName));
}

QJsonObject TCPPortConfig::toJson() const
{
    auto object = writeShared(*this);
    object.insert(QStringLiteral("host"), host);
    object.insert(QStringLiteral("port"), port);
    return object;
}

TCPPortConfig TCPPortConfig::fromJson(const QJsonValue &json, const QString &path)
{
    const JsonObjectReader reader(json, path);
    TCPPortConfig config;
    readShared(config, reader);
    config.host = reader.string(QStringLiteral("host"));
    config.port = reader.integer(QStringLiteral("port"));
    return config;
}

QJsonObject JSONWidgetConfig::FieldMapping::toJson() const
{
    return QJsonObject{{QStringLiteral("label"), label}, {QStringLiteral("path"), path}};
}

JSONWidgetConfig::FieldMapping JSONWidgetConfig::FieldMapping::fromJson(const QJsonValue &json,
                                                                        const QString &codingPath)
{
    const JsonObjectReader reader(json, codingPath);
    return FieldMapping{reader.string(QStringLiteral("label")), reader.string(QStringLiteral("path"))};
}

JSONWidgetConfig::JSONWidgetConfig(QUuid id, QString displayName, QString url,
                                   std::optional<QString> bearerTokenRef, QList<FieldMapping> fields)
    : url(std::move(url)), bearerTokenRef(std::move(bearerTokenRef)), fields(std::move(fields))
{
    setShared(*this, id, std::move(displayName));
}

QJsonObject JSONWidgetConfig::toJson() const
{
    auto object = writeShared(*this);
    object.insert(QStringLiteral("url"), url);
    insertOptional(object, QStringLiteral("bearerTokenRef"), bearerTokenRef);
    QJsonArray mappings;
    for (const auto &field : fields)
        mappings.append(field.toJson());
    object.insert(QStringLiteral("fields"), mappings);
    return object;
}

JSONWidgetConfig JSONWidgetConfig::fromJson(const QJsonValue &json, const QString &path)
{
    const JsonObjectReader reader(json, path);
    JSONWidgetConfig config;
    readShared(config, reader);
    config.url = reader.string(QStringLiteral("url"));
    config.bearerTokenRef = reader.optionalString(QStringLiteral("bearerTokenRef"));
    config.fields = readList(reader.array(QStringLiteral("fields")), reader.pathOf(QStringLiteral("fields")),
                             [](const QJsonValue &value, const QString &at) { return FieldMapping::fromJson(value, at); });
    return config;
}

} // namespace marrowick
