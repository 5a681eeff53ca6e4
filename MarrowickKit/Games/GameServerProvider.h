#pragma once

#include "MarrowickKit/Games/GameDefinition.h"
#include "MarrowickKit/Games/GameFacts.h"
#include "MarrowickKit/Games/GameTransports.h"
#include "MarrowickKit/Games/MinecraftPing.h"
#include "MarrowickKit/Games/QueryPortCache.h"
#include "MarrowickKit/Engine/SourceProvider.h"

namespace marrowick {

// Polls one game server with the protocol of its game and reports one game widget, whose id is
// the source's id so that a rename keeps its history, layout and alert state. A server
// that cannot be reached or answers badly is an offline widget of a successful poll; only
// configuration faults (unknown game, bad port, no query port, missing secret, a refused
// password or token) fail the poll.
class GameServerProvider : public SourceProvider {
public:
    static constexpr double minecraftTimeLimit = 10.0;
    static constexpr qsizetype maxPlayerNames = 64;
    static constexpr qsizetype maxNameLength = 64;
    static constexpr qsizetype maxDetailLength = 200;

    // Throws misconfigured "expected gameServer config" for a configuration of another case.
    GameServerProvider(const AnySourceConfig &config, CredentialStoreHandle credentials,
                       GameTransports transports = GameTransports::system(),
                       QueryPortCache &portCache = QueryPortCache::shared());

    const GameServerConfig &config() const { return m_config; }

    QCoro::Task<SourceSnapshot> fetch(CancelToken cancel = {}) override;

private:
    QCoro::Task<MinecraftSLP::Target> lookUp(GameDefinition game, quint16 port, CancelToken cancel);
    QCoro::Task<GameFacts> query(GameDefinition game, MinecraftSLP::Target target, CancelToken cancel);
    QCoro::Task<GameFacts> queryMinecraft(MinecraftSLP::Target target, CancelToken cancel);
    QCoro::Task<GameFacts> queryA2S(GameDefinition game, quint16 port, CancelToken cancel);
    QCoro::Task<std::optional<QString>> credential(GameDefinition game);

    GameServerStatus onlineStatus(const GameFacts &facts, double latencyMs) const;
    GameServerStatus offlineStatus(const QString &failure) const;

    GameServerConfig m_config;
    CredentialStoreHandle m_credentials;
    GameTransports m_transports;
    QueryPortCache *m_portCache;
};

} // namespace marrowick
