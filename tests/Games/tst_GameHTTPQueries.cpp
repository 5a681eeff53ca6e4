#include "MarrowickKit/Games/GameHTTPQueries.h"
#include "MarrowickKit/Games/GameJSONReaders.h"
#include "MarrowickKit/Model/ProviderError.h"

#include "support/FakeHTTPClient.h"
#include "support/TestSupport.h"

#include <QJsonDocument>
#include <QTest>

using namespace marrowick;
using Reply = test::FakeHTTPClient::Reply;

namespace {

// "misconfigured: <text>" or "upstream: <text>" for the ProviderError a call throws.
QString failureOf(const std::function<void()> &call)
{
    try {
        call();
    } catch (const ProviderError &error) {
        const QString kind = error.kind() == ProviderError::Kind::misconfigured ? QStringLiteral("misconfigured")
                           : error.kind() == ProviderError::Kind::upstream      ? QStringLiteral("upstream")
                                                                                : QStringLiteral("credential");
        return kind + QStringLiteral(": ") + error.description();
    }
    return {};
}

// The member "v" of a one-member JSON object, so values arrive exactly as a parser gives them.
QJsonValue jsonValue(const QByteArray &json)
{
    return QJsonDocument::fromJson("{\"v\":" + json + "}").object().value(QStringLiteral("v"));
}

const QByteArray palworldInfo = R"({"version":"v0.3.1","servername":"Pals"})";
const QByteArray palworldMetrics = R"({"currentplayernum":5,"maxplayernum":32,"uptime":100})";

struct Fixture {
    std::shared_ptr<test::FakeHTTPClient> http = std::make_shared<test::FakeHTTPClient>();

    GameFacts palworld() { return test::await(palworldQuery("pal.lan", 8212, "s3cret", false, http)); }
    GameFacts fivem(std::optional<QString> token = std::nullopt)
    {
        return test::await(fivemQuery("fivem.lan", 30120, token, false, http));
    }
    GameFacts tshock(bool useTLS = false) { return test::await(tshockQuery("tshock.lan", 7878, useTLS, http)); }
};

} // namespace

