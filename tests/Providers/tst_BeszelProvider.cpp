#include "MarrowickKit/Providers/BeszelProvider.h"
#include "MarrowickKit/Transport/RequestURL.h"
#include "MarrowickKit/Transport/BoundedHTTPClient.h"
#include "MarrowickKit/Credentials/InMemoryCredentialStore.h"
#include "support/LocalHTTPServer.h"
#include "support/LocalTCPServer.h"
#include "support/TestSupport.h"

#include <QTest>
#include <QTimer>

using namespace marrowick;
using test::LocalHTTPServer;

class TestBeszelProvider : public QObject {
    Q_OBJECT
private slots:
    void makeHostStats_data();
    void makeHostStats();
    void fetchesBothCollections_data();
    void fetchesBothCollections();
    void failures_data();
    void failures();
    void cancelStopsBothRequests();
    void rejectsOtherConfigs();
};

namespace {

const QUuid sourceID = QUuid::fromString(QStringLiteral("{4b1d0c3e-3333-4e5b-9a3c-0123456789ab}"));
const QString tokenRef = QStringLiteral("beszel-9F2A");
const QByteArray systemsPath = "/api/collections/systems/records?perPage=200";
const QByteArray drivesPath = "/api/collections/smart_devices/records?perPage=200";

const QByteArray systemsBody = R"({"page": 1, "items": [
    {"id": "sys1", "name": "nas", "host": "10.0.0.2", "status": "up", "info": {"cpu": 12.5, "mp": 40, "dp": 71.2}},
    {"id": "sys2", "host": "10.0.0.3", "status": "down", "info": "{\"cpu\": 3, \"mp\": \"high\"}"}]})";
const QByteArray drivesBody = R"({"items": [
    {"system": "sys1", "name": "sda", "temp": 38},
    {"system": "sys1", "name": "sdb"},
    {"system": "sys1", "temp": 41.5},
    {"system": 7, "name": "sdz", "temp": 20}]})";

HostStats host(const char *id, const char *name, ServiceStatus status, std::optional<double> cpu = {},
               std::optional<double> mem = {}, std::optional<double> disk = {}, QList<DriveTemp> temps = {})
{
    return HostStats{id, name, status, cpu, mem, disk, temps};
}

const QList<HostStats> expectedHosts{
    host("sys1", "nas", ServiceStatus::up, 12.5, 40, 71.2, {{"sda", 38}, {"sys1", 41.5}}),
    host("sys2", "10.0.0.3", ServiceStatus::down, 3)};

CredentialStoreHandle storeWithToken()
{
    auto credentials = std::make_shared<InMemoryCredentialStore>();
    test::await(credentials->setSecret(QStringLiteral("pb_token"), tokenRef));
    return credentials;
}

BeszelConfig configFor(const QString &baseURL)
{
    return BeszelConfig(sourceID, QStringLiteral("Hub"), baseURL, tokenRef);
}

LocalHTTPServer::Handler hub(int systemsStatus, int drivesStatus)
{
    return [=](const test::ReceivedRequest &request, QTcpSocket *socket) {
        if (request.target.contains("/systems/"))
            LocalHTTPServer::respond(socket, systemsStatus, systemsBody);
        else
            LocalHTTPServer::respond(socket, drivesStatus, drivesBody);
    };
}

} // namespace

void TestBeszelProvider::makeHostStats_data()
{
    QTest::addColumn<QByteArray>("systems");
    QTest::addColumn<QByteArray>("drives"); // null: no drives body
    QTest::addColumn<QList<HostStats>>("hosts");

    QTest::newRow("hosts with drives") << systemsBody << drivesBody << expectedHosts;
    QTest::newRow("no drives body") << systemsBody << QByteArray()
                                    << QList<HostStats>{host("sys1", "nas", ServiceStatus::up, 12.5, 40, 71.2),
                                                        host("sys2", "10.0.0.3", ServiceStatus::down, 3)};
    QTest::newRow("names, statuses and missing info")
        << QByteArray(R"({"items": [{"status": "paused"}, {"id": 5, "name": 3, "host": "h", "status": "UP", "info": "not json"},
                                    {"id": "x", "info": [1]}]})")
        << QByteArray(R"({"items": [{"system": "", "temp": 30}]})")
        << QList<HostStats>{host("", "unknown", ServiceStatus::unknown, {}, {}, {}, {{"", 30}}),
                            host("", "h", ServiceStatus::unknown, {}, {}, {}, {{"", 30}}),
                            host("x", "unknown", ServiceStatus::unknown)};
    QTest::newRow("drives of another shape") << QByteArray(R"({"items": [{"id": "a", "name": "a"}]})")
                                             << QByteArray(R"({"items": [{"system": "a", "temp": 1}, 2]})")
                                             << QList<HostStats>{host("a", "a", ServiceStatus::unknown)};
    QTest::newRow("systems not JSON") << QByteArray("<html>") << drivesBody << QList<HostStats>{};
    QTest::newRow("systems without items") << QByteArray(R"({"page": 1})") << drivesBody << QList<HostStats>{};
    QTest::newRow("empty items") << QByteArray(R"({"items": []})") << drivesBody << QList<HostStats>{};
    QTest::newRow("items not all objects") << QByteArray(R"({"items": [{"id": "a"}, "b"]})") << drivesBody
                                           << QList<HostStats>{};
    QTest::newRow("top-level array") << QByteArray(R"([{"items": []}])") << drivesBody << QList<HostStats>{};
}

