#include "MarrowickKit/Transport/BoundedHTTPClient.h"

#include "MarrowickKit/Transport/AddressRace.h"
#include "MarrowickKit/Transport/ContentDecoder.h"
#include "MarrowickKit/Transport/HTTPConnectionPool.h"
#include "MarrowickKit/Transport/HTTPReplyReader.h"
#include "MarrowickKit/Transport/NWByteChannel.h"
#include "MarrowickKit/Transport/NetworkErrors.h"
#include "MarrowickKit/Transport/RequestURL.h"

#include <QElapsedTimer>
#include <QNetworkProxy>
#include <QSslSocket>
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

// Reads at most this much of a socket at a time.
constexpr qint64 readBytes = 64 * 1024;

// After a head-only check, the rest of a small body is read and dropped so that the connection
// can serve the next check instead of being torn down. A body larger than this, or one that
// has not ended within the time-out, closes the connection.
constexpr qint64 drainableBodyBytes = 64 * 1024;

// The values of every Content-Encoding field, in the order they came.
QList<QByteArray> contentEncodings(const HTTPHeaders &headers)
{
    QList<QByteArray> values;
    for (const auto &[name, value] : headers) {
        if (name.compare("Content-Encoding", Qt::CaseInsensitive) == 0)
            values.append(value);
    }
    return values;
}

bool isSafeHeaderText(const QByteArray &text)
{
    return !text.contains('\r') && !text.contains('\n') && !text.contains('\0');
}

// The request as it goes on the wire, with the browser-like User-Agent that Qt used to add.
QByteArray requestBytes(const HTTPRequest &request, const HTTPTarget &target)
{
    QByteArray path = request.target;
    if (path.isEmpty())
        path = request.url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    if (!path.startsWith('/'))
        path.prepend('/');
    // Nothing that would end the target or the line early.
    if (!std::all_of(path.cbegin(), path.cend(), [](char c) { return c > ' ' && c < 0x7f && c != '#'; }))
        throw ProviderError::upstream(QStringLiteral("unsupported URL"));
    HTTPHeaders headers = request.headers;
    const auto addIfAbsent = [&headers](const QByteArray &name, const QByteArray &value) {
        if (headerValue(headers, name).isNull())
            headers.append({name, value});
    };
    // An IPv6 address goes in brackets and without its zone, which means something only here.
    QByteArray host = target.host.toLatin1();
    if (target.host.contains(QLatin1Char(':')))
        host = '[' + host.first(host.contains('%') ? host.indexOf('%') : host.size()) + ']';
    if (request.url.port() >= 0 && request.url.port() != (target.tls ? 443 : 80))
        host += ':' + QByteArray::number(target.port);
    addIfAbsent("Host", host);
    addIfAbsent("User-Agent", "Mozilla/5.0");
    // Asked for here and decoded strictly by ContentDecoder.
    addIfAbsent("Accept-Encoding", "gzip, deflate");
    if (!request.body.isEmpty() || request.method == "POST" || request.method == "PUT" || request.method == "PATCH")
        addIfAbsent("Content-Length", QByteArray::number(request.body.size()));
    QByteArray bytes = request.method + ' ' + path + " HTTP/1.1\r\n";
    for (const auto &[name, value] : std::as_const(headers)) {
        if (name.isEmpty() || name.contains(':') || !isSafeHeaderText(name) || !isSafeHeaderText(value))
            throw ProviderError::misconfigured(QStringLiteral("invalid HTTP header ") + QString::fromLatin1(name));
        bytes += name + ": " + value + "\r\n";
    }
    bytes += "\r\n" + request.body;
    return bytes;
}

