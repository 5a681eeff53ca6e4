#include "MarrowickKit/Transport/HTTPConnectionPool.h"

#include "MarrowickKit/Transport/NetworkErrors.h"

#include <QCoreApplication>
#include <QNetworkProxy>
#include <QSslSocket>
#include <QThread>

#include <algorithm>
#include <cmath>

namespace marrowick {

namespace {

// Bounds what Qt itself holds of a peer's stream between two reads.
constexpr qint64 socketBufferBytes = 64 * 1024;

} // namespace

HTTPTarget HTTPTarget::of(const QUrl &url)
{
    const bool tls = url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    // A name in its ASCII form; an IPv6 address with its zone as the socket reads it
    // ("fe80::1%eth0", where the URL spells "%25eth0").
    QString host = url.host(QUrl::FullyEncoded);
    if (host.contains(QLatin1Char(':')))
        host = url.host(QUrl::FullyDecoded);
    return HTTPTarget{tls, host, quint16(url.port(tls ? 443 : 80))};
}

QString HTTPTarget::key() const
{
    return (tls ? QLatin1String("https://") : QLatin1String("http://")) + host + QLatin1Char(':') + QString::number(port);
}

HTTPConnection::~HTTPConnection()
{
    if (!m_socket)
        return;
    m_socket->abort();
    m_socket->deleteLater();
}

bool HTTPConnection::isOpenAndClean() const
{
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState && m_socket->bytesAvailable() == 0;
}

HTTPConnectionPool::HTTPConnectionPool(double idleSeconds, MonotonicClock clock)
    : m_idleSeconds(idleSeconds), m_clock(std::move(clock))
{
    QCoreApplication *application = QCoreApplication::instance();
    const bool onApplicationThread = application && application->thread() == QThread::currentThread();
    m_sockets = new QObject(onApplicationThread ? application : nullptr);
    const double checkEvery = std::clamp(idleSeconds * 1000.0 / 4.0, 1.0, 60000.0);
    m_expiry.setInterval(int(std::ceil(checkEvery)));
    QObject::connect(&m_expiry, &QTimer::timeout, [this] { closeExpired(); });
}

HTTPConnectionPool::~HTTPConnectionPool()
{
    m_idle.clear();
    delete m_sockets.data();
}

std::unique_ptr<HTTPConnection> HTTPConnectionPool::take(const HTTPTarget &target, bool mayReuse)
{
    const auto found = m_idle.find(target.key());
    if (mayReuse && found != m_idle.end()) {
        // The most recently used first: the others may then expire.
        while (!found->second.empty()) {
            std::unique_ptr<HTTPConnection> connection = std::move(found->second.back().connection);
            found->second.pop_back();
            // A request on a connection whose route went away would only wait out its time-out;
            // a new connection fails at once, as this computer's failure.
            if (isServing(*connection) && hasRouteTo(connection->socket()->peerAddress()))
                return connection;
        }
        m_idle.erase(found);
    }
    return std::make_unique<HTTPConnection>(target, nullptr);
}

QTcpSocket *HTTPConnectionPool::newSocket(bool tls) const
{
    QTcpSocket *socket = tls ? new QSslSocket(m_sockets) : new QTcpSocket(m_sockets);
    socket->setProxy(QNetworkProxy::NoProxy);
    socket->setReadBufferSize(socketBufferBytes);
    return socket;
}

void HTTPConnectionPool::giveBack(std::unique_ptr<HTTPConnection> connection)
{
    if (!isServing(*connection))
        return;
    QElapsedTimer since;
    since.start();
    const QString key = connection->target().key();
    m_idle[key].push_back(Idle{std::move(connection), since});
    if (!m_expiry.isActive())
        m_expiry.start();
}

qsizetype HTTPConnectionPool::idleCount() const
{
    qsizetype count = 0;
    for (const auto &[key, idle] : m_idle)
        count += qsizetype(idle.size());
    return count;
}

bool HTTPConnectionPool::isServing(const HTTPConnection &connection) const
{
    const double validUntil = connection.validUntil();
    return connection.isOpenAndClean() && (std::isinf(validUntil) || m_clock() < validUntil);
}

void HTTPConnectionPool::closeExpired()
{
    const auto limit = qint64(m_idleSeconds * 1e9);
    for (auto it = m_idle.begin(); it != m_idle.end();) {
        std::erase_if(it->second, [this, limit](const Idle &idle) {
            return idle.since.nsecsElapsed() >= limit || !isServing(*idle.connection);
        });
        it = it->second.empty() ? m_idle.erase(it) : std::next(it);
    }
    if (m_idle.empty())
        m_expiry.stop();
}

} // namespace marrowick