void TestBeszelProvider::makeHostStats()
{
    QFETCH(QByteArray, systems);
    QFETCH(QByteArray, drives);
    QFETCH(QList<HostStats>, hosts);
    const auto drivesBody = drives.isNull() ? std::nullopt : std::optional<QByteArray>(drives);
    QCOMPARE(BeszelProvider::makeHostStats(systems, drivesBody), hosts);
}

void TestBeszelProvider::fetchesBothCollections_data()
{
    QTest::addColumn<QString>("basePath");
    QTest::addColumn<int>("drivesStatus");
    QTest::addColumn<bool>("withTemps");

    QTest::newRow("both answer") << "" << 200 << true;
    QTest::newRow("trailing slashes") << "//" << 200 << true;
    QTest::newRow("drives not found") << "" << 404 << false;
}

void TestBeszelProvider::fetchesBothCollections()
{
    QFETCH(QString, basePath);
    QFETCH(int, drivesStatus);
    QFETCH(bool, withTemps);
    LocalHTTPServer server(hub(200, drivesStatus));
    BeszelProvider provider(configFor(server.url(basePath).toString()), storeWithToken(),
                            std::make_shared<BoundedHTTPClient>());

    const auto snapshot = test::await(provider.fetch());

    QCOMPARE(snapshot.sourceID, sourceID);
    QList<WidgetData> expected;
    for (HostStats stats : expectedHosts) {
        if (!withTemps)
            stats.temps.clear();
        expected.append(WidgetData::host(stats));
    }
    QCOMPARE(snapshot.widgets, expected);
    QByteArrayList targets;
    for (const auto &request : server.requests()) {
        targets.append(request.target);
        QCOMPARE(request.header("Authorization"), QByteArray("Bearer pb_token"));
    }
    std::sort(targets.begin(), targets.end());
    QCOMPARE(targets, (QByteArrayList{drivesPath, systemsPath}));
}

void TestBeszelProvider::failures_data()
{
    QTest::addColumn<QString>("baseURL"); // empty: the server's own
    QTest::addColumn<bool>("withToken");
    QTest::addColumn<int>("systemsStatus");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("requests");

    QTest::newRow("unauthorized") << QString() << true << 401 << "HTTP 401" << 2;
    QTest::newRow("missing token") << QString() << false << 200 << "missing credential: " + tokenRef << 0;
    QTest::newRow("bad base URL") << "hub:8090" << true << 200 << "bad base URL: hub:8090" << 0;
    QTest::newRow("user and password") << "http://me:p@ss@hub.local:8090" << true << 200 << userInfoMessage() << 0;
    QTest::newRow("nothing listening")
        << QStringLiteral("http://127.0.0.1:%1") << true << 200
        << "connection refused" << 0;
}

void TestBeszelProvider::failures()
{
    QFETCH(QString, baseURL);
    QFETCH(bool, withToken);
    QFETCH(int, systemsStatus);
    QFETCH(QString, error);
    QFETCH(int, requests);
    LocalHTTPServer server(hub(systemsStatus, 200));
    // Picked once the row's server holds its port, so the closed port cannot be that server's.
    if (baseURL.contains(QLatin1String("%1")))
        baseURL = baseURL.arg(test::LocalTCPServer::closedPort());
    BeszelProvider provider(configFor(baseURL.isEmpty() ? server.url().toString() : baseURL),
                            withToken ? storeWithToken() : std::make_shared<InMemoryCredentialStore>(),
                            std::make_shared<BoundedHTTPClient>());

    QCOMPARE(test::errorText([&] { test::await(provider.fetch()); }), error);
    QVERIFY(server.requests().size() <= requests);
    if (requests == 0)
        QCOMPARE(server.requests().size(), 0);
}

void TestBeszelProvider::cancelStopsBothRequests()
{
    CancelSource cancel;
    QList<QTcpSocket *> open;
    // The hub never answers; once both requests are in, the poll is cancelled.
    LocalHTTPServer server([&](const test::ReceivedRequest &, QTcpSocket *socket) {
        open.append(socket);
        if (open.size() == 2)
            QTimer::singleShot(0, [&] { cancel.cancel(); });
    });
    BeszelProvider provider(configFor(server.url().toString()), storeWithToken(),
                            std::make_shared<BoundedHTTPClient>());

    QCOMPARE(test::errorText([&] { test::await(provider.fetch(cancel.token())); }), QStringLiteral("cancelled"));
    QCOMPARE(open.size(), 2);
}

void TestBeszelProvider::rejectsOtherConfigs()
{
    const AnySourceConfig kuma = KumaConfig(sourceID, "Kuma", "http://kuma", std::nullopt, std::nullopt, "home");
    QCOMPARE(test::errorText([&] { BeszelProvider(kuma, std::make_shared<InMemoryCredentialStore>()); }),
             QStringLiteral("expected beszel config"));
}

QTEST_GUILESS_MAIN(TestBeszelProvider)
#include "tst_BeszelProvider.moc"
