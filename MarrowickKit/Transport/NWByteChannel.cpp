#include "MarrowickKit/Transport/NWByteChannel.h"

#include "MarrowickKit/Transport/AddressRace.h"
#include "MarrowickKit/Transport/NetworkErrors.h"

#include <QElapsedTimer>
#include <QNetworkProxy>
#include <QTcpSocket>

namespace marrowick {

namespace {

// Bounds what Qt itself holds of a peer's stream; reads take at most this much at a time.
constexpr qint64 socketBufferBytes = 64 * 1024;

ProviderError eofError()
{
    return ProviderError::upstream(QStringLiteral("eof"));
}

} // namespace

void SocketDeleter::operator()(QObject *socket) const
{
    socket->deleteLater();
}

NWByteChannel::NWByteChannel(std::unique_ptr<QTcpSocket, SocketDeleter> socket, double timeout, CancelToken cancel,
                             std::optional<double> connectSeconds)
    : m_socket(std::move(socket)), m_timeout(timeout), m_cancel(cancel), m_connectSeconds(connectSeconds)
{
    m_abortOnCancel = m_cancel.onCancel([this] { abort(); });
}

NWByteChannel::~NWByteChannel()
{
    m_abortOnCancel.reset();
    abort();
}

void NWByteChannel::abort()
{
    if (m_socket && m_socket->state() != QAbstractSocket::UnconnectedState)
        m_socket->abort();
}

void NWByteChannel::close()
{
    abort();
}

QCoro::Task<void> NWByteChannel::send(QByteArray bytes)
{
    m_cancel.throwIfCancelled();
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        throw eofError();
    Completion<Done> written;
    QObject context;
    QTcpSocket *socket = m_socket.get();
    QObject::connect(socket, &QTcpSocket::bytesWritten, &context, [socket, written] {
        if (socket->bytesToWrite() == 0)
            written.complete({});
    });
    QObject::connect(socket, &QTcpSocket::errorOccurred, &context, [socket, written](auto error) {
        written.fail(providerError(error, socket->errorString()));
    });
    if (socket->write(bytes) < 0)
        throw providerError(socket->error(), socket->errorString());
    if (socket->bytesToWrite() == 0)
        written.complete({});
    // A peer that stops reading must not hold a poll forever.
    co_await withTimeout<Done>(m_timeout, [this] { abort(); }, written, m_cancel);
    m_cancel.throwIfCancelled();
}

QCoro::Task<QByteArray> NWByteChannel::read(qint64 count)
{
    m_cancel.throwIfCancelled();
    while (m_buffer.size() < count)
        co_await receiveChunk();
    QByteArray bytes = m_buffer.left(count);
    m_buffer.remove(0, count);
    co_return bytes;
}

QCoro::Task<void> NWByteChannel::receiveChunk()
{
    QTcpSocket *socket = m_socket.get();
    while (true) {
        if (socket->bytesAvailable() > 0) {
            m_buffer += socket->read(socketBufferBytes);
            co_return;
        }
        if (socket->state() != QAbstractSocket::ConnectedState)
            throw eofError();
        Completion<Done> chunk;
        QObject context;
        QObject::connect(socket, &QTcpSocket::readyRead, &context, [chunk] { chunk.complete({}); });
        QObject::connect(socket, &QTcpSocket::disconnected, &context, [chunk] { chunk.complete({}); });
        QObject::connect(socket, &QTcpSocket::errorOccurred, &context, [socket, chunk](auto error) {
            if (error == QAbstractSocket::RemoteHostClosedError)
                chunk.complete({});
            else
                chunk.fail(providerError(error, socket->errorString()));
        });
        co_await withTimeout<Done>(m_timeout, [this] { abort(); }, chunk, m_cancel);
        // The channel's own abort on cancel may have woken the wait as a disconnect.
        m_cancel.throwIfCancelled();
    }
}

QCoro::Task<std::unique_ptr<ByteChannel>> NWByteChannelFactory::connect(QString host, quint16 port,
                                                                         CancelToken cancel) const
{
    validatePort(port, QStringLiteral("port"));
    cancel.throwIfCancelled();
    const std::shared_ptr<HostLookup> hosts = m_hosts;
    const double timeout = m_timeout;
    const HostAddresses found = co_await hosts->addresses(host, cancel);
    QElapsedTimer clock;
    clock.start();
    std::unique_ptr<QTcpSocket, SocketDeleter> socket;
    Completion<Done> ready;
    AddressRace race(
        [] {
            auto *attempt = new QTcpSocket;
            attempt->setProxy(QNetworkProxy::NoProxy);
            attempt->setReadBufferSize(socketBufferBytes);
            return attempt;
        },
        [&socket, ready](QTcpSocket *winner) {
            socket.reset(winner);
            ready.complete({});
        },
        [ready](const ProviderError &error) { ready.fail(error); });
    race.connectTo(found.addresses, port);
    co_await withTimeout<Done>(timeout, [&race] { race.abort(); }, ready, cancel);
    const double connectSeconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    std::unique_ptr<ByteChannel> channel = std::make_unique<NWByteChannel>(std::move(socket), timeout, cancel, connectSeconds);
    co_return channel;
}

} // namespace marrowick
