#include "Marrowick/Settings/SourceRowModel.h"

#include "Marrowick/State/AppState.h"
#include "MarrowickKit/Transport/HostAddressText.h"
#include "MarrowickKit/Transport/RequestURL.h"

namespace marrowick {

namespace {

// The address as the card shows it: a URL without its password, an IPv6 host in brackets
// before its port.
QString shownEndpoint(const AnySourceConfig &source)
{
    const auto hostPort = [](const QString &host, qint64 port) {
        const auto address = hostAddress(host);
        const bool bracketed = address && address->protocol() == QAbstractSocket::IPv6Protocol;
        return (bracketed ? u'[' + unbracketedHost(host) + u']' : host) + u':' + QString::number(port);
    };
    if (const auto *game = source.get<GameServerConfig>())
        return hostPort(game->host, game->port);
    if (const auto *tcp = source.get<TCPPortConfig>())
        return hostPort(tcp->host, tcp->port);
    return withHiddenPassword(source.endpoint());
}

} // namespace


SourceRowModel SourceRowModel::make(const AppState &state, const AnySourceConfig &source)
{
    SourceRowModel model;
    model.id = source.id();
    model.name = source.displayName();
    model.kind = source.kind();
    model.typeTitle = kindTitle(source.kind());
    model.endpoint = shownEndpoint(source);
    model.alertsEnabled = source.config().alertsEnabled;
    model.readResults(state);
    return model;
}

namespace {

// An HTTP ping or a TCP check that is down answers the poll all the same: why it is down (a
// status, a refused connection) is the detail of its check.
std::optional<QString> downCheckReason(const SourceSnapshot *snapshot)
{
    if (!snapshot)
        return std::nullopt;
    for (const WidgetData &widget : snapshot->widgets) {
        const CheckResult *check = widget.get<CheckResult>();
        if (check && check->status == ServiceStatus::down && check->detail && !check->detail->isEmpty())
            return check->detail;
    }
    return std::nullopt;
}

} // namespace

void SourceRowModel::readResults(const AppState &state)
{
    status = sourceStatus(state, id);
    const SourceSnapshot *snapshot = state.snapshots().find(id);
    fetchedAt = snapshot ? std::optional<Instant>(snapshot->fetchedAt) : std::nullopt;
    const QString *failure = state.errors().find(id);
    error = failure ? std::optional<QString>(*failure) : downCheckReason(snapshot);
}

ServiceStatus SourceRowModel::sourceStatus(const AppState &state, const QUuid &id)
{
    if (state.errors().find(id))
        return ServiceStatus::down;
    if (const SourceSnapshot *snapshot = state.snapshots().find(id))
        return AppState::worstStatus(snapshot->widgets);
    return ServiceStatus::unknown;
}

QString SourceRowModel::kindTitle(SourceKind kind)
{
    switch (kind) {
    case SourceKind::kuma:
        return QStringLiteral("Uptime Kuma");
    case SourceKind::beszel:
        return QStringLiteral("Beszel");
    case SourceKind::gameServer:
        return QStringLiteral("Game Server");
    case SourceKind::httpPing:
        return QStringLiteral("HTTP Ping");
    case SourceKind::tcpPort:
        return QStringLiteral("TCP Port");
    case SourceKind::jsonWidget:
        break;
    }
    return QStringLiteral("Custom JSON");
}

QString SourceRowModel::muteLabel() const
{
    return (alertsEnabled ? QStringLiteral("Mute alerts for ") : QStringLiteral("Unmute alerts for ")) + name;
}

AnySourceConfig withAlertsEnabled(const AnySourceConfig &source, bool enabled)
{
    return std::visit(
        [enabled](auto config) {
            config.alertsEnabled = enabled;
            return AnySourceConfig(std::move(config));
        },
        source.value());
}

} // namespace marrowick
