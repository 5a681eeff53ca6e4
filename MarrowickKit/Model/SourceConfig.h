#pragma once

#include "MarrowickKit/Model/PollInterval.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

namespace marrowick {

// The five members that every kind of source shares. Configurations hold what the user
// entered, unvalidated and unclamped; secrets live in the credential store, never here.
struct SourceConfig {
    QUuid id;
    QString displayName;
    double pollInterval = PollInterval::standard;
    bool alertsEnabled = true;
    qint64 alertThreshold = 3;

    bool operator==(const SourceConfig &) const = default;
};

struct KumaConfig : SourceConfig {
    QString baseURL;
    std::optional<QString> username;
    std::optional<QString> passwordRef;
    std::optional<QString> statusPageSlug;

    KumaConfig() = default;
    KumaConfig(QUuid id, QString displayName, QString baseURL, std::optional<QString> username,
               std::optional<QString> passwordRef, std::optional<QString> statusPageSlug);

    bool operator==(const KumaConfig &) const = default;
    QJsonObject toJson() const;
    static KumaConfig fromJson(const QJsonValue &json, const QString &path = {});
};

struct BeszelConfig : SourceConfig {
    QString baseURL;
    QString tokenRef;

    BeszelConfig() { pollInterval = PollInterval::frequent; }
    BeszelConfig(QUuid id, QString displayName, QString baseURL, QString tokenRef);

    bool operator==(const BeszelConfig &) const = default;
    QJsonObject toJson() const;
    static BeszelConfig fromJson(const QJsonValue &json, const QString &path = {});
};

struct GameServerConfig : SourceConfig {
    QString gameID;
    QString host;
    qint64 port = 0;
    std::optional<qint64> queryPort;
    std::optional<QString> credentialRef;
    bool useTLS = false;

    GameServerConfig() = default;
    GameServerConfig(QUuid id, QString displayName, QString gameID, QString host, qint64 port,
                     std::optional<qint64> queryPort, std::optional<QString> credentialRef, bool useTLS);

    bool operator==(const GameServerConfig &) const = default;
    QJsonObject toJson() const;
    // The one configuration that fills in defaults for the shared members and its options.
    static GameServerConfig fromJson(const QJsonValue &json, const QString &path = {});
};

struct HTTPPingConfig : SourceConfig {
    QString url;
    qint64 expectedStatus = 200;

    HTTPPingConfig() = default;
    HTTPPingConfig(QUuid id, QString displayName, QString url);

    bool operator==(const HTTPPingConfig &) const = default;
    QJsonObject toJson() const;
    static HTTPPingConfig fromJson(const QJsonValue &json, const QString &path = {});
};

struct TCPPortConfig : SourceConfig {
    QString host;
    qint64 port = 0;

    TCPPortConfig() = default;
    TCPPortConfig(QUuid id, QString displayName, QString host, qint64 port);

    bool operator==(const TCPPortConfig &) const = default;
    QJsonObject toJson() const;
    static TCPPortConfig fromJson(const QJsonValue &json, const QString &path = {});
};

struct JSONWidgetConfig : SourceConfig {
    struct FieldMapping {
        QString label;
        QString path;

        bool operator==(const FieldMapping &) const = default;
        QJsonObject toJson() const;
        static FieldMapping fromJson(const QJsonValue &json, const QString &path = {});
    };

    QString url;
    std::optional<QString> bearerTokenRef;
    QList<FieldMapping> fields;

    JSONWidgetConfig() = default;
    JSONWidgetConfig(QUuid id, QString displayName, QString url, std::optional<QString> bearerTokenRef,
                     QList<FieldMapping> fields);

    bool operator==(const JSONWidgetConfig &) const = default;
    QJsonObject toJson() const;
    static JSONWidgetConfig fromJson(const QJsonValue &json, const QString &path = {});
};

} // namespace marrowick
