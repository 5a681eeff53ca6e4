#include "MarrowickKit/Transport/NWUDPTransport.h"

#include "MarrowickKit/Transport/NetworkErrors.h"

#include <QDeadlineTimer>
#include <QNetworkDatagram>
#include <QNetworkProxy>
#include <QUdpSocket>

#include <sys/socket.h>

#include <algorithm>
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

double secondsLeft(const QDeadlineTimer &deadline)
{
    return double(deadline.remainingTimeNSecs()) / 1e9;
}

QList<QHostAddress> distinctAddresses(const QList<QHostAddress> &addresses)
{
    QList<QHostAddress> distinct;
    for (const auto &address : addresses) {
        if (!distinct.contains(address) && distinct.size() < NWUDPTransport::maxAddresses)
            distinct.append(address);
    }
    return distinct;
}

QCoro::Task<NWUDPSession::Socket> connectedSocket(QHostAddress address, quint16 port, double timeout,
                                                  CancelToken cancel)
{
    NWUDPSession::Socket socket(new QUdpSocket);
    socket->setProxy(QNetworkProxy::NoProxy);
    QUdpSocket *raw = socket.get();
    Completion<Done> ready;
    QObject context;
    QObject::connect(raw, &QUdpSocket::connected, &context, [ready] { ready.complete({}); });
    QObject::connect(raw, &QUdpSocket::errorOccurred, &context, [raw, ready](auto error) {
        ready.fail(providerError(error, raw->errorString()));
    });
    raw->connectToHost(address, port);
    co_await withTimeout<Done>(timeout, [raw] { raw->abort(); }, ready, cancel);
    co_return socket;
}

} // namespace

NWUDPSession::NWUDPSession(std::vector<Socket> sockets, double timeout, CancelToken cancel)
    : m_timeout(timeout), m_cancel(cancel)
{
    for (auto &socket : sockets)
        m_flows.push_back(Flow{std::move(socket)});
    m_abortOnCancel = m_cancel.onCancel([this] { abort(); });
    for (std::size_t index = 0; index < m_flows.size(); ++index) {
        QUdpSocket *socket = m_flows[index].socket.get();
        QObject::connect(socket, &QUdpSocket::readyRead, socket, [this, index] { drain(index); });
    }
    for (std::size_t index = 0; index < m_flows.size(); ++index)
        drain(index);
}

NWUDPSession::~NWUDPSession()
{
    m_abortOnCancel.reset();
    for (auto &flow : m_flows)
        QObject::disconnect(flow.socket.get(), nullptr, flow.socket.get(), nullptr);
    abort();
}

std::size_t NWUDPSession::liveCount() const
{
    return std::count_if(m_flows.cbegin(), m_flows.cend(), [](const Flow &flow) { return !flow.dropped; });
}

bool NWUDPSession::anyConnected() const
{
    return std::any_of(m_flows.cbegin(), m_flows.cend(), [](const Flow &flow) {
        return !flow.dropped && flow.socket->state() == QAbstractSocket::ConnectedState;
    });
}

void NWUDPSession::drop(std::size_t index)
{
    Flow &flow = m_flows[index];
    flow.dropped = true;
    QObject::disconnect(flow.socket.get(), nullptr, flow.socket.get(), nullptr);
    if (flow.socket->state() != QAbstractSocket::UnconnectedState)
        flow.socket->abort();
}

void NWUDPSession::failed(std::size_t index, const ProviderError &error)
{
    if (m_flows[index].dropped)
        return;
    if (liveCount() > 1)
        drop(index);
    else
        m_error = error;
}

void NWUDPSession::drain(std::size_t index)
{
    if (m_flows[index].dropped)
        return;
    QUdpSocket *socket = m_flows[index].socket.get();
    // Qt's own check for a datagram swallows the error a connected UDP socket reports instead
    // (ECONNREFUSED after an ICMP "port unreachable"); look first.
    const auto descriptor = static_cast<int>(socket->socketDescriptor());
    char peek = 0;
    if (descriptor >= 0 && ::recv(descriptor, &peek, 1, MSG_PEEK | MSG_DONTWAIT) < 0
        && errno != EAGAIN && errno != EWOULDBLOCK && errno != EMSGSIZE) {
        failed(index, providerErrorForErrno(errno));
        if (m_flows[index].dropped)
            return;
    }
    while (socket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket->receiveDatagram();
        // The first address to answer is the one the session keeps.
        if (!m_answered) {
            m_answered = true;
            for (std::size_t other = 0; other < m_flows.size(); ++other) {
                if (other != index && !m_flows[other].dropped)
                    drop(other);
            }
        }
        if (m_arrived.size() < maxQueuedDatagrams)
            m_arrived.append(datagram.data());
    }
    if (!m_arrived.isEmpty() || m_error)
        m_arrival.complete({});
}

