#pragma once

#include <QByteArray>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>

#include <functional>

namespace marrowick::test {

// A TCP listener on 127.0.0.1 for tests. `onConnect` runs for each accepted socket (send a
// greeting, close at once, stay silent); `onData` runs whenever a socket received more, with
// everything that socket has received so far (answer a complete request, ignore a partial one).
// Every byte received on any connection is recorded.
class LocalTCPServer : public QObject {
    Q_OBJECT
public:
    using ConnectHandler = std::function<void(QTcpSocket *socket)>;
    using DataHandler = std::function<void(QTcpSocket *socket, const QByteArray &receivedSoFar)>;

    explicit LocalTCPServer(ConnectHandler onConnect = {}, DataHandler onData = {}, QObject *parent = nullptr);

    quint16 port() const { return m_server.serverPort(); }
    int connectionCount() const { return m_connectionCount; }
    // Everything received, in the order it arrived.
    const QByteArray &received() const { return m_received; }
    // Connections the peer has closed so far.
    int closedCount() const { return m_closedCount; }

    // Handlers for the usual behaviours.
    static ConnectHandler sendAndClose(QByteArray bytes);
    static ConnectHandler send(QByteArray bytes);
    // Answers each exact request with its reply; the connection stays open.
    static DataHandler reply(QByteArray request, QByteArray answer);

    // A port on 127.0.0.1 on which nothing listens (connecting is refused).
    static quint16 closedPort();

private:
    void accept();

    QTcpServer m_server;
    ConnectHandler m_onConnect;
    DataHandler m_onData;
    QByteArray m_received;
    int m_connectionCount = 0;
    int m_closedCount = 0;
};

} // namespace marrowick::test
