#include "support/TestHTTPClient.h"

#include "MarrowickKit/Completion.h"
#include "MarrowickKit/ProviderError.h"

#include <QNetworkReply>
#include <QNetworkRequest>

namespace marrowick::test {

namespace {

QString failureText(QNetworkReply::NetworkError error, const QString &detail)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError: return QStringLiteral("connection refused");
    case QNetworkReply::HostNotFoundError: return QStringLiteral("host not found");
    case QNetworkReply::TimeoutError: return QStringLiteral("timed out");
    default: return detail;
    }
}

} // namespace

TestHTTPClient::TestHTTPClient() : m_manager(std::make_unique<QNetworkAccessManager>())
{
    m_manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

TestHTTPClient::~TestHTTPClient() = default;

QCoro::Task<HTTPResult> TestHTTPClient::data(HTTPRequest request, CancelToken cancel) const
{
    cancel.throwIfCancelled();
    QNetworkRequest networkRequest(request.url);
    for (const auto &[name, value] : request.headers)
        networkRequest.setRawHeader(name, value);
    networkRequest.setTransferTimeout(int(request.timeoutSeconds * 1000));
    std::unique_ptr<QNetworkReply> reply(
        m_manager->sendCustomRequest(networkRequest, request.method, request.body));

    Completion<Done> finished;
    QObject::connect(reply.get(), &QNetworkReply::finished, [finished] { finished.complete({}); });
    const auto registration = cancel.onCancel([&reply, finished] {
        // Failing first makes the cancellation win over the finished signal that abort() emits.
        finished.fail(CancellationError());
        reply->abort();
    });
    co_await finished;

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        throw ProviderError::upstream(failureText(reply->error(), reply->errorString()));
    HTTPResult result;
    result.body = reply->readAll();
    result.response.statusCode = status.toInt();
    result.response.url = reply->url();
    for (const auto &[name, value] : reply->rawHeaderPairs())
        result.response.headers.append({name, value});
    co_return result;
}

} // namespace marrowick::test