void NWUDPSession::abort()
{
    for (auto &flow : m_flows) {
        if (flow.socket->state() != QAbstractSocket::UnconnectedState)
            flow.socket->abort();
    }
}

void NWUDPSession::close()
{
    abort();
}

QCoro::Task<void> NWUDPSession::send(QByteArray datagram)
{
    m_cancel.throwIfCancelled();
    std::optional<ProviderError> failure;
    bool sent = false;
    for (std::size_t index = 0; index < m_flows.size(); ++index) {
        QUdpSocket *socket = m_flows[index].socket.get();
        if (m_flows[index].dropped || socket->state() != QAbstractSocket::ConnectedState)
            continue;
        if (socket->write(datagram) >= 0) {
            sent = true;
            continue;
        }
        failure = providerError(socket->error(), socket->errorString());
        if (liveCount() > 1)
            drop(index);
    }
    if (!sent)
        throw failure.value_or(timedOutError());
    co_return;
}

QCoro::Task<QByteArray> NWUDPSession::receive()
{
    m_cancel.throwIfCancelled();
    while (m_arrived.isEmpty()) {
        if (m_error)
            throw *std::exchange(m_error, std::nullopt);
        // A session that an earlier receive timed out on has no socket left to wait on.
        if (!anyConnected())
            throw timedOutError();
        m_arrival = Completion<Done>();
        QObject context;
        for (std::size_t index = 0; index < m_flows.size(); ++index) {
            QUdpSocket *socket = m_flows[index].socket.get();
            if (m_flows[index].dropped)
                continue;
            QObject::connect(socket, &QUdpSocket::errorOccurred, &context, [this, index, socket](auto error) {
                failed(index, providerError(error, socket->errorString()));
                if (m_error)
                    m_arrival.fail(*std::exchange(m_error, std::nullopt));
            });
        }
        co_await withTimeout<Done>(m_timeout, [this] { abort(); }, m_arrival, m_cancel);
        m_cancel.throwIfCancelled();
    }
    QByteArray bytes = m_arrived.takeFirst();
    if (bytes.isEmpty())
        throw emptyReplyError();
    co_return bytes;
}

NWUDPTransport::NWUDPTransport(std::shared_ptr<HostLookup> hosts) : m_hosts(std::move(hosts)) {}

QCoro::Task<std::unique_ptr<UDPSession>> NWUDPTransport::session(QString host, quint16 port, double timeout,
                                                                  CancelToken cancel) const
{
    validatePort(port, QStringLiteral("port"));
    cancel.throwIfCancelled();
    const std::shared_ptr<HostLookup> hosts = m_hosts;
    const auto addresses = distinctAddresses((co_await hosts->addresses(host, cancel)).addresses);
    const QDeadlineTimer deadline(qint64((timeout > 0 ? std::min(timeout, 86400.0) : 0.0) * 1000.0), Qt::PreciseTimer);
    std::vector<NWUDPSession::Socket> sockets;
    std::optional<ProviderError> firstFailure;
    for (const auto &address : addresses) {
        try {
            sockets.push_back(co_await connectedSocket(address, port, secondsLeft(deadline), cancel));
        } catch (const ProviderError &error) {
            // An address family the machine cannot reach; another address may do.
            keepTellingFailure(firstFailure, unlessUnrouted(error, address));
        }
    }
    if (sockets.empty())
        throw firstFailure.value_or(providerError(QAbstractSocket::HostNotFoundError, QString()));
    std::unique_ptr<UDPSession> session = std::make_unique<NWUDPSession>(std::move(sockets), timeout, cancel);
    co_return session;
}

} // namespace marrowick
