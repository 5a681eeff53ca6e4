#pragma once

#include "MarrowickKit/Async/MonotonicClock.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <limits>
#include <memory>
#include <unordered_map>
#include <vector>

namespace marrowick {

// Where a connection leads: only a request to the same scheme, host and port reuses it.
struct HTTPTarget {
    bool tls = false;
    QString host; // in its ASCII form, without brackets; an IPv6 zone as in "fe80::1%eth0"
    quint16 port = 0;

    static HTTPTarget of(const QUrl &url);
    QString key() const;
};

// One connection to a target; its socket, a QSslSocket for https, comes once connected. The
// socket dies with the application when that comes first (a TLS socket must not outlive the TLS
// library's plugin), so it is held weakly.
class HTTPConnection {
public:
    HTTPConnection(HTTPTarget target, QTcpSocket *socket) : m_target(std::move(target)), m_socket(socket) {}
    ~HTTPConnection();
    HTTPConnection(const HTTPConnection &) = delete;
    HTTPConnection &operator=(const HTTPConnection &) = delete;

    const HTTPTarget &target() const { return m_target; }
    QTcpSocket *socket() const { return m_socket.data(); }
    // Takes the socket a new connection connected, to an address found until `validUntil`.
    void adopt(QTcpSocket *socket, double validUntil = std::numeric_limits<double>::infinity())
    {
        m_socket = socket;
        m_validUntil = validUntil;
    }
    // On the pool's clock: past it the name may lead elsewhere, and the connection is not reused.
    double validUntil() const { return m_validUntil; }
    // Whether it served an exchange before this one.
    bool isReused() const { return m_exchanges > 1; }
    void startExchange() { ++m_exchanges; }
    // Connected, with nothing unread: fit to carry a request.
    bool isOpenAndClean() const;

private:
    HTTPTarget m_target;
    QPointer<QTcpSocket> m_socket;
    double m_validUntil = std::numeric_limits<double>::infinity();
    int m_exchanges = 0;
};

// The idle keep-alive connections of one HTTP client, by target. A request takes an idle
// connection or a new one, so checks of one target never wait for each other; a connection
// comes back only when its last reply was read whole, and idle ones close after `idleSeconds`.
// A connection serves only while the lookup that gave its address is current (`clock`, the
// lookup's), so a check follows a name that moved even while the old address still answers.
// Lives on the thread that made it, which is the only one to use it.
class HTTPConnectionPool {
public:
    static constexpr double defaultIdleSeconds = 120.0;

    explicit HTTPConnectionPool(double idleSeconds = defaultIdleSeconds, MonotonicClock clock = bootTimeSeconds);
    ~HTTPConnectionPool();
    HTTPConnectionPool(const HTTPConnectionPool &) = delete;
    HTTPConnectionPool &operator=(const HTTPConnectionPool &) = delete;

    // An idle connection to `target` that this computer still has a route to (when
    // `mayReuse`), or a new one without a socket yet.
    std::unique_ptr<HTTPConnection> take(const HTTPTarget &target, bool mayReuse = true);
    // A socket for a new connection's attempt, owned by the pool until handed on.
    QTcpSocket *newSocket(bool tls) const;
    // A connection whose reply was read whole and that may carry another request.
    void giveBack(std::unique_ptr<HTTPConnection> connection);
    qsizetype idleCount() const;

private:
    struct Idle {
        std::unique_ptr<HTTPConnection> connection;
        QElapsedTimer since;
    };

    void closeExpired();

    bool isServing(const HTTPConnection &connection) const;

    double m_idleSeconds;
    MonotonicClock m_clock;
    std::unordered_map<QString, std::vector<Idle>> m_idle;
    // Parent of every socket; the application's child when made on its thread.
    QPointer<QObject> m_sockets;
    QTimer m_expiry;
};

} // namespace marrowick
