#pragma once

#include "MarrowickKit/Async/Cancellation.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QUrl>

#include <QCoro/QCoroTask>

#include <memory>
#include <optional>

namespace marrowick {

using HTTPHeaders = QList<QPair<QByteArray, QByteArray>>;

// Header names compare case-insensitively; the first match wins.
QByteArray headerValue(const HTTPHeaders &headers, const QByteArray &name);

struct HTTPRequest {
    QUrl url;
    // The path and query for the request line as the user wrote them (RequestURL); empty: those
    // of `url`, as QUrl writes them.
    QByteArray target;
    QByteArray method = "GET";
    HTTPHeaders headers;
    QByteArray body;
    // What the caller asks for; the bounded client replaces it with its own time-out.
    double timeoutSeconds = 60.0;

    void setHeader(const QByteArray &name, const QByteArray &value);
};

struct HTTPResponse {
    // Absent when the reply did not come from an HTTP server.
    std::optional<int> statusCode;
    HTTPHeaders headers;
    QUrl url;
    // Seconds from the request being handed to the network stack to the head's arrival, as
    // the transport saw them; absent when the client cannot tell.
    std::optional<double> elapsedSeconds;

    QByteArray header(const QByteArray &name) const { return headerValue(headers, name); }
};

struct HTTPResult {
    QByteArray body;
    HTTPResponse response;
};

// One request in, the body and the response head out. Failures are thrown as ProviderError;
// a cancelled token aborts the transfer at once and throws CancellationError.
class HTTPClient {
public:
    virtual ~HTTPClient() = default;
    virtual QCoro::Task<HTTPResult> data(HTTPRequest request, CancelToken cancel = {}) const = 0;

    // The response as soon as its head has arrived, for checks that only judge the status: a
    // large or endless body is never read. This fallback runs the whole exchange with data().
    virtual QCoro::Task<HTTPResponse> responseHead(HTTPRequest request, CancelToken cancel = {}) const;
};

// The one client every provider and the release check share: 10-second request time-out,
// 20-second deadline for the whole exchange, 8388608-byte body cap. Made on first use.
std::shared_ptr<const HTTPClient> sharedHTTPClient();

// The status code when `response` is an HTTP response with a 2xx status; otherwise throws
// upstream "HTTP <code>" (code -1 when the response is not an HTTP response at all).
qint64 checkHTTPStatus(const HTTPResponse &response);

} // namespace marrowick
