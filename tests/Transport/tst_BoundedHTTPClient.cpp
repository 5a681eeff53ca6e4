#include "MarrowickKit/Transport/BoundedHTTPClient.h"
#include "MarrowickKit/Async/Cancellation.h"
#include "MarrowickKit/Model/ProviderError.h"

#include "support/LocalHTTPServer.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

using namespace marrowick;
using namespace marrowick::test;

namespace {

HTTPRequest get(const QUrl &url)
{
    HTTPRequest request;
    request.url = url;
    return request;
}

// Headers at once, then one byte of a long body every `interval` milliseconds, forever.
void trickle(QTcpSocket *socket, int interval)
{
    socket->write("HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\n\r\n");
    auto *timer = new QTimer(socket);
    QObject::connect(timer, &QTimer::timeout, socket, [socket] { socket->write("x"); });
    timer->start(interval);
}

// Keeps its connections open and answers every request on them with `body`, which follows the
// head a moment later (a check that wants only the head has it before the body); counts
// the connections the client closed.
class KeepAliveServer : public QObject {
public:
    explicit KeepAliveServer(QByteArray body) : m_body(std::move(body))
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::disconnected, this, [this] { ++m_closed; });
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    QByteArray pending = socket->property("pending").toByteArray() + socket->readAll();
                    qsizetype end;
                    while ((end = pending.indexOf("\r\n\r\n")) >= 0) {
                        pending.remove(0, end + 4);
                        socket->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(m_body.size())
                                      + "\r\n\r\n");
                        socket->flush();
                        QTimer::singleShot(5, socket, [this, socket] { socket->write(m_body); });
                    }
                    socket->setProperty("pending", pending);
                });
            }
        });
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(m_server.serverPort())); }
    int closed() const { return m_closed; }

private:
    QTcpServer m_server;
    QByteArray m_body;
    int m_closed = 0;
};

} // namespace

class TestBoundedHTTPClient : public QObject {
    Q_OBJECT

private slots:
    void bodyCap_data()
    {
        QTest::addColumn<qint64>("bodySize");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("exactly the cap") << BoundedHTTPClient::defaultMaxBodyBytes << true;
        QTest::newRow("one byte over") << BoundedHTTPClient::defaultMaxBodyBytes + 1 << false;
        QTest::newRow("empty") << qint64(0) << true;
    }

    void bodyCap()
    {
        QFETCH(qint64, bodySize);
        QFETCH(bool, accepted);
        const QByteArray body(bodySize, 'b');
        LocalHTTPServer server(LocalHTTPServer::fixed(200, body));
        BoundedHTTPClient client;
        const QUrl url = server.url();
        if (accepted) {
            const auto result = await(client.data(get(url)));
            QCOMPARE(result.body.size(), bodySize);
            QCOMPARE(result.response.statusCode, 200);
        } else {
            QCOMPARE(errorText([&] { await(client.data(get(url))); }),
                     QStringLiteral("response exceeded 8388608-byte limit"));
        }
    }

    void capWithoutContentLength()
    {
        LocalHTTPServer server([](const ReceivedRequest &, QTcpSocket *socket) {
            socket->write("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
            socket->write(QByteArray(100, 'x'));
            socket->disconnectFromHost();
        });
        BoundedHTTPClient client(99);
        QCOMPARE(errorText([&] { await(client.data(get(server.url()))); }),
                 QStringLiteral("response exceeded 99-byte limit"));
    }

    // A reply cut short is a failure, never a short body handed on as if it were whole.
    void peerClosesMidMessage_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("before the status line") << QByteArray();
        QTest::newRow("inside the headers") << QByteArray("HTTP/1.1 200 OK\r\nContent-Len");
        QTest::newRow("inside the body") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc");
    }

    void peerClosesMidMessage()
    {
        QFETCH(QByteArray, reply);
        LocalHTTPServer server([reply](const ReceivedRequest &, QTcpSocket *socket) {
            socket->write(reply);
            socket->disconnectFromHost();
        });
        BoundedHTTPClient client;
        QCOMPARE(errorText([&] { await(client.data(get(server.url()))); }), QStringLiteral("host unreachable"));
    }

