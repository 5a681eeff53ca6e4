#pragma once

#include "MarrowickKit/Transport/HTTPClient.h"
#include "MarrowickKit/Transport/HostLookup.h"

#include <memory>

namespace marrowick {

class HTTPConnectionPool;

// The HTTP/1.1 client that bounds what a watched service can cost: a time-out on every wait
// (connecting, sending, each read), a deadline for the whole exchange (body included), caps on
// the reply's head and on its body that are enforced while they stream in, no cache, no
// cookies, and redirects handed back instead of followed. https is verified as Qt does by
// default (system certificates, the host's name). The host's name is looked up first, for as
// long as the resolver takes; the time-out and the deadline start once its addresses are known.
// Copies share one pool of keep-alive connections, which lives on the thread that made the
// client and does all its work there.
class BoundedHTTPClient : public HTTPClient {
public:
    static constexpr qint64 defaultMaxBodyBytes = 8388608;
    static constexpr double defaultTimeout = 10.0;
    static constexpr double defaultDeadline = 20.0;

    explicit BoundedHTTPClient(qint64 maxBodyBytes = defaultMaxBodyBytes, double timeout = defaultTimeout,
                               double deadline = defaultDeadline,
                               std::shared_ptr<HostLookup> hosts = systemHostLookup());

    qint64 maxBodyBytes() const { return m_maxBodyBytes; }
    double timeout() const { return m_timeout; }
    double deadline() const { return m_deadline; }

    QCoro::Task<HTTPResult> data(HTTPRequest request, CancelToken cancel = {}) const override;
    // Ends the transfer once the status and headers are in, within the time-out and deadline.
    QCoro::Task<HTTPResponse> responseHead(HTTPRequest request, CancelToken cancel = {}) const override;

    // "response exceeded <n>-byte limit", "request exceeded its <s>s deadline", and the failures
    // of a body that its Content-Encoding cannot decode or names a coding this client cannot undo.
    static QString bodyLimitMessage(qint64 maxBodyBytes);
    static QString undecodableBodyMessage();
    static QString unsupportedEncodingMessage(const QByteArray &coding);
    static QString deadlineMessage(double deadline);

private:
    QCoro::Task<HTTPResult> exchange(HTTPRequest request, bool headOnly, CancelToken cancel) const;

    std::shared_ptr<HostLookup> m_hosts;
    std::shared_ptr<HTTPConnectionPool> m_connections;
    qint64 m_maxBodyBytes;
    double m_timeout;
    double m_deadline;
};

// Seconds in the shortest text that reads back as the same double, with ".0" for whole numbers.
QString shortestSecondsText(double seconds);

} // namespace marrowick
