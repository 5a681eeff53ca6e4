#include "MarrowickKit/Model/AnySourceConfig.h"

#include "MarrowickKit/Model/JsonReading.h"

#include <array>

namespace marrowick {

namespace {

constexpr std::array<QLatin1String, 6> caseNames = {
    QLatin1String("kuma"),
    QLatin1String("beszel"),
    QLatin1String("gameServer"),
    QLatin1String("httpPing"),
    QLatin1String("tcpPort"),
    QLatin1String("jsonWidget"),
};

template<typename Config>
AnySourceConfig readCase(const QJsonValue &payload, const QString &path)
{
    const JsonObjectReader wrapper(payload, path);
    return Config::fromJson(wrapper.required(QStringLiteral("_0")), wrapper.pathOf(QStringLiteral("_0")));
}

} // namespace

const SourceConfig &AnySourceConfig::config() const
{
    return std::visit([](const auto &config) -> const SourceConfig & { return config; }, m_value);
}

QString AnySourceConfig::typeID(SourceKind kind)
{
    return QString(caseNames[static_cast<size_t>(kind)]);
}

QString AnySourceConfig::typeID() const
{
    return typeID(kind());
}

QString AnySourceConfig::endpoint() const
{
    const auto hostPort = [](const QString &host, qint64 port) {
        return host + QLatin1Char(':') + QString::number(port);
    };
    switch (kind()) {
    case SourceKind::kuma: return get<KumaConfig>()->baseURL;
    case SourceKind::beszel: return get<BeszelConfig>()->baseURL;
    case SourceKind::gameServer: return hostPort(get<GameServerConfig>()->host, get<GameServerConfig>()->port);
    case SourceKind::httpPing: return get<HTTPPingConfig>()->url;
    case SourceKind::tcpPort: return hostPort(get<TCPPortConfig>()->host, get<TCPPortConfig>()->port);
    case SourceKind::jsonWidget: return get<JSONWidgetConfig>()->url;
    }
    return {};
}

std::optional<QString> AnySourceConfig::credentialRef() const
{
    switch (kind()) {
    case SourceKind::kuma: return get<KumaConfig>()->passwordRef;
    case SourceKind::beszel: return get<BeszelConfig>()->tokenRef;
    case SourceKind::gameServer: return get<GameServerConfig>()->credentialRef;
    case SourceKind::jsonWidget: return get<JSONWidgetConfig>()->bearerTokenRef;
    case SourceKind::httpPing:
    case SourceKind::tcpPort: return std::nullopt;
    }
    return std::nullopt;
}

QJsonObject AnySourceConfig::toJson() const
{
    const QJsonObject payload = std::visit([](const auto &config) { return config.toJson(); }, m_value);
    return QJsonObject{{typeID(), QJsonObject{{QStringLiteral("_0"), payload}}}};
}

AnySourceConfig AnySourceConfig::fromJson(const QJsonValue &json, const QString &path)
{
    const QJsonObject object = readObject(json, path);
    const int found = readSingleCase(object, caseNames, path);

    const QString name = caseNames[found];
    const QJsonValue payload = object.value(name);
    const QString at = path.isEmpty() ? name : path + QLatin1Char('.') + name;
    switch (static_cast<SourceKind>(found)) {
    case SourceKind::kuma: return readCase<KumaConfig>(payload, at);
    case SourceKind::beszel: return readCase<BeszelConfig>(payload, at);
    case SourceKind::gameServer: return readCase<GameServerConfig>(payload, at);
    case SourceKind::httpPing: return readCase<HTTPPingConfig>(payload, at);
    case SourceKind::tcpPort: return readCase<TCPPortConfig>(payload, at);
    case SourceKind::jsonWidget: return readCase<JSONWidgetConfig>(payload, at);
    }
    Q_UNREACHABLE();
}

bool alertsEnabled(const QList<AnySourceConfig> &sources, const QUuid &id)
{
    for (const auto &source : sources) {
        if (source.id() == id)
            return source.config().alertsEnabled;
    }
    return true;
}

QJsonArray sourcesToJson(const QList<AnySourceConfig> &sources)
{
    QJsonArray array;
    for (const auto &source : sources)
        array.append(source.toJson());
    return array;
}

QList<AnySourceConfig> sourcesFromJson(const QJsonValue &json)
{
    const QJsonArray array = readArray(json, QString());
    QList<AnySourceConfig> sources;
    sources.reserve(array.size());
    for (qsizetype i = 0; i < array.size(); ++i)
        sources.append(AnySourceConfig::fromJson(array.at(i), QStringLiteral("[%1]").arg(i)));
    return sources;
}

} // namespace marrowick