// Reads the rest of a small body that a head-only check left, then gives the connection back;
// a large or slow body, or a closed connection, drops it. Dies with the socket.
class Drain : public QObject {
public:
    Drain(std::weak_ptr<HTTPConnectionPool> pool, std::unique_ptr<HTTPConnection> connection, HTTPReplyReader reader,
          qint64 drained, double timeout)
        : QObject(connection->socket()), m_pool(std::move(pool)), m_connection(std::move(connection)),
          m_reader(std::move(reader)), m_drained(drained)
    {
        QTcpSocket *socket = m_connection->socket();
        connect(socket, &QTcpSocket::readyRead, this, &Drain::read);
        // Queued: a socket being destroyed (with its pool, or the application) emits it too.
        connect(socket, &QTcpSocket::disconnected, this, &Drain::drop, Qt::QueuedConnection);
        QTimer::singleShot(milliseconds(timeout), this, &Drain::drop);
        read();
    }

private:
    void read()
    {
        QTcpSocket *socket = m_connection->socket();
        QByteArray dropped;
        while (socket->bytesAvailable() > 0 && m_reader.stage() == HTTPReplyReader::Stage::body && m_drained <= drainableBodyBytes) {
            const QByteArray bytes = socket->read(std::min(socket->bytesAvailable(), readBytes));
            if (m_reader.feed(bytes, dropped) < bytes.size())
                return drop();
            m_drained += dropped.size();
            dropped.clear();
        }
        if (m_reader.keepsConnection() && m_drained <= drainableBodyBytes) {
            disconnect(socket, nullptr, this, nullptr);
            if (const auto pool = m_pool.lock())
                pool->giveBack(std::move(m_connection));
            deleteLater();
        } else if (m_reader.stage() != HTTPReplyReader::Stage::body || m_drained > drainableBodyBytes) {
            drop();
        }
    }

    // Also reached once more when the time-out fires before the deferred deletion.
    void drop()
    {
        if (m_connection && m_connection->socket())
            disconnect(m_connection->socket(), nullptr, this, nullptr);
        m_connection.reset();
        deleteLater();
    }

    std::weak_ptr<HTTPConnectionPool> m_pool;
    std::unique_ptr<HTTPConnection> m_connection;
    HTTPReplyReader m_reader;
    qint64 m_drained;
};

// One attempt at an exchange on one connection: connects when the connection is new, sends the
// request, and reads the reply as it streams in, failing once its head or its body exceeds its
// cap. Every wait has the time-out, restarted by each byte that moves. A head-only exchange
// ends with an empty body as soon as the head is in; destroying the transfer then drains the
// rest of a small body, gives a connection whose reply was read whole back to the pool, and
// closes any other.
class Transfer {
public:
    struct Limits {
        qint64 maxBodyBytes;
        double timeout;
        bool headOnly;
    };

    // A new connection connects to `addresses`.
    Transfer(std::shared_ptr<HTTPConnectionPool> pool, std::unique_ptr<HTTPConnection> connection,
             const HostAddresses &addresses, QByteArray request, bool headRequest, const QUrl &url, Limits limits,
             Completion<HTTPResult> done)
        : m_pool(std::move(pool)), m_connection(std::move(connection)), m_request(std::move(request)),
          m_reader(headRequest), m_url(url), m_limits(limits), m_done(std::move(done)),
          m_validUntil(addresses.validUntil)
    {
        // The clock starts before connecting: a new connection's set-up is part of the answer, the
        // lookup of the name before it is not.
        m_sent.start();
        m_connection->startExchange();
        m_reused = m_connection->isReused();
        m_idle.setSingleShot(true);
        m_idle.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_idle, &QTimer::timeout, &m_context, [this] {
            fail(handshaking() ? handshakeError(QAbstractSocket::SocketTimeoutError, {}) : timedOutError());
        });
        m_idle.start(milliseconds(m_limits.timeout));
        if (QTcpSocket *socket = m_connection->socket()) {
            watch(socket);
            send();
            return;
        }
        const HTTPTarget &target = m_connection->target();
        m_race = std::make_unique<AddressRace>([pool = m_pool.get(), tls = target.tls] { return pool->newSocket(tls); },
                                               [this](QTcpSocket *socket) { connected(socket); },
                                               [this](const ProviderError &error) { fail(error); });
        m_race->connectTo(addresses.addresses, target.port);
    }

    ~Transfer()
    {
        if (m_connection->socket())
            QObject::disconnect(m_connection->socket(), nullptr, &m_context, nullptr);
        if (m_reader.keepsConnection() && !m_leftover && !m_failed) {
            m_pool->giveBack(std::move(m_connection));
        } else if (m_limits.headOnly && m_reader.stage() == HTTPReplyReader::Stage::body && m_done.isDone() && !m_failed
                   && m_connection->socket()) {
            new Drain(m_pool, std::move(m_connection), std::move(m_reader), m_drained, m_limits.timeout);
        }
    }

    Transfer(const Transfer &) = delete;
    Transfer &operator=(const Transfer &) = delete;

    // Ends the transfer and its connection (the deadline passed, or the caller cancelled).
    void abort()
    {
        m_failed = true;
        close();
    }

    // The peer closed the connection before a byte of the reply, as a server does with an idle
    // connection it has just given up, or a TLS server with plain HTTP.
    bool closedBeforeReply() const { return m_closedBeforeReply; }
    bool wasReused() const { return m_reused; }

