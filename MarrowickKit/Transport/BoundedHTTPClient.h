#pragma once

#include "MarrowickKit/Transport/HTTPClient.h"

#include <memory>

namespace marrowick {

class NetworkManagerPool;

// The HTTP client that bounds what a watched service can cost: a per-request time-out, a
// deadline for the whole exchange (body included), a cap on the body that is enforced while
// the body streams in, no cache, no cookies, and redirects handed back instead of followed.
// Copies share one pool of network managers, which lives on the thread that made the client.
class BoundedHTTPClient : public HTTPClient {
public:
    static constexpr qint64 defaultMaxBodyBytes = 8388608;
    static constexpr double defaultTimeout = 10.0;
    static constexpr double defaultDeadline = 20.0;

    explicit BoundedHTTPClient(qint64 maxBodyBytes = defaultMaxBodyBytes, double timeout = defaultTimeout,
                               double deadline = defaultDeadline);

    qint64 maxBodyBytes() const { return m_maxBodyBytes; }
    double timeout() const { return m_timeout; }
    double deadline() const { return m_deadline; }

    QCoro::Task<HTTPResult> data(HTTPRequest request, CancelToken cancel = {}) const override;
    // Ends the transfer once the status and headers are in, within the time-out and deadline.
    QCoro::Task<HTTPResponse> responseHead(HTTPRequest request, CancelToken cancel = {}) const override;

    // "response exceeded <n>-byte limit", "request exceeded its <s>s deadline", and the failure
    // of a body that its Content-Encoding cannot decode.
    static QString bodyLimitMessage(qint64 maxBodyBytes);
    static QString undecodableBodyMessage();
    static QString deadlineMessage(double deadline);

private:
    QCoro::Task<HTTPResult> exchange(HTTPRequest request, bool headOnly, CancelToken cancel) const;

    std::shared_ptr<NetworkManagerPool> m_managers;
    qint64 m_maxBodyBytes;
    double m_timeout;
    double m_deadline;
};

// Seconds in the shortest text that reads back as the same double, with ".0" for whole numbers.
QString shortestSecondsText(double seconds);

} // namespace marrowick
