#include "MarrowickKit/Providers/HTTPPingProvider.h"

#include "MarrowickKit/Transport/NetworkErrors.h"
#include "MarrowickKit/Transport/RequestURL.h"
#include "MarrowickKit/Model/UuidText.h"

#include <QElapsedTimer>

namespace marrowick {

HTTPPingProvider::HTTPPingProvider(const AnySourceConfig &config, CredentialStoreHandle,
                                   std::shared_ptr<const HTTPClient> http)
    : m_config(requireConfig<HTTPPingConfig>(config, SourceKind::httpPing)), m_http(std::move(http))
{
}

QCoro::Task<SourceSnapshot> HTTPPingProvider::fetch(CancelToken cancel)
{
    // Any other scheme, or no host, is the transfer's failure: a down check.
    const auto url = parsedURL(m_config.url);
    if (!url)
        throw ProviderError::misconfigured(QStringLiteral("bad URL: ") + m_config.url);
    HTTPRequest request = url->request();
    request.timeoutSeconds = 60.0;
    CheckResult check;
    check.id = uuidText(m_config.id);
    check.name = m_config.displayName;
    QElapsedTimer clock;
    clock.start();
    try {
        // Only the status counts: the time is the time to the response head, and a large or
        // endless body (a camera feed, an event stream) is never read.
        const HTTPResponse response = co_await m_http->responseHead(request, cancel);
        const qint64 status = response.statusCode.value_or(-1);
        // The transport's own stamps run from handing the request to the network stack to
        // reading the head, leaving out the time the poll spends around them.
        check.latencyMs = response.elapsedSeconds ? *response.elapsedSeconds * 1000.0
                                                  : static_cast<double>(clock.nsecsElapsed()) / 1e6;
        check.status = status == m_config.expectedStatus ? ServiceStatus::up : ServiceStatus::down;
        if (check.status == ServiceStatus::down)
            check.detail = QStringLiteral("HTTP ") + QString::number(status);
    } catch (const CancellationError &) {
        throw;
    } catch (...) {
        const ProviderError error = checkFailure(std::current_exception());
        check.status = ServiceStatus::down;
        check.detail = error.description();
    }
    co_return SourceSnapshot{m_config.id, Instant::now(), {WidgetData::check(std::move(check))}};
}

} // namespace marrowick
