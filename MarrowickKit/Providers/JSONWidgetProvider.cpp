#include "MarrowickKit/Providers/JSONWidgetProvider.h"

#include "MarrowickKit/Providers/JSONPathEvaluator.h"
#include "MarrowickKit/Transport/RequestURL.h"

namespace marrowick {

JSONWidgetProvider::JSONWidgetProvider(const AnySourceConfig &config, CredentialStoreHandle credentials,
                                       std::shared_ptr<const HTTPClient> http)
    : m_config(requireConfig<JSONWidgetConfig>(config, SourceKind::jsonWidget)), m_credentials(std::move(credentials)), m_http(std::move(http))
{
}

QString JSONWidgetProvider::missingValue()
{
    return QStringLiteral("\u2014");
}

QCoro::Task<SourceSnapshot> JSONWidgetProvider::fetch(CancelToken cancel)
{
    const auto url = requestURL(m_config.url);
    if (!url)
        throw ProviderError::misconfigured(QStringLiteral("bad URL: ") + m_config.url);
    HTTPRequest request = url->request();
    if (m_config.bearerTokenRef) {
        const QString token = co_await m_credentials->require(*m_config.bearerTokenRef);
        cancel.throwIfCancelled();
        request.setHeader("Authorization", "Bearer " + token.toUtf8());
    }
    const HTTPResult result = co_await m_http->data(request, cancel);
    checkHTTPStatus(result.response);

    // One parse serves every field; the outcome is the same as parsing per field.
    const QJsonValue document = JSONPathEvaluator::parseDocument(result.body);
    QList<JSONFieldValue> fields;
    fields.reserve(m_config.fields.size());
    for (const auto &mapping : m_config.fields)
        fields.append({mapping.label, JSONPathEvaluator::value(mapping.path, document).value_or(missingValue())});
    co_return SourceSnapshot{m_config.id, Instant::now(), {WidgetData::keyValues(m_config.displayName, fields)}};
}

} // namespace marrowick
