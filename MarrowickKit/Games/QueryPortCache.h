#pragma once

#include <QHash>
#include <QUuid>

#include <optional>

namespace marrowick {

// The Steam query port that last answered for each game-server source, so the next poll tries
// it first. One object for the whole process, empty at launch, never written to disk. Used
// from the main thread only.
class QueryPortCache {
public:
    static QueryPortCache &shared();

    QueryPortCache() = default;
    QueryPortCache(const QueryPortCache &) = delete;
    QueryPortCache &operator=(const QueryPortCache &) = delete;

    std::optional<quint16> cachedPort(const QUuid &sourceID) const;
    void store(quint16 port, const QUuid &sourceID);

private:
    QHash<QUuid, quint16> m_ports;
};

} // namespace marrowick
