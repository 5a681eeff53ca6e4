#include "MarrowickKit/Transport/BoundedHTTPClient.h"

#include "MarrowickKit/Transport/ContentDecoder.h"
#include "MarrowickKit/Transport/NetworkErrors.h"
#include "MarrowickKit/Transport/NetworkManagerPool.h"

#include <QElapsedTimer>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace marrowick {

namespace {

int milliseconds(double seconds)
{
    if (!std::isfinite(seconds))
        return 2147483647;
    return static_cast<int>(std::clamp(std::ceil(seconds * 1000.0), 1.0, 2147483647.0));
}

QNetworkRequest networkRequest(const HTTPRequest &request, double timeout)
{
    QNetworkRequest result(request.url);
    for (const auto &[name, value] : request.headers)
        result.setRawHeader(name, value);
    // Asked for here, Qt leaves the body encoded and the transfer decodes it. Qt's own decoder
    // takes what is not gzip for a raw deflate stream and misses a stream that was cut off,
    // handing on a garbled or short body as if it were whole.
    if (!result.hasRawHeader("Accept-Encoding"))
        result.setRawHeader("Accept-Encoding", "gzip, deflate");
    result.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    result.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    result.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    result.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    result.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    // The client's own time-out replaces whatever the caller asked for.
    result.setTransferTimeout(milliseconds(timeout));
    return result;
}

// Qt reports a status of 400 or more as an error of its own; the reply is an answer all the
// same. The same error codes with a lower status are failures of the transfer.
bool isHTTPStatusError(QNetworkReply::NetworkError error, int status)
{
    const int code = static_cast<int>(error);
    return status >= 400
        && ((code >= 201 && code <= 299) || error == QNetworkReply::ProtocolInvalidOperationError
            || (code >= 401 && code <= 499));
}

HTTPResponse responseHead(QNetworkReply *reply, std::optional<double> elapsedSeconds)
{
    HTTPResponse response;
    response.elapsedSeconds = elapsedSeconds;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid())
        response.statusCode = status.toInt();
    for (const auto &[name, value] : reply->rawHeaderPairs())
        response.headers.append({name, value});
    response.url = reply->url();
    return response;
}

// Qt names the URL in some of its error texts; a token in the query or a password in the user
// info must not reach the user's error row.
QString withoutSecrets(QString text, const QUrl &url)
{
    const QString shown = url.adjusted(QUrl::RemoveUserInfo | QUrl::RemoveQuery | QUrl::RemoveFragment).toString();
    for (const QString &form : {url.toString(), url.toDisplayString(), QString::fromUtf8(url.toEncoded())}) {
        if (!form.isEmpty())
            text.replace(form, shown);
    }
    return text;
}

// After a head-only check, the rest of a small body is read and dropped so that the connection
// can serve the next check instead of being torn down. A body larger than this, or one that
// has not ended within the time-out, closes the connection as before.
constexpr qint64 drainableBodyBytes = 64 * 1024;

void drainThenDelete(QNetworkReply *reply, double timeout)
{
    auto *context = new QObject(reply);
    auto drained = std::make_shared<qint64>(0);
    auto drain = [reply, drained] {
        while (reply->bytesAvailable() > 0 && *drained <= drainableBodyBytes)
            *drained += reply->skip(reply->bytesAvailable());
        if (*drained > drainableBodyBytes)
            reply->abort();
    };
    QObject::connect(reply, &QNetworkReply::readyRead, context, drain);
    QObject::connect(reply, &QNetworkReply::finished, context, [reply] { reply->deleteLater(); });
    QTimer::singleShot(milliseconds(timeout), context, [reply] { reply->abort(); });
    drain();
    if (reply->isFinished())
        reply->deleteLater();
}

// One exchange: reads the body as it streams in and fails once more than the cap has come. A
// head-only exchange ends with an empty body as soon as the status is known; destroying the
// transfer then drops the rest of the body, or aborts it when the exchange was cut short.
class Transfer {
public:
    // `sent` started just before the request was handed to the network manager.
    Transfer(QNetworkReply *reply, QElapsedTimer sent, qint64 maxBodyBytes, bool headOnly, double timeout,
             Completion<HTTPResult> done)
        : m_reply(reply), m_maxBodyBytes(maxBodyBytes), m_headOnly(headOnly), m_timeout(timeout), m_done(std::move(done)),
          m_sent(sent)
    {
        m_reply->setReadBufferSize(std::min<qint64>(maxBodyBytes + 1, 256 * 1024));
        QObject::connect(m_reply, &QNetworkReply::metaDataChanged, &m_context, [this] { readHead(); });
        QObject::connect(m_reply, &QNetworkReply::readyRead, &m_context, [this] { readBody(); });
        QObject::connect(m_reply, &QNetworkReply::finished, &m_context, [this] { finish(); });
        if (m_reply->isFinished())
            finish();
    }

    ~Transfer()
    {
        QObject::disconnect(m_reply, nullptr, &m_context, nullptr);
        if (m_answered && !m_aborted && m_reply->isRunning()) {
            drainThenDelete(m_reply, m_timeout);
            return;
        }
        if (m_reply->isRunning())
            m_reply->abort();
        m_reply->deleteLater();
    }

    Transfer(const Transfer &) = delete;
    Transfer &operator=(const Transfer &) = delete;

