#include "MarrowickKit/Transport/AddressRace.h"

#include "MarrowickKit/Transport/NetworkErrors.h"

#include <algorithm>

namespace marrowick {

namespace {

// The resolver's order, with the families taking turns from the first address's family.
std::vector<QHostAddress> alternatingFamilies(const QList<QHostAddress> &addresses)
{
    std::vector<QHostAddress> first, other;
    for (const QHostAddress &address : addresses)
        (address.protocol() == addresses.front().protocol() ? first : other).push_back(address);
    std::vector<QHostAddress> ordered;
    ordered.reserve(addresses.size());
    for (std::size_t i = 0; i < std::max(first.size(), other.size()); ++i) {
        if (i < first.size())
            ordered.push_back(first[i]);
        if (i < other.size())
            ordered.push_back(other[i]);
    }
    return ordered;
}

} // namespace

AddressRace::AddressRace(SocketMaker make, Connected connected, Failed failed, std::chrono::milliseconds stagger)
    : m_make(std::move(make)), m_connected(std::move(connected)), m_failed(std::move(failed)), m_stagger(stagger)
{
    m_next.setSingleShot(true);
    QObject::connect(&m_next, &QTimer::timeout, &m_context, [this] { startNext(); });
}

AddressRace::~AddressRace()
{
    abort();
}

void AddressRace::connectTo(const QList<QHostAddress> &addresses, quint16 port)
{
    if (addresses.isEmpty())
        return fail(providerError(QAbstractSocket::HostNotFoundError, QString()));
    m_addresses = alternatingFamilies(addresses);
    m_port = port;
    startNext();
}

void AddressRace::abort()
{
    m_finished = true;
    m_next.stop();
    for (const QPointer<QTcpSocket> &socket : std::exchange(m_attempts, {}))
        if (socket)
            drop(socket);
}

void AddressRace::startNext()
{
    if (m_finished || m_started >= m_addresses.size())
        return;
    QTcpSocket *socket = m_make();
    m_attempts.push_back(socket);
    QObject::connect(socket, &QTcpSocket::connected, &m_context, [this, socket] { won(socket); });
    const QHostAddress address = m_addresses[m_started++];
    QObject::connect(socket, &QTcpSocket::errorOccurred, &m_context,
                     [this, socket, address](QAbstractSocket::SocketError error) { lost(socket, address, error); });
    socket->connectToHost(address, m_port);
    if (m_started < m_addresses.size() && !m_finished)
        m_next.start(m_stagger);
}

void AddressRace::won(QTcpSocket *socket)
{
    if (m_finished)
        return;
    std::erase(m_attempts, socket);
    QObject::disconnect(socket, nullptr, &m_context, nullptr);
    abort();
    m_connected(socket);
}

void AddressRace::lost(QTcpSocket *socket, const QHostAddress &address, QAbstractSocket::SocketError error)
{
    if (m_finished)
        return;
    keepTellingFailure(m_firstFailure, unlessUnrouted(providerError(error, socket->errorString()), address));
    std::erase(m_attempts, socket);
    drop(socket);
    if (m_started < m_addresses.size()) {
        m_next.stop();
        return startNext();
    }
    if (m_attempts.empty())
        fail(*m_firstFailure);
}

void AddressRace::fail(const ProviderError &error)
{
    abort();
    m_failed(error);
}

void AddressRace::drop(QTcpSocket *socket)
{
    QObject::disconnect(socket, nullptr, &m_context, nullptr);
    socket->abort();
    socket->deleteLater();
}

} // namespace marrowick
