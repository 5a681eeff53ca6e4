#include "support/DelayedHTTPServer.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace marrowick::test {

namespace {

void answerAfter(QTcpSocket *socket, int delayMs)
{
    QByteArray pending = socket->property("pending").toByteArray() + socket->readAll();
    qsizetype end;
    while ((end = pending.indexOf("\r\n\r\n")) >= 0) {
        pending.remove(0, end + 4);
        QTimer::singleShot(delayMs, Qt::PreciseTimer, socket,
                           [socket] { socket->write("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"); });
    }
    socket->setProperty("pending", pending);
}

} // namespace

DelayedHTTPServer::DelayedHTTPServer(int delayMs)
{
    m_thread.start();
    m_worker = new QObject;
    m_worker->moveToThread(&m_thread);
    QMetaObject::invokeMethod(
        m_worker,
        [this, delayMs] {
            auto *server = new QTcpServer(m_worker);
            QObject::connect(server, &QTcpServer::newConnection, server, [server, delayMs] {
                while (QTcpSocket *socket = server->nextPendingConnection()) {
                    QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, delayMs] { answerAfter(socket, delayMs); });
                    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                }
            });
            server->listen(QHostAddress::LocalHost);
            m_port = server->serverPort();
        },
        Qt::BlockingQueuedConnection);
}

DelayedHTTPServer::~DelayedHTTPServer()
{
    QMetaObject::invokeMethod(m_worker, [this] { delete m_worker; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

QUrl DelayedHTTPServer::url(const QString &path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path));
}

} // namespace marrowick::test
