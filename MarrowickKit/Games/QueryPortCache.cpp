#include "MarrowickKit/Games/QueryPortCache.h"

namespace marrowick {

QueryPortCache &QueryPortCache::shared()
{
    static QueryPortCache cache;
    return cache;
}

std::optional<quint16> QueryPortCache::cachedPort(const QUuid &sourceID, const QString &host, quint16 gamePort) const
{
    const auto found = m_entries.constFind(sourceID);
    if (found == m_entries.cend() || found->host != host || found->gamePort != gamePort)
        return std::nullopt;
    return found->queryPort;
}

void QueryPortCache::store(quint16 port, const QUuid &sourceID, const QString &host, quint16 gamePort)
{
    m_entries.insert(sourceID, Entry{host, gamePort, port});
}

} // namespace marrowick
