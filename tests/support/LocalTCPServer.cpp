#include "support/LocalTCPServer.h"

namespace marrowick::test {

LocalTCPServer::LocalTCPServer(ConnectHandler onConnect, DataHandler onData, QObject *parent)
    : QObject(parent), m_onConnect(std::move(onConnect)), m_onData(std::move(onData))
{
    connect(&m_server, &QTcpServer::newConnection, this, &LocalTCPServer::accept);
    m_server.listen(QHostAddress::LocalHost, 0);
}

void LocalTCPServer::accept()
{
    while (auto *socket = m_server.nextPendingConnection()) {
        ++m_connectionCount;
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            const QByteArray bytes = socket->readAll();
            m_received += bytes;
            const QByteArray soFar = socket->property("received").toByteArray() + bytes;
            socket->setProperty("received", soFar);
            if (m_onData)
                m_onData(socket, soFar);
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            ++m_closedCount;
            socket->deleteLater();
        });
        if (m_onConnect)
            m_onConnect(socket);
    }
}

LocalTCPServer::ConnectHandler LocalTCPServer::sendAndClose(QByteArray bytes)
{
    return [bytes](QTcpSocket *socket) {
        socket->write(bytes);
        socket->disconnectFromHost();
    };
}

LocalTCPServer::ConnectHandler LocalTCPServer::send(QByteArray bytes)
{
    return [bytes](QTcpSocket *socket) { socket->write(bytes); };
}

LocalTCPServer::DataHandler LocalTCPServer::reply(QByteArray request, QByteArray answer)
{
    return [request, answer](QTcpSocket *socket, const QByteArray &soFar) {
        if (soFar.endsWith(request))
            socket->write(answer);
    };
}

quint16 LocalTCPServer::closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

} // namespace marrowick::test