class tst_GameHTTPQueries : public QObject {
    Q_OBJECT

private slots:
    void intValue_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<std::optional<qint64>>("value");
        QTest::newRow("integer") << QByteArray("7") << std::optional<qint64>(7);
        QTest::newRow("fraction") << QByteArray("7.9") << std::optional<qint64>(7);
        QTest::newRow("negative fraction") << QByteArray("-7.9") << std::optional<qint64>(-7);
        QTest::newRow("true") << QByteArray("true") << std::optional<qint64>(1);
        QTest::newRow("false") << QByteArray("false") << std::optional<qint64>(0);
        QTest::newRow("plus text") << QByteArray("\"+5\"") << std::optional<qint64>(5);
        QTest::newRow("minus text") << QByteArray("\"-5\"") << std::optional<qint64>(-5);
        QTest::newRow("largest text") << QByteArray("\"9223372036854775807\"")
                                      << std::optional<qint64>(9223372036854775807LL);
        QTest::newRow("largest number") << QByteArray("9223372036854775807")
                                        << std::optional<qint64>(9223372036854775807LL);
        QTest::newRow("text beyond 64 bits") << QByteArray("\"9223372036854775808\"") << std::optional<qint64>();
        QTest::newRow("number beyond 64 bits") << QByteArray("1e19") << std::optional<qint64>();
        QTest::newRow("huge number") << QByteArray("-1e300") << std::optional<qint64>();
        QTest::newRow("trailing blank") << QByteArray("\"5 \"") << std::optional<qint64>();
        QTest::newRow("empty text") << QByteArray("\"\"") << std::optional<qint64>();
        QTest::newRow("word") << QByteArray("\"five\"") << std::optional<qint64>();
        QTest::newRow("sign only") << QByteArray("\"-\"") << std::optional<qint64>();
        QTest::newRow("hex") << QByteArray("\"0x10\"") << std::optional<qint64>();
        QTest::newRow("null") << QByteArray("null") << std::optional<qint64>();
        QTest::newRow("array") << QByteArray("[1]") << std::optional<qint64>();
    }

    void intValue()
    {
        QFETCH(QByteArray, json);
        QTEST(marrowick::intValue(jsonValue(json)), "value");
    }

    void valueReaders()
    {
        QCOMPARE(marrowick::intValue(std::nullopt), std::nullopt);
        QCOMPARE(stringValue(jsonValue("\"x\"")), QStringLiteral("x"));
        for (const QByteArray json : {"\"\"", "1", "true", "null", "{}", "[]"})
            QCOMPARE(stringValue(jsonValue(json)), std::nullopt);
        const auto players = jsonObjectArray(jsonValue(R"([{"name":"a"},{"name":""},{"id":1},{"name":7},{"name":"b"}])"));
        QCOMPARE(playerNames(players), (QStringList{"a", "b"}));
        QCOMPARE(playerNames(std::nullopt), QStringList{});
        QCOMPARE(jsonObjectArray(jsonValue(R"([{"name":"a"},"b"])")), std::nullopt);
    }

    void palworldReadsAllThree()
    {
        Fixture fixture;
        fixture.http->answer("/v1/api/info", Reply::ok(palworldInfo));
        fixture.http->answer("/v1/api/players", Reply::ok(R"({"players":[{"name":"ann"},{"name":"bob"}]})"));
        fixture.http->answer("/v1/api/metrics", Reply::ok(palworldMetrics));
        QCOMPARE(fixture.palworld(), (GameFacts{2, 32, {"ann", "bob"}, "v0.3.1"}));
        QCOMPARE(fixture.http->inFlightAtFirstAnswer(), 3);
        const auto &requests = fixture.http->requests();
        QCOMPARE(requests.size(), 3);
        QCOMPARE(requests.at(0).url, QUrl("http://pal.lan:8212/v1/api/info"));
        QCOMPARE(requests.at(1).url.path(), QStringLiteral("/v1/api/players"));
        QCOMPARE(requests.at(2).url.path(), QStringLiteral("/v1/api/metrics"));
        for (const auto &request : requests) {
            QCOMPARE(request.method, QByteArray("GET"));
            QCOMPARE(request.headers.size(), 1);
            QCOMPARE(request.headers.first().first, QByteArray("Authorization"));
            QCOMPARE(request.headers.first().second, QByteArray("Basic ") + QByteArray("admin:s3cret").toBase64());
        }
    }

    void palworldPartialAnswers_data()
    {
        QTest::addColumn<Reply>("info");
        QTest::addColumn<Reply>("players");
        QTest::addColumn<Reply>("metrics");
        QTest::addColumn<GameFacts>("facts");
        QTest::addColumn<QString>("failure");
        const Reply ok500 = Reply::withStatus(500);
        QTest::newRow("players fail") << Reply::ok(palworldInfo) << ok500 << Reply::ok(palworldMetrics)
                                      << GameFacts{5, 32, {}, "v0.3.1"} << "";
        QTest::newRow("unnamed players, count reported")
            << Reply::ok(palworldInfo) << Reply::ok(R"({"players":[{"name":""},{"id":1}]})")
            << Reply::ok(palworldMetrics) << GameFacts{5, 32, {}, "v0.3.1"} << "";
        QTest::newRow("unnamed players, no count")
            << Reply::ok("{}") << Reply::ok(R"({"players":[{"name":""},{"id":1}]})") << ok500
            << GameFacts{2, std::nullopt, {}, ""} << "";
        QTest::newRow("all 500") << ok500 << ok500 << ok500 << GameFacts{} << "upstream: HTTP 500";
        QTest::newRow("first failure wins") << Reply::failure("timed out") << Reply::withStatus(502)
                                            << Reply::failure("connection refused") << GameFacts{}
                                            << "upstream: timed out";
        QTest::newRow("info refused the password")
            << Reply::withStatus(401) << Reply::ok("{}") << Reply::ok(palworldMetrics) << GameFacts{}
            << "misconfigured: HTTP 401 \u2014 check the password";
        QTest::newRow("metrics forbidden") << Reply::ok(palworldInfo) << Reply::ok("{}") << Reply::withStatus(403)
                                           << GameFacts{} << "misconfigured: HTTP 403 \u2014 check the password";
        QTest::newRow("nothing usable") << Reply::ok("[]") << Reply::ok("not json") << Reply::ok("")
                                        << GameFacts{} << "upstream: malformed reply";
    }

    void palworldPartialAnswers()
    {
        QFETCH(Reply, info);
        QFETCH(Reply, players);
        QFETCH(Reply, metrics);
        QFETCH(QString, failure);
        Fixture fixture;
        fixture.http->answer("/v1/api/info", info);
        fixture.http->answer("/v1/api/players", players);
        fixture.http->answer("/v1/api/metrics", metrics);
        GameFacts facts;
        QCOMPARE(failureOf([&] { facts = fixture.palworld(); }), failure);
        if (failure.isEmpty())
            QTEST(facts, "facts");
    }

    void fivemTokenGoesOnlyWithThePlayerList()
    {
        Fixture fixture;
        fixture.http->answer("/info.json", Reply::ok(R"({"vars":{"sv_projectName":"Los Santos RP","sv_maxClients":"48"}})"));
        fixture.http->answer("/players.json", Reply::ok(R"([{"name":"ann"},{"id":2},{"name":""}])"));
        QCOMPARE(fixture.fivem(QStringLiteral("tok")), (GameFacts{3, 48, {"ann"}, "Los Santos RP"}));
        const auto &requests = fixture.http->requests();
        QCOMPARE(requests.at(0).url, QUrl("http://fivem.lan:30120/info.json"));
        QVERIFY(requests.at(0).headers.isEmpty());
        QCOMPARE(requests.at(1).url.path(), QStringLiteral("/players.json"));
        QCOMPARE(requests.at(1).headers, (HTTPHeaders{{"X-Players-Token", "tok"}}));

        Fixture withoutToken;
        withoutToken.http->answer("/info.json", Reply::ok("{}"));
        withoutToken.fivem();
        QVERIFY(withoutToken.http->requests().at(1).headers.isEmpty());
    }

    void fivemFacts_data()
    {
        QTest::addColumn<QByteArray>("info");
        QTest::addColumn<QByteArray>("players");
        QTest::addColumn<GameFacts>("facts");
        QTest::newRow("hostname fallback, lower-case max")
            << QByteArray(R"({"vars":{"hostname":"My server","sv_maxclients":32}})") << QByteArray("[]")
            << GameFacts{0, 32, {}, "My server"};
        QTest::newRow("keys outside vars are not read")
            << QByteArray(R"({"hostname":"top","sv_maxClients":5,"vars":"x"})") << QByteArray("")
            << GameFacts{};
        QTest::newRow("players not objects") << QByteArray("{}") << QByteArray(R"([{"name":"a"},3])") << GameFacts{};
    }

    void fivemFacts()
    {
        QFETCH(QByteArray, info);
        QFETCH(QByteArray, players);
        Fixture fixture;
        fixture.http->answer("/info.json", Reply::ok(info));
        fixture.http->answer("/players.json", Reply::ok(players));
        QTEST(fixture.fivem(), "facts");
    }

    void fivemRefusalIsAnOrdinaryFailure()
    {
        Fixture fixture;
        fixture.http->answer("/info.json", Reply::withStatus(403));
        fixture.http->answer("/players.json", Reply::withStatus(401));
        QCOMPARE(failureOf([&] { fixture.fivem(); }), QStringLiteral("upstream: HTTP 403"));
    }

    void tshock_data()
    {
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<GameFacts>("facts");
        QTest::addColumn<QString>("failure");
        QTest::newRow("names and text count")
            << Reply::ok(R"({"name":"Terra","playercount":"7","maxplayers":16,
                 "players":[{"nickname":"","username":"ann"},{"nickname":"Bobby","username":"bob"},{"group":"x"}]})")
            << GameFacts{7, 16, {"ann", "Bobby"}, "Terra"} << "";
        QTest::newRow("fractional count") << Reply::ok(R"({"playercount":7.9})") << GameFacts{7, {}, {}, ""} << "";
        QTest::newRow("count from list") << Reply::ok(R"({"players":[{"nickname":"a"},{"x":1}]})")
                                         << GameFacts{2, {}, {"a"}, ""} << "";
        QTest::newRow("array body") << Reply::ok("[]") << GameFacts{} << "upstream: malformed reply";
        QTest::newRow("token needed") << Reply::withStatus(403) << GameFacts{}
                                      << "misconfigured: HTTP 403 \u2014 the REST interface needs a token";
        QTest::newRow("server error") << Reply::withStatus(500) << GameFacts{} << "upstream: HTTP 500";
        QTest::newRow("network") << Reply::failure("host not found") << GameFacts{} << "upstream: host not found";
    }

    void tshock()
    {
        QFETCH(Reply, reply);
        QFETCH(QString, failure);
        Fixture fixture;
        fixture.http->answer("/v2/server/status", reply);
        GameFacts facts;
        QCOMPARE(failureOf([&] { facts = fixture.tshock(true); }), failure);
        if (failure.isEmpty())
            QTEST(facts, "facts");
        QCOMPARE(fixture.http->requests().first().url, QUrl("https://tshock.lan:7878/v2/server/status?players=true"));
        QVERIFY(fixture.http->requests().first().headers.isEmpty());
    }

    void badHostSendsNothing_data()
    {
        QTest::addColumn<QString>("host");
        QTest::newRow("blank inside") << "my server";
        QTest::newRow("slash") << "host/path";
        QTest::newRow("empty") << "";
    }

    void badHostSendsNothing()
    {
        QFETCH(QString, host);
        auto http = std::make_shared<test::FakeHTTPClient>();
        QCOMPARE(failureOf([&] { test::await(tshockQuery(host, 7878, false, http)); }),
                 QStringLiteral("misconfigured: bad host \"") + host + QLatin1Char('"'));
        QCOMPARE(failureOf([&] { test::await(palworldQuery(host, 8212, "pw", false, http)); }),
                 QStringLiteral("misconfigured: bad host \"") + host + QLatin1Char('"'));
        QVERIFY(http->requests().isEmpty());
    }

    void addressesFormURLs()
    {
        QCOMPARE(gameRequest("fd00::5", 8212, false, "/v1/api/info").url, QUrl("http://[fd00::5]:8212/v1/api/info"));
        QCOMPARE(gameRequest("[fd00::5]", 8212, false, "/v1/api/info").url, QUrl("http://[fd00::5]:8212/v1/api/info"));
        QCOMPARE(gameRequest("fe80::1%eth0", 8212, false, "/v1/api/info").url.host(), QStringLiteral("fe80::1%eth0"));
        QCOMPARE(gameRequest("10.0.0.5", 443, true, "/info.json").url, QUrl("https://10.0.0.5:443/info.json"));
    }
};

QTEST_GUILESS_MAIN(tst_GameHTTPQueries)
#include "tst_GameHTTPQueries.moc"
