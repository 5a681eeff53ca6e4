#include "MarrowickKit/Transport/HTTPClient.h"

#include "MarrowickKit/Model/ProviderError.h"

namespace marrowick {

qint64 checkHTTPStatus(const HTTPResponse &response)
{
    const qint64 code = response.statusCode.value_or(-1);
    if (response.statusCode && code >= 200 && code <= 299)
        return code;
    throw ProviderError::upstream(QStringLiteral("HTTP ") + QString::number(code));
}

QByteArray headerValue(const HTTPHeaders &headers, const QByteArray &name)
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

void HTTPRequest::setHeader(const QByteArray &name, const QByteArray &value)
{
    for (auto &[key, existing] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) {
            existing = value;
            return;
        }
    }
    headers.append({name, value});
}

QCoro::Task<HTTPResponse> HTTPClient::responseHead(HTTPRequest request, CancelToken cancel) const
{
    HTTPResult result = co_await data(std::move(request), std::move(cancel));
    co_return std::move(result.response);
}

} // namespace marrowick
