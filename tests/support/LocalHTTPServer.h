#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

#include <functional>

namespace marrowick::test {

// One request as the test server received it.
struct ReceivedRequest {
    QByteArray method;
    QByteArray target; // path and query, as sent
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;

    QByteArray header(const QByteArray &name) const;
};

// A small HTTP/1.1 server on 127.0.0.1 for tests. Each request is handed to the handler with
// its socket; the handler answers with `respond` or writes whatever it likes (slowly, never,
// too much). Connections close after one exchange.
class LocalHTTPServer : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(const ReceivedRequest &request, QTcpSocket *socket)>;

    explicit LocalHTTPServer(Handler handler, QObject *parent = nullptr);

    quint16 port() const { return m_server.serverPort(); }
    QUrl url(const QString &pathAndQuery = QStringLiteral("/")) const;
    const QList<ReceivedRequest> &requests() const { return m_requests; }

    // Writes a whole response with Content-Length and closes the connection afterwards.
    static void respond(QTcpSocket *socket, int status, const QByteArray &body,
                        const QList<QPair<QByteArray, QByteArray>> &headers = {});

    // A handler that always gives the same answer.
    static Handler fixed(int status, QByteArray body, QList<QPair<QByteArray, QByteArray>> headers = {});

private:
    void accept();
    void readFrom(QTcpSocket *socket);

    QTcpServer m_server;
    Handler m_handler;
    QList<ReceivedRequest> m_requests;
};

} // namespace marrowick::test
