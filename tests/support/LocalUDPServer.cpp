#include "support/LocalUDPServer.h"

#include <QNetworkDatagram>

namespace marrowick::test {

LocalUDPServer::LocalUDPServer(Handler handler, QObject *parent) : QObject(parent), m_handler(std::move(handler))
{
    m_socket.bind(QHostAddress::LocalHost, 0);
    connect(&m_socket, &QUdpSocket::readyRead, this, &LocalUDPServer::readPending);
}

void LocalUDPServer::readPending()
{
    while (m_socket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket.receiveDatagram();
        m_received.append(datagram.data());
        if (!m_handler)
            continue;
        for (const QByteArray &reply : m_handler(datagram.data()))
            m_socket.writeDatagram(reply, datagram.senderAddress(), datagram.senderPort());
    }
}

LocalUDPServer::Handler LocalUDPServer::echo()
{
    return [](const QByteArray &request) { return QList<QByteArray>{request}; };
}

LocalUDPServer::Handler LocalUDPServer::silent()
{
    return [](const QByteArray &) { return QList<QByteArray>{}; };
}

LocalUDPServer::Handler LocalUDPServer::fixed(QList<QByteArray> replies)
{
    return [replies](const QByteArray &) { return replies; };
}

quint16 LocalUDPServer::closedPort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    const quint16 port = probe.localPort();
    probe.close();
    return port;
}

} // namespace marrowick::test
