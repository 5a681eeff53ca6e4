#include "MarrowickKit/Transport/BoundedHTTPClient.h"
#include "MarrowickKit/Model/ProviderError.h"
#include "MarrowickKit/Providers/ReleaseChecker.h"
#include "support/LocalHTTPServer.h"
#include "support/TestSupport.h"

#include <QJsonDocument>
#include <QTest>

using namespace marrowick;

class TestReleaseChecker : public QObject {
    Q_OBJECT
private slots:
    void check_data();
    void check();
    void transportErrorPassesUnchanged();
    void insecureEndpointSendsNothing_data();
    void insecureEndpointSendsNothing();
    void parseVersion_data();
    void parseVersion();
    void isNewer_data();
    void isNewer();
};

namespace {

const QUrl endpoint(QStringLiteral("https://example.test/downloads/marrowick/latest.json"));

// Answers every request with one canned reply and remembers what was asked.
class StubHTTPClient : public HTTPClient {
public:
    StubHTTPClient(int status, QByteArray body) : m_status(status), m_body(std::move(body)) {}

    QCoro::Task<HTTPResult> data(HTTPRequest request, CancelToken) const override
    {
        requests.append(request);
        if (m_status < 0)
            throw ProviderError::upstream(QStringLiteral("connection refused"));
        HTTPResult result;
        result.body = m_body;
        result.response.statusCode = m_status;
        result.response.url = request.url;
        co_return result;
    }

    mutable QList<HTTPRequest> requests;

private:
    int m_status;
    QByteArray m_body;
};

QByteArray manifest(const char *version, const char *url = "https://example.test/Marrowick.tar.xz")
{
    return QStringLiteral(R"({"version": "%1", "downloadURL": "%2", "notes": "x"})")
        .arg(QLatin1String(version), QLatin1String(url))
        .toUtf8();
}

} // namespace

void TestReleaseChecker::check_data()
{
    QTest::addColumn<QString>("installed");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("outcome"); // "upToDate", "updateAvailable" or the error text

    const QString invalid = QStringLiteral("invalid update manifest");
    QTest::newRow("numeric comparison") << "1.4.2" << 200 << manifest("1.10.0") << "updateAvailable";
    QTest::newRow("older published") << "2.0.0" << 200 << manifest("1.9.9") << "upToDate";
    QTest::newRow("same version") << "1.0.0" << 200 << manifest("1.0.0") << "upToDate";
    QTest::newRow("plain http download") << "1.0.0" << 200 << manifest("2.0.0", "http://example.test/m.tar.xz")
                                         << invalid;
    QTest::newRow("download without host") << "1.0.0" << 200 << manifest("2.0.0", "https:m.tar.xz") << invalid;
    QTest::newRow("download not a URL") << "1.0.0" << 200 << manifest("2.0.0", "https://exa mple/") << invalid;
    QTest::newRow("installed two parts") << "1.0" << 200 << manifest("1.0.1") << invalid;
    QTest::newRow("published pre-release") << "1.0.0" << 200 << manifest("1.2.3-beta") << invalid;
    QTest::newRow("not JSON") << "1.0.0" << 200 << QByteArray("<html>") << invalid;
    QTest::newRow("array") << "1.0.0" << 200 << QByteArray("[]") << invalid;
    QTest::newRow("missing key") << "1.0.0" << 200 << QByteArray(R"({"version": "1.0.0"})") << invalid;
    QTest::newRow("version not text") << "1.0.0" << 200
                                      << QByteArray(R"({"version": 2, "downloadURL": "https://e.test/x"})") << invalid;
    QTest::newRow("not found") << "1.0.0" << 404 << manifest("2.0.0") << "HTTP 404";
}

void TestReleaseChecker::check()
{
    QFETCH(QString, installed);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, outcome);
    auto http = std::make_shared<StubHTTPClient>(status, body);
    const ReleaseChecker checker(endpoint, http);

    QString actual;
    try {
        const auto result = test::await(checker.check(installed));
        actual = result.kind == ReleaseCheckResult::Kind::upToDate ? "upToDate" : "updateAvailable";
        QCOMPARE(result.manifest.version, QJsonDocument::fromJson(body)["version"].toString());
        QCOMPARE(result.manifest.downloadURL, QUrl(QStringLiteral("https://example.test/Marrowick.tar.xz")));
    } catch (const ProviderError &error) {
        QCOMPARE(error.kind(), ProviderError::Kind::upstream);
        actual = error.description();
    }
    QCOMPARE(actual, outcome);
    QCOMPARE(http->requests.size(), 1);
    QCOMPARE(http->requests[0].url, endpoint);
    QCOMPARE(http->requests[0].method, QByteArray("GET"));
}

