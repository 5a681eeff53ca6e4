#include "MarrowickKit/Transport/SystemNetworkStatus.h"

#include "MarrowickKit/Transport/BoundedHTTPClient.h"
#include "MarrowickKit/Transport/NWByteChannel.h"
#include "MarrowickKit/Transport/NWUDPTransport.h"
#include "MarrowickKit/Transport/NetworkErrors.h"

#include "support/ChildRun.h"
#include "support/TestSupport.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

using namespace marrowick;
using namespace marrowick::test;

namespace {

const QString childScenario = QStringLiteral("network-of-its-own");
const QString unsharedFailed = QStringLiteral("cannot unshare: ");

// A network of this process's own, as a computer whose every route is gone has: loopback
// alone. As root a network namespace will do; otherwise one inside a user namespace.
QString unshareNetwork()
{
    if (::unshare(CLONE_NEWNET) == 0 || ::unshare(CLONE_NEWUSER | CLONE_NEWNET) == 0)
        return {};
    return unsharedFailed + QString::fromLocal8Bit(std::strerror(errno));
}

// Brings `interface` up or down: "lo", or an address of its own on loopback ("lo:9"), which
// goes with its routes when it goes down.
bool setUp(const char *interface, bool up)
{
    const int descriptor = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq request{};
    std::strncpy(request.ifr_name, interface, IFNAMSIZ - 1);
    bool done = descriptor >= 0 && ::ioctl(descriptor, SIOCGIFFLAGS, &request) == 0;
    if (done) {
        request.ifr_flags = short(up ? request.ifr_flags | IFF_UP : request.ifr_flags & ~IFF_UP);
        done = ::ioctl(descriptor, SIOCSIFFLAGS, &request) == 0;
    }
    if (descriptor >= 0)
        ::close(descriptor);
    return done;
}

bool addAddress(const char *interface, const char *address)
{
    const int descriptor = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq request{};
    std::strncpy(request.ifr_name, interface, IFNAMSIZ - 1);
    auto *ipv4 = reinterpret_cast<sockaddr_in *>(&request.ifr_addr);
    ipv4->sin_family = AF_INET;
    const bool done = descriptor >= 0 && ::inet_pton(AF_INET, address, &ipv4->sin_addr) == 1
        && ::ioctl(descriptor, SIOCSIFADDR, &request) == 0;
    if (descriptor >= 0)
        ::close(descriptor);
    return done;
}

// Answers every request with an empty 200 and keeps the connection.
class KeptServer : public QTcpServer {
public:
    KeptServer()
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                    socket->readAll();
                    socket->write("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
                });
            }
        });
    }
};

// "<kind>: <text>" of what a call threw; "fine" when it threw nothing.
QString failureOf(const std::function<void()> &call)
{
    const std::exception_ptr thrown = thrownBy(call);
    if (!thrown)
        return QStringLiteral("fine");
    const ProviderError error = providerError(thrown);
    return (error.kind() == ProviderError::Kind::noNetwork ? QStringLiteral("this computer: ")
                                                           : QStringLiteral("target: "))
        + error.description();
}

// Runs in the child, in its own network: one line per check.
int checkWithoutRoutes(const QStringList &)
{
    if (const QString failed = unshareNetwork(); !failed.isEmpty()) {
        std::fputs(qPrintable(failed), stdout);
        return 0;
    }
    QStringList lines;
    const auto note = [&lines](const QString &what, const QString &result) { lines.append(what + " = " + result); };
    const auto yesNo = [](bool value) { return value ? QStringLiteral("yes") : QStringLiteral("no"); };
    note("loopback up", yesNo(setUp("lo", true)));

    const SystemNetworkStatus status;
    note("NetworkManager", yesNo(status.hasNetworkManager()));
    note("offline", yesNo(status.isOffline()));
    for (const char *address : {"127.0.0.1", "::1", "192.0.2.1", "2001:db8::1"})
        note(QStringLiteral("route to ") + address, yesNo(hasRouteTo(QHostAddress(QString::fromLatin1(address)))));

    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost);
    const quint16 closedPort = closed.serverPort();
    closed.close();
    const NWByteChannelFactory channels(1.0);
    note("TCP to 192.0.2.1", failureOf([&] { await(channels.connect(QStringLiteral("192.0.2.1"), 80)); }));
    note("TCP to a closed port here",
         failureOf([&] { await(channels.connect(QStringLiteral("127.0.0.1"), closedPort)); }));
    // The request on a connection whose route went waits out this time-out.
    const BoundedHTTPClient http(1024, 0.5, 2.0);
    HTTPRequest request;
    request.url = QUrl(QStringLiteral("http://[2001:db8::1]:8080/health"));
    note("HTTP to 2001:db8::1", failureOf([&] { await(http.data(request)); }));
    // A kept connection whose address and route go away between two requests.
    addAddress("lo:9", "10.9.9.9");
    KeptServer server;
    server.listen(QHostAddress(QStringLiteral("10.9.9.9")));
    request.url = QUrl(QStringLiteral("http://10.9.9.9:%1/").arg(server.serverPort()));
    note("HTTP, then again once its route went", failureOf([&] {
             await(http.data(request));
             setUp("lo:9", false);
             await(http.data(request));
         }));
    const NWUDPTransport udp;
    note("UDP to 192.0.2.1", failureOf([&] { await(udp.session(QStringLiteral("192.0.2.1"), 27015, 1.0)); }));

    // The kernel tells of a link that went down and came back.
    QSignalSpy changes(&status, &NetworkStatus::changed);
    setUp("lo", false);
    setUp("lo", true);
    note("told of the change", yesNo(changes.wait(5000)));
    std::fputs(qPrintable(lines.join(QLatin1Char('\n'))), stdout);
    return 0;
}

} // namespace

class TestSystemNetworkStatus : public QObject {
    Q_OBJECT

private slots:
    // A computer without routes: every attempt to go beyond it fails as this computer's, before
    // anything is sent; loopback still answers for itself.
    void withoutRoutes()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        // Whatever NetworkManager the machine runs stays out of it.
        environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent/bus"));
        const ChildRun child = runChild(childScenario, {}, 0, false, environment);
        QCOMPARE(child.exitStatus, QProcess::NormalExit);
        const QString output = QString::fromUtf8(child.output);
        if (output.startsWith(unsharedFailed))
            QSKIP(qPrintable(output + QStringLiteral(" (no network namespaces here)")));
        const QString noRoute = QStringLiteral("this computer: ") + noRouteError().description();
        const QStringList expected{
            "loopback up = yes",
            "NetworkManager = no",
            "offline = yes",
            "route to 127.0.0.1 = yes",
            "route to ::1 = yes",
            "route to 192.0.2.1 = no",
            "route to 2001:db8::1 = no",
            "TCP to 192.0.2.1 = " + noRoute,
            "TCP to a closed port here = target: connection refused",
            "HTTP to 2001:db8::1 = " + noRoute,
            "HTTP, then again once its route went = " + noRoute,
            "UDP to 192.0.2.1 = " + noRoute,
            "told of the change = yes",
        };
        QCOMPARE(output.split(QLatin1Char('\n')), expected);
    }
};

int main(int argc, char *argv[])
{
    return runTestsOrChild<TestSystemNetworkStatus>(argc, argv, childScenario, checkWithoutRoutes);
}

#include "tst_SystemNetworkStatus.moc"
