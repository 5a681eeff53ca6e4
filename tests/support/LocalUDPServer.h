#pragma once

#include <QByteArray>
#include <QList>
#include <QUdpSocket>

#include <functional>

namespace marrowick::test {

// A UDP responder on 127.0.0.1 for tests. For each datagram received, the handler returns the
// datagrams to send back to its sender (none for a silent peer, an empty one, several).
// Every datagram received is recorded.
class LocalUDPServer : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<QList<QByteArray>(const QByteArray &request)>;

    explicit LocalUDPServer(Handler handler = {}, QObject *parent = nullptr);

    quint16 port() const { return m_socket.localPort(); }
    const QList<QByteArray> &received() const { return m_received; }

    static Handler echo();
    static Handler silent();
    static Handler fixed(QList<QByteArray> replies);

    // A port on 127.0.0.1 on which nothing is bound (a datagram sent there is refused).
    static quint16 closedPort();

private:
    void readPending();

    QUdpSocket m_socket;
    Handler m_handler;
    QList<QByteArray> m_received;
};

} // namespace marrowick::test