private:
    void watch(QTcpSocket *socket)
    {
        QObject::connect(socket, &QTcpSocket::readyRead, &m_context, [this] { read(); });
        QObject::connect(socket, &QTcpSocket::bytesWritten, &m_context, [this] { m_idle.start(); });
        QObject::connect(socket, &QTcpSocket::errorOccurred, &m_context, [this](auto error) { socketError(error); });
        // Queued: a socket being destroyed with the application emits it too. A peer's close is
        // also reported at once, as an error.
        QObject::connect(socket, &QTcpSocket::disconnected, &m_context, [this] { peerClosed(); }, Qt::QueuedConnection);
    }

    // A new connection's socket has connected to one of the host's addresses; TLS is then
    // started for the host's name, which the certificate must carry.
    void connected(QTcpSocket *socket)
    {
        m_connection->adopt(socket, m_validUntil);
        watch(socket);
        auto *tls = qobject_cast<QSslSocket *>(socket);
        if (!tls)
            return send();
        QObject::connect(tls, &QSslSocket::encrypted, &m_context, [this] { send(); });
        QObject::connect(tls, &QSslSocket::sslErrors, &m_context, [this](const QList<QSslError> &errors) {
            fail(handshakeError(errors.value(0).errorString()));
        });
        tls->setPeerVerifyName(m_connection->target().host);
        tls->startClientEncryption();
    }

    void send()
    {
        m_idle.start();
        if (m_connection->socket()->write(m_request) < 0)
            socketError(m_connection->socket()->error());
    }

    void read()
    {
        QTcpSocket *socket = m_connection->socket();
        while (!m_failed && socket && socket->bytesAvailable() > 0) {
            m_idle.start();
            const QByteArray bytes = socket->read(std::min(socket->bytesAvailable(), readBytes));
            const bool hadHead = m_reader.hasHead();
            const qsizetype taken = m_reader.feed(bytes, m_piece);
            m_leftover = m_leftover || taken < bytes.size();
            if (!hadHead && m_reader.hasHead())
                headArrived();
            if (!m_piece.isEmpty())
                takeBody();
            if (m_failed)
                return;
            // Chunk framing and empty gzip members carry next to nothing: what a body may cost
            // on the wire is bounded too.
            m_wireBytes += taken;
            if (!m_limits.headOnly && m_wireBytes > 2 * (m_limits.maxBodyBytes + HTTPReplyReader::maxHeadBytes))
                return fail(ProviderError::upstream(BoundedHTTPClient::bodyLimitMessage(m_limits.maxBodyBytes)));
            if (m_reader.stage() == HTTPReplyReader::Stage::failed)
                return fail(ProviderError::upstream(m_reader.failure()));
            if (m_reader.stage() == HTTPReplyReader::Stage::complete)
                return finish();
        }
    }

    void headArrived()
    {
        m_headElapsed = static_cast<double>(m_sent.nsecsElapsed()) / 1e9;
        if (m_limits.headOnly)
            m_done.complete(HTTPResult{{}, head()});
        else
            m_decoder = ContentDecoder::forEncodings(contentEncodings(m_reader.headers()));
    }

    HTTPResponse head() const
    {
        HTTPResponse response;
        response.statusCode = m_reader.status();
        response.headers = m_reader.headers();
        response.url = m_url;
        response.elapsedSeconds = m_headElapsed;
        return response;
    }

    void takeBody()
    {
        const QByteArray piece = std::exchange(m_piece, {});
        if (m_limits.headOnly) {
            m_drained += piece.size();
            if (m_drained > drainableBodyBytes)
                abort();
            return;
        }
        auto result = ContentDecoder::Result::fed;
        if (m_decoder)
            result = m_decoder->feed(piece, m_body, m_limits.maxBodyBytes);
        else
            m_body += piece;
        if (result == ContentDecoder::Result::undecodable)
            return fail(ProviderError::upstream(BoundedHTTPClient::undecodableBodyMessage()));
        if (result == ContentDecoder::Result::unsupported)
            return fail(ProviderError::upstream(BoundedHTTPClient::unsupportedEncodingMessage(m_decoder->unsupportedCoding())));
        if (result == ContentDecoder::Result::tooLarge || m_body.size() > m_limits.maxBodyBytes)
            fail(ProviderError::upstream(BoundedHTTPClient::bodyLimitMessage(m_limits.maxBodyBytes)));
    }

    void finish()
    {
        m_idle.stop();
        if (m_decoder && !m_decoder->isWhole())
            return fail(ProviderError::upstream(BoundedHTTPClient::undecodableBodyMessage()));
        if (!m_limits.headOnly)
            m_done.complete(HTTPResult{std::move(m_body), head()});
    }

    // A failure during the TLS handshake, a close or a silent server included, is the
    // handshake's: no HTTP was spoken yet.
    void socketError(QAbstractSocket::SocketError error)
    {
        const QString text = m_connection->socket() ? m_connection->socket()->errorString() : QString();
        if (handshaking() || error == QAbstractSocket::SslHandshakeFailedError)
            return fail(handshakeError(error, text));
        if (error == QAbstractSocket::RemoteHostClosedError)
            return peerClosed();
        fail(providerError(error, text));
    }

    bool handshaking() const
    {
        const auto *tls = qobject_cast<const QSslSocket *>(m_connection->socket());
        return tls && !tls->isEncrypted();
    }

    void peerClosed()
    {
        if (m_failed || m_reader.stage() == HTTPReplyReader::Stage::complete)
            return;
        if (handshaking())
            return fail(handshakeError(QAbstractSocket::RemoteHostClosedError, {}));
        read();
        if (m_failed || m_reader.stage() == HTTPReplyReader::Stage::complete)
            return;
        m_closedBeforeReply = !m_reader.receivedAny();
        m_reader.closed();
        if (m_reader.stage() == HTTPReplyReader::Stage::complete)
            return finish();
        fail(ProviderError::upstream(m_reader.failure()));
    }

    void fail(const ProviderError &error)
    {
        m_failed = true;
        // A request on a connection made before its route went away only waits: the routing
        // table tells that this computer, not the server, is the cause. Without a peer yet
        // there is no route to judge, and the failure stands.
        const QTcpSocket *socket = m_connection->socket();
        m_done.fail(socket ? unlessUnrouted(error, socket->peerAddress()) : error);
        close();
    }

    void close()
    {
        m_idle.stop();
        if (m_race)
            m_race->abort();
        if (QTcpSocket *socket = m_connection->socket()) {
            QObject::disconnect(socket, nullptr, &m_context, nullptr);
            socket->abort();
        }
    }

    QObject m_context;
    std::shared_ptr<HTTPConnectionPool> m_pool;
    std::unique_ptr<HTTPConnection> m_connection;
    QByteArray m_request;
    HTTPReplyReader m_reader;
    QUrl m_url;
    Limits m_limits;
    Completion<HTTPResult> m_done;
    QTimer m_idle;
    QElapsedTimer m_sent;
    std::optional<double> m_headElapsed;
    std::unique_ptr<ContentDecoder> m_decoder;
    QByteArray m_piece;
    QByteArray m_body;
    qint64 m_drained = 0;
    qint64 m_wireBytes = 0;
    bool m_reused = false;
    bool m_failed = false;
    bool m_leftover = false;
    bool m_closedBeforeReply = false;
    double m_validUntil;
    // Last: gone before the pool that made its sockets.
    std::unique_ptr<AddressRace> m_race;
};