    void deadlineWithTricklingBody()
    {
        LocalHTTPServer server([](const ReceivedRequest &, QTcpSocket *socket) { trickle(socket, 20); });
        BoundedHTTPClient client(BoundedHTTPClient::defaultMaxBodyBytes, 10.0, 0.3);
        QCOMPARE(errorText([&] { await(client.data(get(server.url()))); }),
                 QStringLiteral("request exceeded its 0.3s deadline"));
    }

    void deadlineText_data()
    {
        QTest::addColumn<double>("deadline");
        QTest::addColumn<QString>("text");
        QTest::newRow("shared") << 20.0 << "request exceeded its 20.0s deadline";
        QTest::newRow("fraction") << 7.5 << "request exceeded its 7.5s deadline";
        QTest::newRow("whole") << 30.0 << "request exceeded its 30.0s deadline";
        QTest::newRow("shortest round trip") << 0.1 << "request exceeded its 0.1s deadline";
    }

    void deadlineText()
    {
        QFETCH(double, deadline);
        QFETCH(QString, text);
        QCOMPARE(BoundedHTTPClient::deadlineMessage(deadline), text);
    }

    void requestTimeoutReplacesCallers()
    {
        LocalHTTPServer server([](const ReceivedRequest &, QTcpSocket *) {});
        BoundedHTTPClient client(BoundedHTTPClient::defaultMaxBodyBytes, 0.2, 30.0);
        auto request = get(server.url());
        request.timeoutSeconds = 60.0;
        QCOMPARE(errorText([&] { await(client.data(request)); }), QStringLiteral("timed out"));
    }

    void redirectReturnedNotFollowed()
    {
        LocalHTTPServer target(LocalHTTPServer::fixed(200, "target"));
        const QByteArray location = target.url(QStringLiteral("/elsewhere")).toEncoded();
        LocalHTTPServer server(LocalHTTPServer::fixed(301, "moved", {{"Location", location}}));
        BoundedHTTPClient client;
        const auto result = await(client.data(get(server.url())));
        QCOMPARE(result.response.statusCode, 301);
        QCOMPARE(result.body, QByteArray("moved"));
        QCOMPARE(result.response.header("location"), location);
        QVERIFY(target.requests().isEmpty());
    }

    // Qt reports these statuses as errors of its own; they are answers all the same.
    void errorStatusIsAnAnswer_data()
    {
        QTest::addColumn<int>("status");
        QTest::newRow("not found") << 404;
        QTest::newRow("too many requests") << 429;
        QTest::newRow("server error") << 500;
        QTest::newRow("bad gateway") << 502;
    }

    void errorStatusIsAnAnswer()
    {
        QFETCH(int, status);
        LocalHTTPServer server(LocalHTTPServer::fixed(status, "gone"));
        BoundedHTTPClient client;
        const auto result = await(client.data(get(server.url())));
        QCOMPARE(result.response.statusCode, status);
        QCOMPARE(result.body, QByteArray("gone"));
    }

    // A body is handed on decoded. One that its Content-Encoding cannot decode, or whose stream
    // was cut off, is a failed exchange, never a garbled or short body taken for the answer.
    void contentEncoding_data()
    {
        QTest::addColumn<QByteArray>("encoding");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("decoded");
        QTest::addColumn<QString>("error"); // empty: decoded
        const QByteArray json("{\"up\":true}");
        const QByteArray gzipped("\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\x03\xab\x56\x2a\x2d\x50\xb2\x2a\x29\x2a\x4d"
                                 "\xad\x05\x00\x02\xba\xeb\xbf\x0b\x00\x00\x00", 31);
        const QByteArray zlib = qCompress(json).mid(4);
        const QByteArray page("<html><body>Service unavailable</body></html>");
        const QString undecodable = BoundedHTTPClient::undecodableBodyMessage();
        QTest::newRow("gzip") << QByteArray("gzip") << gzipped << json << QString();
        QTest::newRow("two gzip members") << QByteArray("gzip") << gzipped + gzipped << json + json << QString();
        QTest::newRow("deflate") << QByteArray("Deflate") << zlib << json << QString();
        QTest::newRow("raw deflate") << QByteArray("deflate") << zlib.mid(2).chopped(4) << json << QString();
        QTest::newRow("empty gzip body") << QByteArray("gzip") << QByteArray() << QByteArray() << QString();
        QTest::newRow("not asked for") << QByteArray("br") << page << page << QString();
        QTest::newRow("page sent as gzip") << QByteArray("gzip") << page << QByteArray() << undecodable;
        QTest::newRow("JSON sent as gzip") << QByteArray("gzip") << json << QByteArray() << undecodable;
        QTest::newRow("JSON sent as deflate") << QByteArray("deflate") << json << QByteArray() << undecodable;
        QTest::newRow("gzip cut short") << QByteArray("gzip") << gzipped.chopped(3) << QByteArray() << undecodable;
        QTest::newRow("gzip, bad checksum") << QByteArray("gzip") << gzipped.chopped(8) + QByteArray(8, '\0')
                                            << QByteArray() << undecodable;
        QTest::newRow("deflate cut short") << QByteArray("deflate") << zlib.chopped(5) << QByteArray() << undecodable;
        QTest::newRow("bomb") << QByteArray("deflate") << qCompress(QByteArray(64 * 1024 * 1024, '\0'), 9).mid(4)
                              << QByteArray() << BoundedHTTPClient::bodyLimitMessage(BoundedHTTPClient::defaultMaxBodyBytes);
    }

