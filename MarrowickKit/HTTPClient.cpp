#include "MarrowickKit/HTTPClient.h"

namespace marrowick {

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