// A TLS server answers a handshake within a round trip; a plain server that keeps quiet must not
// hold a failed poll much longer.
constexpr double tlsProbeSeconds = 3.0;

// Whether a TLS server listens on `target`'s port at `address`: asked when plain HTTP met a
// silent close, as servers built on OpenSSL answer it. Only a finished handshake, or a
// certificate presented for checking, counts; anything else, a time-out included, is no.
QCoro::Task<bool> speaksTLS(HTTPTarget target, QHostAddress address, double seconds, CancelToken cancel)
{
    std::unique_ptr<QSslSocket, SocketDeleter> socket(new QSslSocket);
    socket->setProxy(QNetworkProxy::NoProxy);
    QSslSocket *raw = socket.get();
    Completion<bool> answer;
    QObject context;
    QObject::connect(raw, &QSslSocket::encrypted, &context, [answer] { answer.complete(true); });
    QObject::connect(raw, &QSslSocket::sslErrors, &context, [answer] { answer.complete(true); });
    QObject::connect(raw, &QSslSocket::errorOccurred, &context, [answer] { answer.complete(false); });
    raw->connectToHostEncrypted(address.toString(), target.port, target.host);
    bool speaks = false;
    try {
        speaks = co_await withTimeout<bool>(seconds, [raw] { raw->abort(); }, answer, cancel);
    } catch (const ProviderError &) {
    }
    cancel.throwIfCancelled();
    raw->abort();
    co_return speaks;
}

} // namespace