    void contentEncoding()
    {
        QFETCH(QByteArray, encoding);
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, decoded);
        QFETCH(QString, error);
        LocalHTTPServer server(LocalHTTPServer::fixed(200, body, {{"Content-Encoding", encoding}}));
        BoundedHTTPClient client;
        if (error.isEmpty()) {
            const auto result = await(client.data(get(server.url())));
            QCOMPARE(result.response.statusCode, 200);
            QCOMPARE(result.body, decoded);
        } else {
            QCOMPARE(errorText([&] { await(client.data(get(server.url()))); }), error);
        }
        QCOMPARE(server.requests().at(0).header("Accept-Encoding"), QByteArray("gzip, deflate"));
    }

    void cookiesNeitherKeptNorSent()
    {
        LocalHTTPServer server(LocalHTTPServer::fixed(200, "ok", {{"Set-Cookie", "session=secret; Path=/"}}));
        BoundedHTTPClient client;
        await(client.data(get(server.url())));
        await(client.data(get(server.url())));
        QCOMPARE(server.requests().size(), 2);
        QVERIFY(server.requests().at(1).header("Cookie").isEmpty());
    }

    void methodHeadersAndBodySent()
    {
        LocalHTTPServer server(LocalHTTPServer::fixed(200, "ok"));
        BoundedHTTPClient client;
        auto request = get(server.url(QStringLiteral("/api?x=1")));
        request.method = "POST";
        request.body = "{\"a\":1}";
        request.setHeader("Authorization", "Bearer token");
        await(client.data(request));
        const auto &received = server.requests().at(0);
        QCOMPARE(received.method, QByteArray("POST"));
        QCOMPARE(received.target, QByteArray("/api?x=1"));
        QCOMPARE(received.header("Authorization"), QByteArray("Bearer token"));
        QCOMPARE(received.body, QByteArray("{\"a\":1}"));
    }

    void connectionRefused()
    {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close();
        BoundedHTTPClient client;
        QCOMPARE(errorText([&] { await(client.data(get(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(port))))); }),
                 QStringLiteral("connection refused"));
    }

    void garbageReplyKeepsSecretsOut()
    {
        LocalHTTPServer server([](const ReceivedRequest &, QTcpSocket *socket) {
            socket->write("HTTP/1.1 abc\r\n\r\n");
            socket->disconnectFromHost();
        });
        QUrl url = server.url(QStringLiteral("/status?token=s3cret"));
        url.setUserInfo(QStringLiteral("admin:hunter2"));
        BoundedHTTPClient client;
        const QString text = errorText([&] { await(client.data(get(url))); });
        QVERIFY(!text.isEmpty());
        QVERIFY(!text.contains(QStringLiteral("s3cret")));
        QVERIFY(!text.contains(QStringLiteral("hunter2")));
    }

    void onlyHTTPSchemes_data()
    {
        QTest::addColumn<QString>("url");
        QTest::newRow("local file") << QStringLiteral("file:///etc/hostname");
        QTest::newRow("data URL") << QStringLiteral("data:text/plain,hello");
        QTest::newRow("no scheme") << QStringLiteral("127.0.0.1/status");
    }

    void onlyHTTPSchemes()
    {
        QFETCH(QString, url);
        BoundedHTTPClient client;
        QCOMPARE(errorText([&] { await(client.data(get(QUrl(url)))); }), QStringLiteral("unsupported URL"));
    }

    // A check that reads only the head still leaves a connection fit for the next check when
    // the rest of the body is small; a large one is cut off with its connection.
    void headOnlyKeepsTheConnectionForSmallBodies_data()
    {
        QTest::addColumn<qint64>("bodySize");
        QTest::addColumn<int>("closed");
        QTest::newRow("small body") << qint64(2) << 0;
        QTest::newRow("large body") << qint64(4 * 1024 * 1024) << 3;
    }
    void headOnlyKeepsTheConnectionForSmallBodies()
    {
        QFETCH(qint64, bodySize);
        QFETCH(int, closed);
        KeepAliveServer server(QByteArray(bodySize, 'x'));
        BoundedHTTPClient client;
        for (int i = 0; i < 3; ++i) {
            const HTTPResponse response = await(client.responseHead(get(server.url())));
            QCOMPARE(response.statusCode, 200);
            // Let the dropped body drain before the next check, as the interval would.
            QTest::qWait(20);
        }
        QTRY_COMPARE(server.closed(), closed);
    }

    // Checks of one target are not queued behind each other: every request reaches the server
    // before any is answered, also beyond the connections that one network manager keeps.
    void requestsToOneTargetAllGoOut_data()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("one manager's connections") << 6;
        QTest::newRow("many times that") << 100;
    }

    void requestsToOneTargetAllGoOut()
    {
        QFETCH(int, count);
        QList<QTcpSocket *> waiting;
        LocalHTTPServer server([&waiting, count](const ReceivedRequest &, QTcpSocket *socket) {
            waiting.append(socket);
            if (waiting.size() == count) {
                for (QTcpSocket *held : std::as_const(waiting))
                    LocalHTTPServer::respond(held, 200, "ok");
            }
        });
        BoundedHTTPClient client(BoundedHTTPClient::defaultMaxBodyBytes, 5.0, 5.0);
        std::vector<QCoro::Task<HTTPResponse>> heads;
        for (int i = 0; i < count; ++i)
            heads.push_back(client.responseHead(get(server.url())));
        for (auto &head : heads)
            QCOMPARE(await(std::move(head)).statusCode, 200);
        QCOMPARE(server.requests().size(), count);
    }

    // The transport times the exchange itself; the time is there for full and head-only reads.
    void theTransportTimesTheExchange()
    {
        KeepAliveServer server("ok");
        BoundedHTTPClient client;
        QElapsedTimer clock;
        clock.start();
        const HTTPResult result = await(client.data(get(server.url())));
        const HTTPResponse head = await(client.responseHead(get(server.url())));
        const double total = double(clock.nsecsElapsed()) / 1e9;
        for (const auto &elapsed : {result.response.elapsedSeconds, head.elapsedSeconds}) {
            QVERIFY(elapsed);
            QVERIFY(*elapsed >= 0 && *elapsed <= total);
        }
    }

    void cancelAbortsAtOnce()
    {
        bool peerClosed = false;
        LocalHTTPServer server([&peerClosed](const ReceivedRequest &, QTcpSocket *socket) {
            QObject::connect(socket, &QTcpSocket::disconnected, [&peerClosed] { peerClosed = true; });
        });
        BoundedHTTPClient client(BoundedHTTPClient::defaultMaxBodyBytes, 30.0, 30.0);
        CancelSource source;
        QTimer::singleShot(50, [&source] { source.cancel(); });
        const auto error = thrownBy([&] { await(client.data(get(server.url()), source.token())); });
        QVERIFY(error);
        QVERIFY_THROWS_EXCEPTION(CancellationError, std::rethrow_exception(error));
        QTRY_VERIFY(peerClosed);
    }
};

QTEST_GUILESS_MAIN(TestBoundedHTTPClient)
#include "tst_BoundedHTTPClient.moc"
