#pragma once

#include "MarrowickKit/Async/Cancellation.h"

#include <QByteArray>
#include <QString>

#include <QCoro/QCoroTask>

#include <memory>

namespace marrowick {

// One connected UDP flow. Failures are ProviderError ("timed out", "empty reply", ...); a
// cancelled token aborts the socket and throws CancellationError.
class UDPSession {
public:
    virtual ~UDPSession() = default;
    virtual QCoro::Task<void> send(QByteArray datagram) = 0;
    // One datagram of at least one byte, within the session's time-out.
    virtual QCoro::Task<QByteArray> receive() = 0;
    virtual void close() = 0;
};

class UDPTransport {
public:
    virtual ~UDPTransport() = default;
    virtual QCoro::Task<std::unique_ptr<UDPSession>> session(QString host, quint16 port, double timeout,
                                                              CancelToken cancel = {}) const = 0;

    // Open, send one request, return the first datagram; the session is closed on every path.
    QCoro::Task<QByteArray> query(QString host, quint16 port, QByteArray request, double timeout,
                                  CancelToken cancel = {}) const;
};

// The UDP implementation over the system's sockets.
std::shared_ptr<const UDPTransport> systemUDPTransport();

} // namespace marrowick
