#include "MarrowickKit/Games/GameServerProvider.h"

#include "MarrowickKit/Games/A2SQueryClient.h"
#include "MarrowickKit/Games/BedrockPing.h"
#include "MarrowickKit/Games/GameHTTPQueries.h"
#include "MarrowickKit/Games/GameRegistry.h"
#include "MarrowickKit/Model/GraphemeText.h"
#include "MarrowickKit/Model/UuidText.h"
#include "MarrowickKit/Games/MinecraftPing.h"
#include "MarrowickKit/Transport/NetworkErrors.h"
#include "MarrowickKit/Games/QueryPortProbe.h"

namespace marrowick {

namespace {

// A failure that the user must fix in the configuration, or one of this computer (its network,
// its keyring), fails the poll; the text of any other failure is what the offline widget shows.
// Cancellation always passes on.
QString offlineReason(std::exception_ptr failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const CancellationError &) {
        throw;
    } catch (const CredentialError &) {
        throw;
    } catch (...) {
    }
    const ProviderError error = providerError(failure);
    if (error.kind() != ProviderError::Kind::upstream)
        std::rethrow_exception(failure);
    return error.description();
}

} // namespace

GameServerProvider::GameServerProvider(const AnySourceConfig &config, CredentialStoreHandle credentials,
                                       GameTransports transports, QueryPortCache &portCache)
    : m_config(requireConfig<GameServerConfig>(config, SourceKind::gameServer)), m_credentials(std::move(credentials)),
      m_transports(std::move(transports)), m_portCache(&portCache)
{
}

QCoro::Task<SourceSnapshot> GameServerProvider::fetch(CancelToken cancel)
{
    const auto game = GameRegistry::game(m_config.gameID);
    if (!game)
        throw ProviderError::misconfigured(QStringLiteral("unknown game \"") + m_config.gameID + QLatin1Char('"'));
    const quint16 port = validatePort(m_config.port, QStringLiteral("port"));

    std::exception_ptr failure;
    GameFacts facts;
    double latencyMs = 0;
    try {
        const MinecraftSLP::Target target = co_await lookUp(*game, port, cancel);
        const double start = m_transports.clock();
        facts = co_await query(*game, target, cancel);
        latencyMs = (m_transports.clock() - start) * 1000.0;
    } catch (...) {
        failure = std::current_exception();
    }
    cancel.throwIfCancelled();
    const GameServerStatus status = failure ? offlineStatus(offlineReason(failure)) : onlineStatus(facts, latencyMs);
    co_return SourceSnapshot{m_config.id, Instant::now(), {WidgetData::game(status)}};
}

// The server's name (a Minecraft server's SRV record first) is looked up before the clock
// starts, and the query then finds the answer kept: a slow resolver is not a slow server. A
// failed lookup is the query's to report, after the checks of the configuration it makes.
QCoro::Task<MinecraftSLP::Target> GameServerProvider::lookUp(GameDefinition game, quint16 port, CancelToken cancel)
{
    MinecraftSLP::Target target{m_config.host, port};
    if (game.engine() == GameDefinition::Engine::minecraftSLP)
        target = co_await MinecraftSLP::resolveTarget(m_config.host, port, m_transports.resolver, cancel);
    if (m_transports.hosts) {
        try {
            co_await m_transports.hosts->addresses(target.host, cancel);
        } catch (const ProviderError &) {
        }
    }
    co_return target;
}

QCoro::Task<GameFacts> GameServerProvider::query(GameDefinition game, MinecraftSLP::Target target, CancelToken cancel)
{
    using Engine = GameDefinition::Engine;
    const quint16 port = target.port;
    switch (game.engine()) {
    case Engine::minecraftSLP:
        co_return co_await queryMinecraft(target, cancel);
    case Engine::a2s:
        co_return co_await queryA2S(game, port, cancel);
    case Engine::bedrockPing:
        co_return co_await bedrockPing(m_config.host, port, m_transports.udp, cancel);
    case Engine::palworldREST: {
        const auto password = co_await credential(game);
        co_return co_await palworldQuery(m_config.host, port, password.value_or(QString()), m_config.useTLS,
                                         m_transports.http, cancel);
    }
    case Engine::fivemHTTP: {
        const auto token = co_await credential(game);
        co_return co_await fivemQuery(m_config.host, port, token, m_config.useTLS, m_transports.http, cancel);
    }
    case Engine::tshockREST:
        co_return co_await tshockQuery(m_config.host, port, m_config.useTLS, m_transports.http, cancel);
    }
    throw ProviderError::misconfigured(QStringLiteral("unknown engine"));
}

QCoro::Task<GameFacts> GameServerProvider::queryMinecraft(MinecraftSLP::Target target, CancelToken cancel)
{
    auto channel = co_await m_transports.channels->connect(target.host, target.port, cancel);
    try {
        GameFacts facts = co_await MinecraftSLP::status(target.host, target.port, minecraftTimeLimit, channel.get(),
                                                        m_transports.sleep, cancel);
        channel->close();
        co_return facts;
    } catch (...) {
        channel->close();
        throw;
    }
}

QCoro::Task<GameFacts> GameServerProvider::queryA2S(GameDefinition game, quint16 port, CancelToken cancel)
{
    std::optional<quint16> queryPort;
    if (m_config.queryPort)
        queryPort = validatePort(*m_config.queryPort, QStringLiteral("query port"));
    const auto remembered = m_portCache->cachedPort(m_config.id, m_config.host, port);
    const auto candidates = queryPortCandidates(port, game, queryPort, remembered);
    PortQuery perPort = [host = m_config.host, udp = m_transports.udp, players = game.queriesPlayers(),
                         keywords = game.playerCountInKeywords(), clock = m_transports.clock,
                         cancel](quint16 candidate) {
        return A2SWire::queryPort(host, candidate, udp, players, keywords, clock, cancel);
    };
    const ProbeResult result = co_await probeQueryPorts(candidates, perPort);
    m_portCache->store(result.port, m_config.id, m_config.host, port);
    co_return result.facts;
}

QCoro::Task<std::optional<QString>> GameServerProvider::credential(GameDefinition game)
{
    if (m_config.credentialRef && !m_config.credentialRef->isEmpty()) {
        QString secret = co_await m_credentials->require(*m_config.credentialRef);
        co_return secret;
    }
    if (game.credentialUse() == GameDefinition::CredentialUse::required)
        throw ProviderError::missingCredential(game.id());
    co_return std::nullopt;
}

GameServerStatus GameServerProvider::onlineStatus(const GameFacts &facts, double latencyMs) const
{
    GameServerStatus status;
    status.id = uuidText(m_config.id);
    status.name = m_config.displayName;
    status.online = true;
    status.playersCurrent = facts.playersCurrent;
    status.playersMax = facts.playersMax;
    for (const auto &name : facts.playerNames.mid(0, maxPlayerNames))
        status.playerNames.append(firstGraphemes(name, maxNameLength));
    status.latencyMs = latencyMs;
    status.detail = firstGraphemes(facts.detail, maxDetailLength);
    return status;
}

GameServerStatus GameServerProvider::offlineStatus(const QString &failure) const
{
    GameServerStatus status;
    status.id = uuidText(m_config.id);
    status.name = m_config.displayName;
    status.online = false;
    status.detail = firstGraphemes(failure, maxDetailLength);
    return status;
}

} // namespace marrowick
