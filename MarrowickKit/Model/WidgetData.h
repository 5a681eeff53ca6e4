#pragma once

#include "MarrowickKit/Model/ServiceStatus.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>
#include <variant>

namespace marrowick {

// One monitored service of a monitoring server.
struct ServiceRow {
    QString id;
    QString name;
    ServiceStatus status = ServiceStatus::unknown;
    std::optional<double> latencyMs;
    std::optional<QString> detail;

    bool operator==(const ServiceRow &) const = default;
    QJsonObject toJson() const;
    static ServiceRow fromJson(const QJsonValue &json, const QString &path = {});
};

struct DriveTemp {
    QString label;
    double tempC = 0;

    bool operator==(const DriveTemp &) const = default;
    QJsonObject toJson() const;
    static DriveTemp fromJson(const QJsonValue &json, const QString &path = {});
};

// One host of a monitoring hub.
struct HostStats {
    QString id;
    QString name;
    ServiceStatus status = ServiceStatus::unknown;
    std::optional<double> cpuPct;
    std::optional<double> memPct;
    std::optional<double> diskPct;
    QList<DriveTemp> temps;

    bool operator==(const HostStats &) const = default;
    QJsonObject toJson() const;
    static HostStats fromJson(const QJsonValue &json, const QString &path = {});
};

struct GameServerStatus {
    QString id;
    QString name;
    bool online = false;
    std::optional<qint64> playersCurrent;
    std::optional<qint64> playersMax;
    QStringList playerNames;
    std::optional<double> latencyMs;
    QString detail;

    bool operator==(const GameServerStatus &) const = default;
    QJsonObject toJson() const;
    static GameServerStatus fromJson(const QJsonValue &json, const QString &path = {});
};

// The outcome of one HTTP-ping or TCP-port check.
struct CheckResult {
    QString id;
    QString name;
    ServiceStatus status = ServiceStatus::unknown;
    std::optional<double> latencyMs;
    std::optional<QString> detail;

    bool operator==(const CheckResult &) const = default;
    QJsonObject toJson() const;
    static CheckResult fromJson(const QJsonValue &json, const QString &path = {});
};

struct JSONFieldValue {
    QString label;
    QString value;

    bool operator==(const JSONFieldValue &) const = default;
    QJsonObject toJson() const;
    static JSONFieldValue fromJson(const QJsonValue &json, const QString &path = {});
};

// A titled list of labelled values.
struct KeyValues {
    QString title;
    QList<JSONFieldValue> fields;

    bool operator==(const KeyValues &) const = default;
};

// One thing to show and to watch. Its `id` is unique within its source; `scopedID` makes it
// unique across sources and keys alert counters, history, latency series and the layout.
class WidgetData {
public:
    using Value = std::variant<ServiceRow, HostStats, GameServerStatus, CheckResult, KeyValues>;
    enum class Case { service, host, game, check, keyValues };

    WidgetData(ServiceRow row) : m_value(std::move(row)) {}
    WidgetData(HostStats host) : m_value(std::move(host)) {}
    WidgetData(GameServerStatus game) : m_value(std::move(game)) {}
    WidgetData(CheckResult check) : m_value(std::move(check)) {}
    WidgetData(KeyValues keyValues) : m_value(std::move(keyValues)) {}
    static WidgetData service(ServiceRow row) { return WidgetData(std::move(row)); }
    static WidgetData host(HostStats host) { return WidgetData(std::move(host)); }
    static WidgetData game(GameServerStatus game) { return WidgetData(std::move(game)); }
    static WidgetData check(CheckResult check) { return WidgetData(std::move(check)); }
    static WidgetData keyValues(QString title, QList<JSONFieldValue> fields)
    {
        return WidgetData(KeyValues{std::move(title), std::move(fields)});
    }

    Case widgetCase() const { return static_cast<Case>(m_value.index()); }
    const Value &value() const { return m_value; }
    template<typename Payload>
    const Payload *get() const { return std::get_if<Payload>(&m_value); }

    // "service:", "host:", "game:", "check:" + the payload's id, or "kv:" + the title.
    QString id() const;
    QString displayName() const;
    WidgetData renamed(const QString &name) const;
    // "<UUID in upper case>/<id>".
    QString scopedID(const QUuid &sourceID) const;

    bool operator==(const WidgetData &) const = default;

    QJsonObject toJson() const;
    // Strict: exactly one case-name member ("Invalid number of keys found, expected one.").
    static WidgetData fromJson(const QJsonValue &json, const QString &path = {});

private:
    Value m_value;
};

// The widget key of a widget id within a source.
QString widgetKey(const QUuid &sourceID, const QString &widgetID);

} // namespace marrowick
