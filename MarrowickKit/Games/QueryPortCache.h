#pragma once

#include <QHash>
#include <QString>
#include <QUuid>

#include <optional>

namespace marrowick {

// The Steam query port that last answered for each game-server source, so the next poll tries
// it first. A port belongs to the host and game port it was learned for: once the source points
// elsewhere it is never offered again, and the next answer replaces it. One object for the whole
// process, empty at launch, never written to disk. Used from the main thread only.
class QueryPortCache {
public:
    static QueryPortCache &shared();

    QueryPortCache() = default;
    QueryPortCache(const QueryPortCache &) = delete;
    QueryPortCache &operator=(const QueryPortCache &) = delete;

    // Nothing when the port was learned for another host or game port.
    std::optional<quint16> cachedPort(const QUuid &sourceID, const QString &host, quint16 gamePort) const;
    void store(quint16 port, const QUuid &sourceID, const QString &host, quint16 gamePort);

private:
    struct Entry {
        QString host;
        quint16 gamePort = 0;
        quint16 queryPort = 0;
    };

    QHash<QUuid, Entry> m_entries;
};

} // namespace marrowick
