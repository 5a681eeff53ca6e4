#include "MarrowickKit/Transport/SystemNetworkStatus.h"

#include "MarrowickKit/Providers/HTTPPingProvider.h"
#include "MarrowickKit/Providers/TCPPortProvider.h"
#include "MarrowickKit/Transport/BoundedHTTPClient.h"
#include "MarrowickKit/Transport/NWUDPTransport.h"
#include "MarrowickKit/Transport/NetworkErrors.h"

#include "support/ChildRun.h"
#include "support/TestSupport.h"

#include <QFileInfo>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
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
const QString resolverPath = QStringLiteral("/etc/resolv.conf");

// Brings `interface` up or down ("lo", or "lo:9", an address of its own that goes with its
// routes), after giving it `address` when one is named.
bool setUp(const char *interface, bool up, const char *address = nullptr)
{
    const int descriptor = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq request{};
    std::strncpy(request.ifr_name, interface, IFNAMSIZ - 1);
    auto *ipv4 = reinterpret_cast<sockaddr_in *>(&request.ifr_addr);
    ipv4->sin_family = AF_INET;
    bool done = descriptor >= 0
        && (!address
            || (::inet_pton(AF_INET, address, &ipv4->sin_addr) == 1 && ::ioctl(descriptor, SIOCSIFADDR, &request) == 0))
        && ::ioctl(descriptor, SIOCGIFFLAGS, &request) == 0;
    if (done) {
        request.ifr_flags = short(up ? request.ifr_flags | IFF_UP : request.ifr_flags & ~IFF_UP);
        done = ::ioctl(descriptor, SIOCSIFFLAGS, &request) == 0;
    }
    if (descriptor >= 0)
        ::close(descriptor);
    return done;
}

// What a poll or a call came to: whose failure it was with its text, "down: " and the detail
// of a check that found its target down, else "fine".
QString outcomeOf(const std::function<SourceSnapshot()> &call)
{
    SourceSnapshot snapshot;
    if (const std::exception_ptr thrown = thrownBy([&] { snapshot = call(); })) {
        const ProviderError error = providerError(thrown);
        return (error.kind() == ProviderError::Kind::noNetwork ? QStringLiteral("this computer: ")
                                                               : QStringLiteral("target: "))
            + error.description();
    }
    const CheckResult *check = snapshot.widgets.isEmpty() ? nullptr : snapshot.widgets.first().get<CheckResult>();
    return check && check->status == ServiceStatus::down ? QStringLiteral("down: ") + check->detail.value_or(QString())
                                                         : QStringLiteral("fine");
}

// In the child's own mounts: the C library's resolver asks these nameservers from now on.
bool askNameservers(const QStringList &servers)
{
    auto *file = new QTemporaryFile(qApp);
    if (!file->open())
        return false;
    for (const QString &server : servers)
        file->write("nameserver " + server.toLatin1() + "\n");
    file->flush();
    return ::mount(qPrintable(file->fileName()), qPrintable(resolverPath), nullptr, MS_BIND, nullptr) == 0;
}

