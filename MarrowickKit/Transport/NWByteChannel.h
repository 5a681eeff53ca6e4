#pragma once

#include "MarrowickKit/Transport/ByteChannel.h"
#include "MarrowickKit/Transport/HostLookup.h"

#include <QByteArray>

#include <memory>

class QTcpSocket;

namespace marrowick {

// Deletes a socket from the event loop, so no signal of it is being delivered while it dies.
struct SocketDeleter {
    void operator()(QObject *socket) const;
};

// A connected TCP stream over QTcpSocket. Each wait (connect, every chunk of a read, a send)
// has the full time-out; an expired time-out aborts the socket, so the channel is dead after it.
class NWByteChannel : public ByteChannel {
public:
    NWByteChannel(std::unique_ptr<QTcpSocket, SocketDeleter> socket, double timeout, CancelToken cancel,
                  std::optional<double> connectSeconds = std::nullopt);
    ~NWByteChannel() override;

    QCoro::Task<void> send(QByteArray bytes) override;
    QCoro::Task<QByteArray> read(qint64 count) override;
    void close() override;
    std::optional<double> connectSeconds() const override { return m_connectSeconds; }

    // Bytes received but not yet handed out.
    qint64 bufferedByteCount() const { return m_buffer.size(); }

private:
    QCoro::Task<void> receiveChunk();
    void abort();

    std::unique_ptr<QTcpSocket, SocketDeleter> m_socket;
    double m_timeout;
    CancelToken m_cancel;
    CancelRegistration m_abortOnCancel;
    QByteArray m_buffer;
    std::optional<double> m_connectSeconds;
};

// Looks the host up first, for as long as the resolver takes; the time-out of the connection
// starts once its addresses are known.
class NWByteChannelFactory : public ByteChannelFactory {
public:
    static constexpr double defaultTimeout = 3.0;

    explicit NWByteChannelFactory(double timeout = defaultTimeout, std::shared_ptr<HostLookup> hosts = systemHostLookup())
        : m_timeout(timeout), m_hosts(std::move(hosts))
    {
    }

    double timeout() const { return m_timeout; }
    void setTimeout(double timeout) { m_timeout = timeout; }

    QCoro::Task<std::unique_ptr<ByteChannel>> connect(QString host, quint16 port,
                                                       CancelToken cancel = {}) const override;

private:
    double m_timeout;
    std::shared_ptr<HostLookup> m_hosts;
};

} // namespace marrowick
