#include "MarrowickKit/Transport/HTTPConnectionPool.h"

#include "support/LocalTCPServer.h"

#include <QTest>

using namespace marrowick;
using namespace marrowick::test;

class TestHTTPConnectionPool : public QObject {
    Q_OBJECT

private slots:
    // An idle connection is handed out again only while it is open, clean and young enough.
    void idleConnections_data()
    {
        QTest::addColumn<QString>("event");
        QTest::addColumn<bool>("reused");
        QTest::newRow("handed out again") << "none" << true;
        QTest::newRow("idle past its time") << "expire" << false;
        QTest::newRow("closed by the server") << "serverCloses" << false;
        QTest::newRow("bytes nobody asked for") << "serverWrites" << false;
    }

    void idleConnections()
    {
        QFETCH(QString, event);
        QFETCH(bool, reused);
        QList<QTcpSocket *> accepted;
        LocalTCPServer server([&accepted](QTcpSocket *socket) { accepted.append(socket); });
        HTTPConnectionPool pool(event == QLatin1String("expire") ? 0.05 : 3600.0);
        const HTTPTarget target{false, QStringLiteral("127.0.0.1"), server.port()};
        auto connection = pool.take(target);
        QVERIFY(!connection->socket());
        const QPointer<QTcpSocket> socket = pool.newSocket(target.tls);
        connection->adopt(socket);
        socket->connectToHost(target.host, target.port);
        QVERIFY(socket->waitForConnected(5000));
        QTRY_COMPARE(accepted.size(), 1);
        pool.giveBack(std::move(connection));
        QCOMPARE(pool.idleCount(), 1);
        if (event == QLatin1String("expire"))
            QTRY_COMPARE(server.closedCount(), 1);
        else if (event == QLatin1String("serverCloses"))
            accepted.first()->disconnectFromHost();
        else if (event == QLatin1String("serverWrites"))
            accepted.first()->write("HTTP/1.1 408 Request Timeout\r\n\r\n");
        QTRY_VERIFY(event == QLatin1String("none") || !socket || socket->state() != QAbstractSocket::ConnectedState
                    || socket->bytesAvailable() > 0 || pool.idleCount() == 0);
        QCOMPARE(socket && pool.take(target)->socket() == socket, reused);
    }
};

QTEST_GUILESS_MAIN(TestHTTPConnectionPool)
#include "tst_HTTPConnectionPool.moc"
