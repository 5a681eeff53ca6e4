// HTTP-ping and TCP-port checks per second, and CPU time per check, against a loopback server
// in the same process (so the CPU time includes the server's share).
//   bench_Checks [iterations]
#include "MarrowickKit/Transport/BoundedHTTPClient.h"
#include "MarrowickKit/Providers/HTTPPingProvider.h"
#include "MarrowickKit/Providers/TCPPortProvider.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>

#include <QCoro/QCoroTask>

#include <cstdio>
#include <ctime>

using namespace marrowick;

namespace {

// Answers every request on a connection with a small 200 and keeps the connection open.
class LoopbackHTTPServer : public QObject {
public:
    LoopbackHTTPServer()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (auto *socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                    QByteArray pending = socket->property("pending").toByteArray() + socket->readAll();
                    qsizetype end;
                    while ((end = pending.indexOf("\r\n\r\n")) >= 0) {
                        pending.remove(0, end + 4);
                        socket->write("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
                    }
                    socket->setProperty("pending", pending);
                });
            }
        });
    }
    quint16 port() const { return m_server.serverPort(); }

private:
    QTcpServer m_server;
};

double cpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

QCoro::Task<int> runChecks(SourceProvider &provider, int iterations)
{
    int up = 0;
    for (int i = 0; i < iterations; ++i) {
        const SourceSnapshot snapshot = co_await provider.fetch();
        if (snapshot.widgets.first().get<CheckResult>()->status == ServiceStatus::up)
            ++up;
    }
    co_return up;
}

void measure(const char *name, SourceProvider &provider, int iterations)
{
    QElapsedTimer wall;
    wall.start();
    const double cpuStart = cpuSeconds();
    const int up = QCoro::waitFor(runChecks(provider, iterations));
    const double cpu = cpuSeconds() - cpuStart;
    const double seconds = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    std::printf("%-10s %6d checks (%d up)  %9.0f checks/s  %7.1f us CPU/check\n", name, iterations, up,
                iterations / seconds, cpu / iterations * 1e6);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int iterations = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
    LoopbackHTTPServer server;
    const QUuid id = QUuid::createUuid();

    HTTPPingProvider ping(HTTPPingConfig(id, QStringLiteral("ping"), QStringLiteral("http://127.0.0.1:%1/").arg(server.port())),
                          {}, std::make_shared<BoundedHTTPClient>());
    measure("HTTP ping", ping, iterations);

    TCPPortProvider tcp(TCPPortConfig(id, QStringLiteral("tcp"), QStringLiteral("127.0.0.1"), server.port()), {});
    measure("TCP port", tcp, iterations);
    return 0;
}
