#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <memory>
#include <unordered_map>
#include <vector>

namespace marrowick {

// Where a connection leads: only a request to the same scheme, host and port reuses it.
struct HTTPTarget {
    bool tls = false;
    QString host; // in its ASCII form, without brackets
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
    // Takes the socket a new connection connected.
    void adopt(QTcpSocket *socket) { m_socket = socket; }
    // Whether it served an exchange before this one.
    bool isReused() const { return m_exchanges > 1; }
    void startExchange() { ++m_exchanges; }
    // Connected, with nothing unread: fit to carry a request.
    bool isOpenAndClean() const;

private:
    HTTPTarget m_target;
    QPointer<QTcpSocket> m_socket;
    int m_exchanges = 0;
};

// The idle keep-alive connections of one HTTP client, by target. A request takes an idle
// connection or a new one, so checks of one target never wait for each other; a connection
// comes back only when its last reply was read whole, and idle ones close after `idleSeconds`.
// Lives on the thread that made it, which is the only one to use it.
class HTTPConnectionPool {
public:
    static constexpr double defaultIdleSeconds = 120.0;

    explicit HTTPConnectionPool(double idleSeconds = defaultIdleSeconds);
    ~HTTPConnectionPool();
    HTTPConnectionPool(const HTTPConnectionPool &) = delete;
    HTTPConnectionPool &operator=(const HTTPConnectionPool &) = delete;

    // An idle connection to `target` (when `mayReuse`), or a new one without a socket yet.
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

    double m_idleSeconds;
    std::unordered_map<QString, std::vector<Idle>> m_idle;
    // Parent of every socket; the application's child when made on its thread.
    QPointer<QObject> m_sockets;
    QTimer m_expiry;
};

} // namespace marrowick
