#include "MarrowickKit/Providers/KumaProvider.h"

#include "MarrowickKit/Model/GraphemeText.h"
#include "MarrowickKit/Model/JsonReading.h"
#include "MarrowickKit/Providers/KumaMetricsParser.h"
#include "MarrowickKit/Transport/RequestURL.h"
#include "MarrowickKit/Model/StrictUtf8.h"


#include <algorithm>
#include <cmath>

namespace marrowick {

namespace {

// The metrics page refused the key; only the fallback decision sees it.
struct MetricsAuthRejected {};

ServiceStatus heartbeatStatus(qint64 code)
{
    switch (code) {
    case 0: return ServiceStatus::down;
    case 1: return ServiceStatus::up;
    case 2:
    case 3: return ServiceStatus::warn;
    default: return ServiceStatus::unknown;
    }
}

// A server chooses the monitor keys; an error text that names one must stay short.
QString shortKey(const QString &key)
{
    constexpr int maximum = 32;
    const QString cut = firstGraphemes(key, maximum);
    return cut.size() < key.size() ? cut + QChar(0x2026) : key;
}

} // namespace

KumaProvider::KumaProvider(const AnySourceConfig &config, CredentialStoreHandle credentials,
                           std::shared_ptr<const HTTPClient> http)
    : m_config(requireConfig<KumaConfig>(config, SourceKind::kuma)), m_credentials(std::move(credentials)), m_http(std::move(http))
{
}

QCoro::Task<SourceSnapshot> KumaProvider::fetch(CancelToken cancel)
{
    const QList<ServiceRow> rows = co_await serviceRows(cancel);
    SourceSnapshot snapshot{m_config.id, Instant::now(), {}};
    snapshot.widgets.reserve(rows.size());
    for (const ServiceRow &row : rows)
        snapshot.widgets.append(WidgetData::service(row));
    co_return snapshot;
}

QCoro::Task<QList<ServiceRow>> KumaProvider::serviceRows(CancelToken cancel)
{
    if (m_config.username && m_config.passwordRef) {
        const QList<ServiceRow> rows = co_await credentialedRows(cancel);
        co_return rows;
    }
    if (m_config.statusPageSlug) {
        const QList<ServiceRow> rows = co_await statusPageRows(*m_config.statusPageSlug, cancel);
        co_return rows;
    }
    throw ProviderError::misconfigured(QStringLiteral("kuma needs credentials or a status page slug"));
}

QCoro::Task<QList<ServiceRow>> KumaProvider::credentialedRows(CancelToken cancel)
{
    const QString password = co_await m_credentials->require(*m_config.passwordRef);
    cancel.throwIfCancelled();
    bool rejected = false;
    QList<ServiceRow> rows;
    try {
        rows = co_await metricsRows(*m_config.username, password, cancel);
    } catch (const MetricsAuthRejected &) {
        rejected = true;
    }
    if (!rejected)
        co_return rows;
    if (!m_config.statusPageSlug) {
        throw ProviderError::upstream(QStringLiteral(
            "metrics auth rejected — Uptime Kuma expects an API key as the password (Settings → API Keys)"));
    }
    rows = co_await statusPageRows(*m_config.statusPageSlug, cancel);
    co_return rows;
}

QCoro::Task<QList<ServiceRow>> KumaProvider::metricsRows(QString username, QString password, CancelToken cancel)
{
    HTTPRequest request = this->request(QStringLiteral("/metrics"));
    request.setHeader("Authorization", "Basic " + (username + QLatin1Char(':') + password).toUtf8().toBase64());
    const HTTPResult result = co_await m_http->data(request, cancel);
    const int status = result.response.statusCode.value_or(-1);
    if (status == 401 || status == 403)
        throw MetricsAuthRejected{};
    checkHTTPStatus(result.response);
    // Read as no text, a page that is not UTF-8 would show a working server with no monitor.
    const std::optional<QString> text = decodeStrictUtf8(result.body);
    if (!text)
        throw ProviderError::upstream(QStringLiteral("metrics page is not valid UTF-8"));
    co_return KumaMetricsParser::parse(*text);
}

QCoro::Task<QList<ServiceRow>> KumaProvider::statusPageRows(QString slug, CancelToken cancel)
{
    // "/" is encoded too, so a slug never adds path segments of its own.
    const QByteArray encodedSlug = QUrl::toPercentEncoding(slug, "!$&'()*+,;=:@");
    const HTTPRequest request = this->request(QStringLiteral("/api/status-page/heartbeat/") + QString::fromLatin1(encodedSlug));
    const HTTPResult result = co_await m_http->data(request, cancel);
    checkHTTPStatus(result.response);
    co_return statusPageRows(result.body);
}

QList<ServiceRow> KumaProvider::statusPageRows(const QByteArray &body)
{
    const JsonObjectReader reply(parseJsonDocument(body), QString());
    const JsonObjectReader list(reply.required(QStringLiteral("heartbeatList")), QStringLiteral("heartbeatList"));
    QStringList keys = list.object().keys();
    std::sort(keys.begin(), keys.end());

    QList<ServiceRow> rows;
    for (const QString &key : keys) {
        const QString path = list.pathOf(shortKey(key));
        const QJsonArray heartbeats = readArray(list.object().value(key), path);
        std::optional<ServiceRow> last;
        for (qsizetype i = 0; i < heartbeats.size(); ++i) {
            const JsonObjectReader heartbeat(heartbeats.at(i), path + QStringLiteral("[%1]").arg(i));
            const qint64 status = heartbeat.integer(QStringLiteral("status"));
            const std::optional<double> ping = heartbeat.optionalNumber(QStringLiteral("ping"));
            last = ServiceRow{key, key, heartbeatStatus(status), std::nullopt, std::nullopt};
            if (ping && std::isfinite(*ping) && *ping >= 0)
                last->latencyMs = *ping;
        }
        if (last)
            rows.append(*last);
    }
    return rows;
}

HTTPRequest KumaProvider::request(const QString &path) const
{
    const auto url = requestURL(m_config.baseURL, path);
    if (!url)
        throw ProviderError::misconfigured(QStringLiteral("bad base URL: ") + m_config.baseURL);
    return url->request();
}

} // namespace marrowick
