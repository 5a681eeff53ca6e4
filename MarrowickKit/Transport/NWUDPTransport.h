#pragma once

#include "MarrowickKit/Transport/HostLookup.h"
#include "MarrowickKit/Transport/NWByteChannel.h"
#include "MarrowickKit/Transport/UDPTransport.h"
#include "MarrowickKit/Async/Completion.h"
#include "MarrowickKit/Model/ProviderError.h"

#include <optional>
#include <vector>

class QUdpSocket;

namespace marrowick {

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

// Looks the host up first, for as long as the resolver takes; the time-out of readying the
// sockets starts once its addresses are known.
class NWUDPTransport : public UDPTransport {
public:
    explicit NWUDPTransport(std::shared_ptr<HostLookup> hosts = systemHostLookup());

    QCoro::Task<std::unique_ptr<UDPSession>> session(QString host, quint16 port, double timeout,
                                                      CancelToken cancel = {}) const override;

    // A host name with many addresses is asked at this many of them at most.
    static constexpr qsizetype maxAddresses = 8;

private:
    std::shared_ptr<HostLookup> m_hosts;
};

} // namespace marrowick