BoundedHTTPClient::BoundedHTTPClient(qint64 maxBodyBytes, double timeout, double deadline,
                                     std::shared_ptr<HostLookup> hosts)
    : m_hosts(std::move(hosts)),
      m_connections(std::make_shared<HTTPConnectionPool>(HTTPConnectionPool::defaultIdleSeconds,
                                                         [hosts = m_hosts] { return hosts->now(); })),
      m_maxBodyBytes(std::max<qint64>(maxBodyBytes, 0)), m_timeout(timeout), m_deadline(deadline)
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
    const QString scheme = request.url.scheme().toLower();
    if ((scheme != QLatin1String("http") && scheme != QLatin1String("https")) || request.url.host().isEmpty())
        throw ProviderError::upstream(QStringLiteral("unsupported URL"));
    // The request line has no room for them: sent, the request would go out without them.
    if (!request.url.userInfo().isEmpty())
        throw ProviderError::misconfigured(userInfoMessage());
    const auto connections = m_connections;
    const auto hosts = m_hosts;
    const HTTPTarget target = HTTPTarget::of(request.url);
    const QByteArray wire = requestBytes(request, target);
    const Transfer::Limits limits{m_maxBodyBytes, m_timeout, headOnly};
    const double deadline = m_deadline;
    HostAddresses found{{}, 0};
    QElapsedTimer clock;
    const auto remaining = [deadline, &clock] { return deadline - static_cast<double>(clock.nsecsElapsed()) / 1e9; };
    bool mayReuse = true;
    while (true) {
        std::unique_ptr<HTTPConnection> connection = connections->take(target, mayReuse);
        // A new connection needs the addresses, which take what the resolver takes; the
        // deadline starts once they are known.
        if (!connection->socket() && found.addresses.isEmpty()) {
            found = co_await hosts->addresses(target.host, cancel);
            clock.invalidate();
        }
        if (!clock.isValid())
            clock.start();
        Completion<HTTPResult> done;
        Transfer transfer(connections, std::move(connection), found, wire, request.method == "HEAD", request.url,
                          limits, done);
        std::exception_ptr failure;
        try {
            co_return co_await withTimeout<HTTPResult>(remaining(), [&transfer] { transfer.abort(); }, done, cancel,
                                                       ProviderError::upstream(deadlineMessage(deadline)));
        } catch (...) {
            failure = std::current_exception();
        }
        // A kept connection that the server closed as the request went out: once more on a new one.
        if (transfer.closedBeforeReply() && transfer.wasReused() && mayReuse) {
            mayReuse = false;
            continue;
        }
        if (transfer.closedBeforeReply() && !target.tls && !found.addresses.isEmpty()
            && co_await speaksTLS(target, found.addresses.front(),
                                  std::min(tlsProbeSeconds, std::min(limits.timeout, remaining())), cancel))
            throw ProviderError::upstream(HTTPReplyReader::speaksTLSMessage());
        std::rethrow_exception(failure);
    }
}

QString BoundedHTTPClient::bodyLimitMessage(qint64 maxBodyBytes)
{
    return QStringLiteral("response exceeded %1-byte limit").arg(maxBodyBytes);
}

QString BoundedHTTPClient::undecodableBodyMessage()
{
    return QStringLiteral("response body could not be decoded");
}

QString BoundedHTTPClient::unsupportedEncodingMessage(const QByteArray &coding)
{
    // The server names the coding: only a short token of it is shown.
    constexpr qsizetype shown = 24;
    QString name;
    for (const char c : coding.first(std::min(coding.size(), shown))) {
        if (c > ' ' && c < 0x7f)
            name += QLatin1Char(c);
    }
    if (name.size() < coding.size())
        name += QChar(0x2026);
    return QStringLiteral("unsupported content encoding: ") + name;
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
