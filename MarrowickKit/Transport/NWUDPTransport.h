#pragma once

#include "MarrowickKit/Transport/NWByteChannel.h"
#include "MarrowickKit/Transport/UDPTransport.h"
#include "MarrowickKit/Async/Completion.h"
#include "MarrowickKit/Model/ProviderError.h"

#include <QList>

#include <optional>

class QUdpSocket;

namespace marrowick {

// One connected UDP flow over QUdpSocket. An expired receive aborts the socket, so the
// session is dead after it.
class NWUDPSession : public UDPSession {
public:
    NWUDPSession(std::unique_ptr<QUdpSocket, SocketDeleter> socket, double timeout, CancelToken cancel);
    ~NWUDPSession() override;

    QCoro::Task<void> send(QByteArray datagram) override;
    QCoro::Task<QByteArray> receive() override;
    void close() override;

private:
    void abort();
    void drain();

    std::unique_ptr<QUdpSocket, SocketDeleter> m_socket;
    double m_timeout;
    CancelToken m_cancel;
    CancelRegistration m_abortOnCancel;
    // Datagrams are taken from the socket as they arrive, so Qt's read notification never stalls.
    QList<QByteArray> m_arrived;
    // An error the kernel reported for the flow (an ICMP "port unreachable" as ECONNREFUSED).
    std::optional<ProviderError> m_error;
    Completion<Done> m_arrival;
};

class NWUDPTransport : public UDPTransport {
public:
    QCoro::Task<std::unique_ptr<UDPSession>> session(QString host, quint16 port, double timeout,
                                                      CancelToken cancel = {}) const override;
};

} // namespace marrowick