void TestReleaseChecker::transportErrorPassesUnchanged()
{
    const ReleaseChecker checker(endpoint, std::make_shared<StubHTTPClient>(-1, QByteArray()));
    QCOMPARE(test::errorText([&] { test::await(checker.check(QStringLiteral("1.0.0"))); }),
             QStringLiteral("connection refused"));
}

void TestReleaseChecker::insecureEndpointSendsNothing_data()
{
    QTest::addColumn<QString>("scheme");
    QTest::newRow("http") << "http";
    QTest::newRow("ftp") << "ftp";
}

void TestReleaseChecker::insecureEndpointSendsNothing()
{
    QFETCH(QString, scheme);
    test::LocalHTTPServer server(test::LocalHTTPServer::fixed(200, manifest("9.0.0")));
    QUrl url = server.url(QStringLiteral("/downloads/marrowick/latest.json"));
    url.setScheme(scheme);
    const ReleaseChecker checker(url, std::make_shared<BoundedHTTPClient>());

    QCOMPARE(test::errorText([&] { test::await(checker.check(QStringLiteral("1.0.0"))); }),
             QStringLiteral("invalid update manifest"));
    QCOMPARE(server.requests().size(), 0);
}

void TestReleaseChecker::parseVersion_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<qint64>>("parts"); // empty: nothing

    QTest::newRow("plain") << "1.2.3" << QList<qint64>{1, 2, 3};
    QTest::newRow("signs") << "+1.-2.03" << QList<qint64>{1, -2, 3};
    QTest::newRow("64-bit edge") << "9223372036854775807.0.-9223372036854775808"
                                 << QList<qint64>{std::numeric_limits<qint64>::max(), 0, std::numeric_limits<qint64>::min()};
    QTest::newRow("two parts") << "1.2" << QList<qint64>{};
    QTest::newRow("four parts") << "1.2.3.4" << QList<qint64>{};
    QTest::newRow("suffix") << "1.2.3-beta" << QList<qint64>{};
    QTest::newRow("empty part") << "1..3" << QList<qint64>{};
    QTest::newRow("letter first") << "v1.2.3" << QList<qint64>{};
    QTest::newRow("space") << "1.2. 3" << QList<qint64>{};
    QTest::newRow("sign only") << "1.2.+" << QList<qint64>{};
    QTest::newRow("too large") << "9223372036854775808.0.0" << QList<qint64>{};
    QTest::newRow("non-ASCII digits") << "١.2.3" << QList<qint64>{};
    QTest::newRow("empty") << "" << QList<qint64>{};
}

void TestReleaseChecker::parseVersion()
{
    QFETCH(QString, text);
    QFETCH(QList<qint64>, parts);
    QCOMPARE(ReleaseChecker::parseVersion(text).value_or(QList<qint64>{}), parts);
}

void TestReleaseChecker::isNewer_data()
{
    QTest::addColumn<QList<qint64>>("candidate");
    QTest::addColumn<QList<qint64>>("than");
    QTest::addColumn<bool>("newer");

    QTest::newRow("minor as number") << QList<qint64>{1, 10, 0} << QList<qint64>{1, 4, 2} << true;
    QTest::newRow("older") << QList<qint64>{1, 9, 9} << QList<qint64>{2, 0, 0} << false;
    QTest::newRow("equal") << QList<qint64>{1, 0, 0} << QList<qint64>{1, 0, 0} << false;
    QTest::newRow("longer wins") << QList<qint64>{1, 2, 0} << QList<qint64>{1, 2} << true;
    QTest::newRow("shorter loses") << QList<qint64>{1, 2} << QList<qint64>{1, 2, 0} << false;
}

void TestReleaseChecker::isNewer()
{
    QFETCH(QList<qint64>, candidate);
    QFETCH(QList<qint64>, than);
    QFETCH(bool, newer);
    QCOMPARE(ReleaseChecker::isNewer(candidate, than), newer);
}

QTEST_GUILESS_MAIN(TestReleaseChecker)
#include "tst_ReleaseChecker.moc"
