#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>

#include <memory>
#include <vector>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

namespace marrowick {

// The network managers of one HTTP client. A manager opens at most six connections per host
// and port and queues the requests beyond them, so a thousand checks of one target would
// wait their turn and fall behind their intervals. Each request goes to the first manager
// with a connection free for its target; when none has one, another manager (with its own
// connections and network thread) joins, up to `maxManagers`. Requests to many targets stay
// on the first manager. Lives on the thread that made it, which is the only one to use it.
class NetworkManagerPool {
public:
    static constexpr int connectionsPerManager = 6;
    static constexpr int maxManagers = 32;

    NetworkManagerPool();
    ~NetworkManagerPool();
    NetworkManagerPool(const NetworkManagerPool &) = delete;
    NetworkManagerPool &operator=(const NetworkManagerPool &) = delete;

    QNetworkReply *send(const QNetworkRequest &request, const QByteArray &method, const QByteArray &body);

private:
    struct Slot {
        std::shared_ptr<QNetworkAccessManager> manager;
        // Requests not yet finished, by target.
        QHash<QString, int> inFlight;
    };

    std::size_t slotFor(const QString &target);
    void release(std::size_t slot, const QString &target);

    std::vector<Slot> m_slots;
    // Declared last, so destroyed first: replies that the managers delete afterwards no
    // longer reach release().
    QObject m_context;
};

} // namespace marrowick
