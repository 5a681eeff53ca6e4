#pragma once

#include "MarrowickKit/Model/ProviderError.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

namespace marrowick {

// Connects a TCP socket to one of a host's addresses. The addresses are tried in the resolver's
// order with the families alternating; an attempt that has not answered within `stagger` gets a
// second one beside it, and a failed attempt starts the next at once, so one silent address (an
// IPv6 route that drops everything) costs a fraction of a second instead of the whole poll. The
// first socket to connect wins and is handed over; the others are aborted. All attempts failing
// report the first one's failure, a target's before this computer's lack of a route. One
// address costs one attempt and no timer.
class AddressRace {
public:
    static constexpr std::chrono::milliseconds defaultStagger{250};

    // Makes each attempt's socket (a QSslSocket for TLS, which the winner then starts).
    using SocketMaker = std::function<QTcpSocket *()>;
    // Receives the winner, which the caller then owns.
    using Connected = std::function<void(QTcpSocket *)>;
    using Failed = std::function<void(const ProviderError &)>;

    AddressRace(SocketMaker make, Connected connected, Failed failed, std::chrono::milliseconds stagger = defaultStagger);
    ~AddressRace();
    AddressRace(const AddressRace &) = delete;
    AddressRace &operator=(const AddressRace &) = delete;

    void connectTo(const QList<QHostAddress> &addresses, quint16 port);
    // Aborts every attempt; neither callback is called after it.
    void abort();

private:
    void startNext();
    void won(QTcpSocket *socket);
    void lost(QTcpSocket *socket, const QHostAddress &address, QAbstractSocket::SocketError error);
    void fail(const ProviderError &error);
    void drop(QTcpSocket *socket);

    SocketMaker m_make;
    Connected m_connected;
    Failed m_failed;
    std::chrono::milliseconds m_stagger;
    QObject m_context;
    QTimer m_next;
    std::vector<QHostAddress> m_addresses;
    std::size_t m_started = 0;
    quint16 m_port = 0;
    // Held weakly: the sockets' parent may delete them first, as the application ends.
    std::vector<QPointer<QTcpSocket>> m_attempts;
    std::optional<ProviderError> m_firstFailure;
    bool m_finished = false;
};

} // namespace marrowick
