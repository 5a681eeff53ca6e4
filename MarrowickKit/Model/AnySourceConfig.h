#pragma once

#include "MarrowickKit/Model/SourceConfig.h"

#include <QJsonArray>
#include <QList>

#include <variant>

namespace marrowick {

enum class SourceKind { kuma, beszel, gameServer, httpPing, tcpPort, jsonWidget };

// The one form in which a source travels: the sources file, the engine's input, the
// registry's argument. Exactly one of the six configurations.
class AnySourceConfig {
public:
    using Value = std::variant<KumaConfig, BeszelConfig, GameServerConfig, HTTPPingConfig, TCPPortConfig,
                               JSONWidgetConfig>;

    AnySourceConfig(KumaConfig config) : m_value(std::move(config)) {}
    AnySourceConfig(BeszelConfig config) : m_value(std::move(config)) {}
    AnySourceConfig(GameServerConfig config) : m_value(std::move(config)) {}
    AnySourceConfig(HTTPPingConfig config) : m_value(std::move(config)) {}
    AnySourceConfig(TCPPortConfig config) : m_value(std::move(config)) {}
    AnySourceConfig(JSONWidgetConfig config) : m_value(std::move(config)) {}

    // The shared members of the wrapped configuration.
    const SourceConfig &config() const;
    QUuid id() const { return config().id; }
    QString displayName() const { return config().displayName; }
    SourceKind kind() const { return static_cast<SourceKind>(m_value.index()); }
    QString typeID() const;
    // What the sources list shows: the URL, or host ":" port (the game port, never the query port).
    QString endpoint() const;
    // The reference name of the source's secret, when it has one.
    std::optional<QString> credentialRef() const;

    const Value &value() const { return m_value; }
    template<typename Config>
    const Config *get() const { return std::get_if<Config>(&m_value); }

    bool operator==(const AnySourceConfig &) const = default;

    // {"<case>": {"_0": {...}}}. Throws JsonEncodeError for a non-finite poll interval.
    QJsonObject toJson() const;
    // Strict: exactly one case-name member ("Invalid number of keys found, expected one.").
    static AnySourceConfig fromJson(const QJsonValue &json, const QString &path = {});

    static QString typeID(SourceKind kind);

private:
    Value m_value;
};

// The alerts switch of the first source with `id`; true when no source has it.
bool alertsEnabled(const QList<AnySourceConfig> &sources, const QUuid &id);

// The sources document: a JSON array of sources; one bad element fails the whole document.
QJsonArray sourcesToJson(const QList<AnySourceConfig> &sources);
QList<AnySourceConfig> sourcesFromJson(const QJsonValue &json);

} // namespace marrowick
