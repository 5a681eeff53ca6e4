#include "MarrowickKit/Games/QueryPortCache.h"

namespace marrowick {

QueryPortCache &QueryPortCache::shared()
{
    static QueryPortCache cache;
    return cache;
}

std::optional<quint16> QueryPortCache::cachedPort(const QUuid &sourceID) const
{
    const auto found = m_ports.constFind(sourceID);
    if (found == m_ports.cend())
        return std::nullopt;
    return *found;
}

void QueryPortCache::store(quint16 port, const QUuid &sourceID)
{
    m_ports.insert(sourceID, port);
}

} // namespace marrowick
