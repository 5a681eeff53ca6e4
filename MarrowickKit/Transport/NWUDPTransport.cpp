#include "MarrowickKit/Transport/NWUDPTransport.h"

#include "MarrowickKit/Transport/NetworkErrors.h"

#include <QNetworkDatagram>
#include <QNetworkProxy>
#include <QUdpSocket>

#include <sys/socket.h>

#include <cerrno>

#include <utility>

namespace marrowick {

namespace {

// A peer flooding a session cannot make it hold more than this many unread datagrams.
constexpr qsizetype maxQueuedDatagrams = 64;

ProviderError emptyReplyError()
{
    return ProviderError::upstream(QStringLiteral("empty reply"));
}

} // namespace

NWUDPSession::NWUDPSession(std::unique_ptr<QUdpSocket, SocketDeleter> socket, double timeout, CancelToken cancel)
    : m_socket(std::move(socket)), m_timeout(timeout), m_cancel(cancel)
{
    m_abortOnCancel = m_cancel.onCancel([this] { abort(); });
    QObject::connect(m_socket.get(), &QUdpSocket::readyRead, m_socket.get(), [this] { drain(); });
    drain();
}

void NWUDPSession::drain()
{
    // Qt's own check for a datagram swallows the error a connected UDP socket reports instead
    // (ECONNREFUSED after an ICMP "port unreachable"); look first.
    const auto descriptor = static_cast<int>(m_socket->socketDescriptor());
    char peek = 0;
    if (descriptor >= 0 && ::recv(descriptor, &peek, 1, MSG_PEEK | MSG_DONTWAIT) < 0
        && errno != EAGAIN && errno != EWOULDBLOCK && errno != EMSGSIZE)
        m_error = providerErrorForErrno(errno);
    while (m_socket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket->receiveDatagram();
        if (m_arrived.size() < maxQueuedDatagrams)
            m_arrived.append(datagram.data());
    }
    if (!m_arrived.isEmpty() || m_error)
        m_arrival.complete({});
}

NWUDPSession::~NWUDPSession()
{
    m_abortOnCancel.reset();
    QObject::disconnect(m_socket.get(), nullptr, m_socket.get(), nullptr);
    abort();
}

void NWUDPSession::abort()
{
    if (m_socket && m_socket->state() != QAbstractSocket::UnconnectedState)
        m_socket->abort();
}

void NWUDPSession::close()
{
    abort();
}

QCoro::Task<void> NWUDPSession::send(QByteArray datagram)
{
    m_cancel.throwIfCancelled();
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        throw timedOutError();
    if (m_socket->write(datagram) < 0)
        throw providerError(m_socket->error(), m_socket->errorString());
    co_return;
}

QCoro::Task<QByteArray> NWUDPSession::receive()
{
    m_cancel.throwIfCancelled();
    QUdpSocket *socket = m_socket.get();
    while (m_arrived.isEmpty()) {
        if (m_error)
            throw *std::exchange(m_error, std::nullopt);
        // A session that an earlier receive timed out on has no socket left to wait on.
        if (socket->state() != QAbstractSocket::ConnectedState)
            throw timedOutError();
        m_arrival = Completion<Done>();
        const Completion<Done> arrived = m_arrival;
        QObject context;
        QObject::connect(socket, &QUdpSocket::errorOccurred, &context, [socket, arrived](auto error) {
            arrived.fail(providerError(error, socket->errorString()));
        });
        co_await withTimeout<Done>(m_timeout, [this] { abort(); }, arrived, m_cancel);
        m_cancel.throwIfCancelled();
    }
    QByteArray bytes = m_arrived.takeFirst();
    if (bytes.isEmpty())
        throw emptyReplyError();
    co_return bytes;
}

QCoro::Task<std::unique_ptr<UDPSession>> NWUDPTransport::session(QString host, quint16 port, double timeout,
                                                                  CancelToken cancel) const
{
    validatePort(port, QStringLiteral("port"));
    cancel.throwIfCancelled();
    std::unique_ptr<QUdpSocket, SocketDeleter> socket(new QUdpSocket);
    socket->setProxy(QNetworkProxy::NoProxy);
    QUdpSocket *raw = socket.get();
    Completion<Done> ready;
    QObject context;
    QObject::connect(raw, &QUdpSocket::connected, &context, [ready] { ready.complete({}); });
    QObject::connect(raw, &QUdpSocket::errorOccurred, &context, [raw, ready](auto error) {
        ready.fail(providerError(error, raw->errorString()));
    });
    raw->connectToHost(host, port);
    co_await withTimeout<Done>(timeout, [raw] { raw->abort(); }, ready, cancel);
    std::unique_ptr<UDPSession> session = std::make_unique<NWUDPSession>(std::move(socket), timeout, cancel);
    co_return session;
}

} // namespace marrowick
