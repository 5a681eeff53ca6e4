#include "support/LocalHTTPServer.h"

namespace marrowick::test {

QByteArray ReceivedRequest::header(const QByteArray &name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

LocalHTTPServer::LocalHTTPServer(Handler handler, QObject *parent) : QObject(parent), m_handler(std::move(handler))
{
    connect(&m_server, &QTcpServer::newConnection, this, &LocalHTTPServer::accept);
    m_server.listen(QHostAddress::LocalHost, 0);
}

QUrl LocalHTTPServer::url(const QString &pathAndQuery) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(pathAndQuery));
}

void LocalHTTPServer::accept()
{
    while (auto *socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void LocalHTTPServer::readFrom(QTcpSocket *socket)
{
    auto buffer = socket->property("buffer").toByteArray() + socket->readAll();
    socket->setProperty("buffer", buffer);
    if (socket->property("handled").toBool())
        return;
    const auto headEnd = buffer.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return;

    ReceivedRequest request;
    const auto lines = buffer.left(headEnd).split('\n');
    const auto requestLine = lines.value(0).trimmed().split(' ');
    request.method = requestLine.value(0);
    request.target = requestLine.value(1);
    qsizetype contentLength = 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const auto line = lines[i].trimmed();
        const auto colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const auto name = line.left(colon).trimmed();
        const auto value = line.mid(colon + 1).trimmed();
        request.headers.append({name, value});
        if (name.compare("Content-Length", Qt::CaseInsensitive) == 0)
            contentLength = value.toLongLong();
    }
    if (buffer.size() - (headEnd + 4) < contentLength)
        return;
    request.body = buffer.mid(headEnd + 4, contentLength);
    socket->setProperty("handled", true);
    m_requests.append(request);
    m_handler(request, socket);
}

void LocalHTTPServer::respond(QTcpSocket *socket, int status, const QByteArray &body,
                              const QList<QPair<QByteArray, QByteArray>> &headers)
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + " Status\r\n";
    head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    head += "Connection: close\r\n";
    for (const auto &[name, value] : headers)
        head += name + ": " + value + "\r\n";
    head += "\r\n";
    socket->write(head);
    socket->write(body);
    socket->disconnectFromHost();
}

LocalHTTPServer::Handler LocalHTTPServer::fixed(int status, QByteArray body, QList<QPair<QByteArray, QByteArray>> headers)
{
    return [=](const ReceivedRequest &, QTcpSocket *socket) { respond(socket, status, body, headers); };
}

} // namespace marrowick::test