// Runs in the child: a network of its own, as a computer whose every route is gone has,
// loopback alone (as root a network namespace will do, else one in a user namespace), with
// mounts of its own for the resolver's configuration. One line per check.
int checkWithoutRoutes(const QStringList &)
{
    const auto isolated = [] {
        return ::unshare(CLONE_NEWNET | CLONE_NEWNS) == 0 || ::unshare(CLONE_NEWUSER | CLONE_NEWNET | CLONE_NEWNS) == 0;
    };
    if (!isolated() || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
        || !QFileInfo::exists(resolverPath)) {
        std::fputs(qPrintable(unsharedFailed + QString::fromLocal8Bit(std::strerror(errno))), stdout);
        return 0;
    }
    QStringList lines;
    const auto note = [&lines](const QString &what, const QString &result) { lines.append(what + " = " + result); };
    const auto yesNo = [](bool value) { return value ? QStringLiteral("yes") : QStringLiteral("no"); };
    note("loopback up", yesNo(setUp("lo", true)));
    const SystemNetworkStatus status;
    note("NetworkManager", yesNo(status.hasNetworkManager()));
    note("offline", yesNo(status.isOffline()));
    for (const char *address : {"127.0.0.1", "192.0.2.1"})
        note(QStringLiteral("route to ") + address, yesNo(hasRouteTo(QHostAddress(QString::fromLatin1(address)))));

    const QUuid id = QUuid::createUuid();
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost);
    const quint16 closedPort = closed.serverPort();
    closed.close();
    const auto tcp = [&id](const char *host, quint16 port) {
        return [config = TCPPortConfig(id, "SSH", host, port)] { return await(TCPPortProvider(config, {}).fetch()); };
    };
    note("TCP port here, closed", outcomeOf(tcp("127.0.0.1", closedPort)));
    note("TCP port 192.0.2.1", outcomeOf(tcp("192.0.2.1", 22)));
    note("HTTP ping [2001:db8::1]", outcomeOf([&id] {
             return await(HTTPPingProvider(HTTPPingConfig(id, "Web", "http://[2001:db8::1]:8080/"), {}).fetch());
         }));
    note("UDP to 192.0.2.1", outcomeOf([] {
             await(NWUDPTransport().session(QStringLiteral("192.0.2.1"), 27015, 1.0));
             return SourceSnapshot();
         }));

    // A name, while no nameserver is routed, and while one is but refuses (nothing listens on
    // this computer's port 53): only the first is this computer's failure.
    const auto lookUp = [&](const QStringList &servers, const char *name) {
        return askNameservers(servers) ? outcomeOf(tcp(name, 22)) : QStringLiteral("no resolver configuration");
    };
    note("name, no nameserver routed", lookUp({"192.0.2.53", "2001:db8::53"}, "nas.lab.test"));
    note("name, a nameserver here refusing", lookUp({"192.0.2.53", "127.0.0.1"}, "nas2.lab.test"));

    // A kept connection whose address and route go away between two requests: the second
    // fails at once, long before this client's time-out, which the test does not wait for.
    setUp("lo:9", true, "10.9.9.9");
    QTcpServer server;
    server.listen(QHostAddress(QStringLiteral("10.9.9.9")));
    QObject::connect(&server, &QTcpServer::newConnection, &server, [&server] {
        QTcpSocket *socket = server.nextPendingConnection();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] {
            socket->readAll();
            socket->write("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
        });
    });
    const BoundedHTTPClient http(1024, 60.0, 60.0);
    HTTPRequest request;
    request.url = QUrl(QStringLiteral("http://10.9.9.9:%1/").arg(server.serverPort()));
    note("HTTP, then again once its route went", outcomeOf([&] {
             await(http.data(request));
             setUp("lo:9", false);
             CancelSource giveUp;
             QTimer::singleShot(3000, [&giveUp] { giveUp.cancel(); });
             await(http.data(request, giveUp.token()));
             return SourceSnapshot();
         }));

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
    // A computer without routes: every check beyond it fails as this computer's, before anything
    // is sent, and fails the poll instead of reporting its target down; loopback still answers.
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
        QCOMPARE(output.split(QLatin1Char('\n')),
                 (QStringList{"loopback up = yes", "NetworkManager = no", "offline = yes", "route to 127.0.0.1 = yes",
                              "route to 192.0.2.1 = no", "TCP port here, closed = down: closed",
                              "TCP port 192.0.2.1 = " + noRoute, "HTTP ping [2001:db8::1] = " + noRoute,
                              "UDP to 192.0.2.1 = " + noRoute, "name, no nameserver routed = " + noRoute,
                              "name, a nameserver here refusing = down: closed",
                              "HTTP, then again once its route went = " + noRoute,
                              "told of the change = yes"}));
    }
};

int main(int argc, char *argv[])
{
    return runTestsOrChild<TestSystemNetworkStatus>(argc, argv, childScenario, checkWithoutRoutes);
}

#include "tst_SystemNetworkStatus.moc"
