#include "MarrowickKit/Games/GameHTTPQueries.h"

#include "MarrowickKit/Games/GameJSONReaders.h"
#include "MarrowickKit/Transport/HostAddressText.h"
#include "MarrowickKit/Transport/NetworkErrors.h"
#include "MarrowickKit/Model/ProviderError.h"

#include <QUrl>

#include <vector>

namespace marrowick {

namespace {

ProviderError malformedReply()
{
    return ProviderError::upstream(QStringLiteral("malformed reply"));
}

// The outcome of one request of a fetch: a body, or the error that replaced it.
struct FetchResult {
    std::optional<QByteArray> body;
    std::exception_ptr error;
};

// Never throws: every outcome, cancellation included, is handed back as a result.
QCoro::Task<FetchResult> fetchOne(HTTPRequest request, std::optional<QString> authHint,
                                  std::shared_ptr<const HTTPClient> http, CancelToken cancel)
{
    HTTPResult result;
    try {
        result = co_await http->data(request, cancel);
    } catch (...) {
        const auto error = std::current_exception();
        co_return FetchResult{std::nullopt, isCancellation(error) ? error : std::make_exception_ptr(providerError(error))};
    }
    const int code = result.response.statusCode.value_or(-1);
    const QString status = QStringLiteral("HTTP ") + QString::number(code);
    if (authHint && (code == 401 || code == 403)) {
        const auto error = ProviderError::misconfigured(status + QStringLiteral(" \u2014 ") + *authHint);
        co_return FetchResult{std::nullopt, std::make_exception_ptr(error)};
    }
    if (code < 200 || code > 299)
        co_return FetchResult{std::nullopt, std::make_exception_ptr(ProviderError::upstream(status))};
    co_return FetchResult{result.body, nullptr};
}

QList<std::optional<QByteArray>> decideFetch(const QList<FetchResult> &results)
{
    for (const auto &result : results) {
        if (result.error && isCancellation(result.error))
            std::rethrow_exception(result.error);
    }
    for (const auto &result : results) {
        if (result.error && providerError(result.error).kind() != ProviderError::Kind::upstream)
            std::rethrow_exception(result.error);
    }
    QList<std::optional<QByteArray>> bodies;
    bool anySucceeded = false;
    for (const auto &result : results) {
        anySucceeded = anySucceeded || !result.error;
        bodies.append(result.body);
    }
    if (!anySucceeded)
        std::rethrow_exception(results.front().error);
    return bodies;
}

QByteArray basicAuthorization(const QString &password)
{
    return QByteArrayLiteral("Basic ") + (QStringLiteral("admin:") + password).toUtf8().toBase64();
}

} // namespace

HTTPRequest gameRequest(const QString &host, quint16 port, bool useTLS, const QString &path, const QString &query)
{
    QUrl url;
    url.setScheme(useTLS ? QStringLiteral("https") : QStringLiteral("http"));
    // An IPv6 address goes into the URL in brackets, its zone's "%" escaped as URLs write it.
    const auto address = hostAddress(host);
    if (address && address->protocol() == QAbstractSocket::IPv6Protocol)
        url.setHost(u'[' + unbracketedHost(host).replace(u'%', QStringLiteral("%25")) + u']', QUrl::StrictMode);
    else
        url.setHost(host, QUrl::StrictMode);
    url.setPort(port);
    url.setPath(path);
    if (!query.isEmpty())
        url.setQuery(query);
    if (host.isEmpty() || !url.isValid() || url.host().isEmpty())
        throw ProviderError::misconfigured(QStringLiteral("bad host \"") + host + QLatin1Char('"'));
    HTTPRequest request;
    request.url = url;
    request.timeoutSeconds = 60.0;
    return request;
}

QCoro::Task<QList<std::optional<QByteArray>>> fetchJSON(QList<HTTPRequest> requests, std::optional<QString> authHint,
                                                        std::shared_ptr<const HTTPClient> http, CancelToken cancel)
{
    if (requests.isEmpty())
        throw malformedReply();
    // Tasks start at once, so every request is in flight before the first is awaited.
    std::vector<QCoro::Task<FetchResult>> inFlight;
    inFlight.reserve(std::size_t(requests.size()));
    for (const auto &request : requests)
        inFlight.push_back(fetchOne(request, authHint, http, cancel));
    QList<FetchResult> results;
    for (auto &task : inFlight) {
        FetchResult result = co_await task;
        results.append(std::move(result));
    }
    co_return decideFetch(results);
}

QCoro::Task<GameFacts> palworldQuery(QString host, quint16 port, QString password, bool useTLS,
                                     std::shared_ptr<const HTTPClient> http, CancelToken cancel)
{
    QList<HTTPRequest> requests;
    for (const auto *path : {"/v1/api/info", "/v1/api/players", "/v1/api/metrics"}) {
        auto request = gameRequest(host, port, useTLS, QString::fromLatin1(path));
        request.setHeader("Authorization", basicAuthorization(password));
        requests.append(request);
    }
    const QString hint = QStringLiteral("check the password");
    const auto bodies = co_await fetchJSON(requests, hint, http, cancel);
    co_return palworldFacts(parseJSONObject(bodies.at(0)), parseJSONObject(bodies.at(1)),
                            parseJSONObject(bodies.at(2)));
}

QCoro::Task<GameFacts> fivemQuery(QString host, quint16 port, std::optional<QString> token, bool useTLS,
                                  std::shared_ptr<const HTTPClient> http, CancelToken cancel)
{
    const auto info = gameRequest(host, port, useTLS, QStringLiteral("/info.json"));
    auto players = gameRequest(host, port, useTLS, QStringLiteral("/players.json"));
    if (token)
        players.setHeader("X-Players-Token", token->toUtf8());
    const QList<HTTPRequest> requests{info, players};
    const auto bodies = co_await fetchJSON(requests, std::nullopt, http, cancel);
    co_return fivemFacts(parseJSONObject(bodies.at(0)), parseJSONObjectArray(bodies.at(1)));
}

QCoro::Task<GameFacts> tshockQuery(QString host, quint16 port, bool useTLS, std::shared_ptr<const HTTPClient> http,
                                   CancelToken cancel)
{
    const auto status =
        gameRequest(host, port, useTLS, QStringLiteral("/v2/server/status"), QStringLiteral("players=true"));
    const QList<HTTPRequest> requests{status};
    const QString hint = QStringLiteral("the REST interface needs a token");
    const auto bodies = co_await fetchJSON(requests, hint, http, cancel);
    co_return tshockFacts(parseJSONObject(bodies.at(0)));
}

GameFacts palworldFacts(const std::optional<QJsonObject> &info, const std::optional<QJsonObject> &players,
                        const std::optional<QJsonObject> &metrics)
{
    if (!info && !players && !metrics)
        throw malformedReply();
    const auto playerMember = jsonMember(players, QStringLiteral("players"));
    const auto list = playerMember ? jsonObjectArray(*playerMember) : std::nullopt;
    GameFacts facts;
    facts.playerNames = playerNames(list);
    if (!facts.playerNames.isEmpty())
        facts.playersCurrent = facts.playerNames.size();
    else if (const auto reported = intValue(jsonMember(metrics, QStringLiteral("currentplayernum"))))
        facts.playersCurrent = reported;
    else if (list)
        facts.playersCurrent = list->size();
    facts.playersMax = intValue(jsonMember(metrics, QStringLiteral("maxplayernum")));
    facts.detail = stringValue(jsonMember(info, QStringLiteral("version"))).value_or(QString());
    return facts;
}

GameFacts fivemFacts(const std::optional<QJsonObject> &info, const std::optional<QJsonArray> &players)
{
    if (!info && !players)
        throw malformedReply();
    const auto varsMember = jsonMember(info, QStringLiteral("vars"));
    const auto vars = varsMember ? jsonObject(*varsMember) : std::nullopt;
    GameFacts facts;
    facts.detail = stringValue(jsonMember(vars, QStringLiteral("sv_projectName")))
                       .value_or(stringValue(jsonMember(vars, QStringLiteral("hostname"))).value_or(QString()));
    if (players)
        facts.playersCurrent = players->size();
    facts.playersMax = intValue(jsonMember(vars, QStringLiteral("sv_maxClients")));
    if (!facts.playersMax)
        facts.playersMax = intValue(jsonMember(vars, QStringLiteral("sv_maxclients")));
    facts.playerNames = playerNames(players);
    return facts;
}

GameFacts tshockFacts(const std::optional<QJsonObject> &status)
{
    if (!status)
        throw malformedReply();
    const auto playerMember = jsonMember(status, QStringLiteral("players"));
    const auto list = playerMember ? jsonObjectArray(*playerMember) : std::nullopt;
    GameFacts facts;
    if (list) {
        for (const auto &entry : *list) {
            const auto player = entry.toObject();
            auto name = stringValue(player.value(QStringLiteral("nickname")));
            if (!name)
                name = stringValue(player.value(QStringLiteral("username")));
            if (name)
                facts.playerNames.append(*name);
        }
    }
    facts.playersCurrent = intValue(jsonMember(status, QStringLiteral("playercount")));
    if (!facts.playersCurrent && list)
        facts.playersCurrent = list->size();
    facts.playersMax = intValue(jsonMember(status, QStringLiteral("maxplayers")));
    facts.detail = stringValue(jsonMember(status, QStringLiteral("name"))).value_or(QString());
    return facts;
}

} // namespace marrowick