    void abort()
    {
        m_aborted = true;
        if (m_reply->isRunning())
            m_reply->abort();
    }

private:
    void readHead()
    {
        if (m_headRead || !m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
            return;
        m_headRead = true;
        m_headElapsed = static_cast<double>(m_sent.nsecsElapsed()) / 1e9;
        if (!m_headOnly) {
            m_decoder = ContentDecoder::forEncoding(m_reply->rawHeader("Content-Encoding"));
        } else if (!m_done.isDone()) {
            m_answered = true;
            m_done.complete(HTTPResult{{}, head()});
        }
    }

    HTTPResponse head()
    {
        if (!m_headElapsed)
            m_headElapsed = static_cast<double>(m_sent.nsecsElapsed()) / 1e9;
        return responseHead(m_reply, m_headElapsed);
    }

    void readBody()
    {
        readHead();
        if (m_headOnly)
            return;
        while (!m_done.isDone() && m_reply->bytesAvailable() > 0) {
            // Only what has arrived: a read asks for a buffer of the size it is given.
            const QByteArray piece = m_reply->read(std::min(m_reply->bytesAvailable(), m_maxBodyBytes + 1 - m_body.size()));
            if (!m_decoder) {
                m_body += piece;
            } else if (!m_decoder->feed(piece, m_body, m_maxBodyBytes)) {
                m_done.fail(ProviderError::upstream(BoundedHTTPClient::undecodableBodyMessage()));
                abort();
                return;
            }
            if (m_body.size() > m_maxBodyBytes) {
                m_done.fail(ProviderError::upstream(BoundedHTTPClient::bodyLimitMessage(m_maxBodyBytes)));
                abort();
            }
        }
    }

    // Qt 6.4 sometimes finishes a chunked reply without an error when the peer closed in the
    // middle of a chunk; nothing outside Qt can tell that body from a whole one. A cut-off
    // body with a Content-Length, or one cut before the body, fails as it should.
    void finish()
    {
        readBody();
        if (m_done.isDone())
            return;
        const auto error = m_reply->error();
        const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const bool answered = error == QNetworkReply::NoError || (status.isValid() && isHTTPStatusError(error, status.toInt()));
        if (answered && m_decoder && !m_decoder->isWhole())
            m_done.fail(ProviderError::upstream(BoundedHTTPClient::undecodableBodyMessage()));
        else if (answered)
            m_done.complete(HTTPResult{std::move(m_body), head()});
        else
            m_done.fail(providerError(error, withoutSecrets(m_reply->errorString(), m_reply->request().url())));
    }

    QObject m_context;
    QNetworkReply *m_reply;
    qint64 m_maxBodyBytes;
    bool m_headOnly;
    double m_timeout;
    bool m_headRead = false;
    bool m_answered = false;
    bool m_aborted = false;
    Completion<HTTPResult> m_done;
    std::unique_ptr<ContentDecoder> m_decoder;
    QByteArray m_body;
    QElapsedTimer m_sent;
    std::optional<double> m_headElapsed;
};

} // namespace

BoundedHTTPClient::BoundedHTTPClient(qint64 maxBodyBytes, double timeout, double deadline)
    : m_managers(std::make_shared<NetworkManagerPool>()), m_maxBodyBytes(std::max<qint64>(maxBodyBytes, 0)), m_timeout(timeout),
      m_deadline(deadline)
{
}

QCoro::Task<HTTPResult> BoundedHTTPClient::data(HTTPRequest request, CancelToken cancel) const
{
    return exchange(std::move(request), false, std::move(cancel));
}

QCoro::Task<HTTPResponse> BoundedHTTPClient::responseHead(HTTPRequest request, CancelToken cancel) const
{
    HTTPResult result = co_await exchange(std::move(request), true, std::move(cancel));
    co_return std::move(result.response);
}

QCoro::Task<HTTPResult> BoundedHTTPClient::exchange(HTTPRequest request, bool headOnly, CancelToken cancel) const
{
    cancel.throwIfCancelled();
    // The network manager would also read local files and data URLs; a watched service is
    // only ever reached over HTTP.
    const QString scheme = request.url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        throw ProviderError::upstream(QStringLiteral("unsupported URL"));
    const auto managers = m_managers;
    Completion<HTTPResult> done;
    const QNetworkRequest outgoing = networkRequest(request, m_timeout);
    // The clock starts here, not when Qt reports the request sent: that report comes from the
    // network thread and can reach this thread after the reply itself.
    QElapsedTimer sent;
    sent.start();
    QNetworkReply *reply = managers->send(outgoing, request.method, request.body);
    Transfer transfer(reply, sent, m_maxBodyBytes, headOnly, m_timeout, done);
    HTTPResult result = co_await withTimeout<HTTPResult>(m_deadline, [&transfer] { transfer.abort(); }, done,
                                                         cancel, ProviderError::upstream(deadlineMessage(m_deadline)));
    co_return result;
}

QString BoundedHTTPClient::bodyLimitMessage(qint64 maxBodyBytes)
{
    return QStringLiteral("response exceeded %1-byte limit").arg(maxBodyBytes);
}

QString BoundedHTTPClient::undecodableBodyMessage()
{
    return QStringLiteral("response body could not be decoded");
}

QString BoundedHTTPClient::deadlineMessage(double deadline)
{
    return QStringLiteral("request exceeded its %1s deadline").arg(shortestSecondsText(deadline));
}

QString shortestSecondsText(double seconds)
{
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, seconds);
    QString text = error == std::errc() ? QString::fromLatin1(buffer, end - buffer) : QString::number(seconds);
    if (std::isfinite(seconds) && !text.contains(QLatin1Char('.')) && !text.contains(QLatin1Char('e')))
        text += QStringLiteral(".0");
    return text;
}

} // namespace marrowick
