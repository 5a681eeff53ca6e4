#pragma once

#include "MarrowickKit/Transport/NWByteChannel.h"
#include "MarrowickKit/Transport/UDPTransport.h"
#include "MarrowickKit/Async/Completion.h"
#include "MarrowickKit/Model/ProviderError.h"

#include <QHostAddress>
#include <QList>

#include <functional>
#include <optional>
#include <vector>

class QUdpSocket;

namespace marrowick {

// Turns a host text into the addresses to try, in order, within `timeout` seconds. Fails with a
// ProviderError ("host not found", "timed out"); a cancelled token throws CancellationError.
using HostResolver =
    std::function<QCoro::Task<QList<QHostAddress>>(QString host, double timeout, CancelToken cancel)>;

// The system's resolver (hosts file, DNS); an address literal stands for itself.
HostResolver systemHostResolver();

// One UDP flow over QUdpSocket, with a connected socket for each address of the host. UDP has
// no handshake to tell which address serves, so datagrams go to every address until one
// answers; from then on the session talks to that address alone. An address that refuses is
// dropped while another remains. An expired receive aborts the sockets, so the session is dead
// after it.
class NWUDPSession : public UDPSession {
public:
    using Socket = std::unique_ptr<QUdpSocket, SocketDeleter>;

    NWUDPSession(std::vector<Socket> sockets, double timeout, CancelToken cancel);
    ~NWUDPSession() override;

    QCoro::Task<void> send(QByteArray datagram) override;
    QCoro::Task<QByteArray> receive() override;
    void close() override;

private:
    struct Flow {
        Socket socket;
        bool dropped = false;
    };

    void abort();
    void drain(std::size_t index);
    // A failure of one address: dropped when another remains, else the session's failure.
    void failed(std::size_t index, const ProviderError &error);
    void drop(std::size_t index);
    std::size_t liveCount() const;
    bool anyConnected() const;

    std::vector<Flow> m_flows;
    double m_timeout;
    CancelToken m_cancel;
    CancelRegistration m_abortOnCancel;
    // Datagrams are taken from the sockets as they arrive, so Qt's read notification never stalls.
    QList<QByteArray> m_arrived;
    // An error the kernel reported for the flow (an ICMP "port unreachable" as ECONNREFUSED).
    std::optional<ProviderError> m_error;
    Completion<Done> m_arrival;
    bool m_answered = false;
};

class NWUDPTransport : public UDPTransport {
public:
    explicit NWUDPTransport(HostResolver resolve = systemHostResolver());

    QCoro::Task<std::unique_ptr<UDPSession>> session(QString host, quint16 port, double timeout,
                                                      CancelToken cancel = {}) const override;

    // A host name with many addresses is asked at this many of them at most.
    static constexpr qsizetype maxAddresses = 8;

private:
    HostResolver m_resolve;
};

} // namespace marrowick
