#include "MarrowickKit/Transport/RequestURL.h"

#include "MarrowickKit/Model/ProviderError.h"

#include <QRegularExpression>

#include <algorithm>

namespace marrowick {

namespace {

// Where the authority of `text` ("//" after a scheme) starts, or -1 when it has none.
qsizetype authorityStart(const QString &text)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    const QRegularExpressionMatch match = scheme.match(text);
    return match.hasMatch() ? match.capturedEnd() : -1;
}

qsizetype authorityEnd(const QString &text, qsizetype start)
{
    qsizetype end = start;
    while (end < text.size() && text[end] != u'/' && text[end] != u'?' && text[end] != u'#')
        ++end;
    return end;
}

// `text` with the zone of an IPv6 host written as the system writes it ("[fe80::1%eth0]")
// escaped as a URL wants it ("[fe80::1%25eth0]"), which is how curl and browsers read it too.
QString withEscapedZone(const QString &text)
{
    const qsizetype start = authorityStart(text);
    if (start < 0)
        return text;
    const qsizetype end = authorityEnd(text, start);
    const qsizetype open = text.indexOf(u'[', start);
    const qsizetype close = open < 0 ? -1 : text.indexOf(u']', open);
    const qsizetype percent = open < 0 ? -1 : text.indexOf(u'%', open);
    if (close < 0 || close > end || percent < 0 || percent > close
        || QStringView(text).sliced(percent).startsWith(u"%25"))
        return text;
    return text.first(percent + 1) + QStringLiteral("25") + text.sliced(percent + 1);
}

// The path and query of a URL text as written, for the request line. Only bytes outside
// printable ASCII are percent-encoded: a parsed text holds no blank or control character.
QByteArray typedTarget(const QString &text)
{
    const qsizetype start = authorityStart(text);
    if (start < 0)
        return {};
    const qsizetype pathStart = authorityEnd(text, start);
    const qsizetype fragment = text.indexOf(u'#', pathStart);
    const QByteArray typed = text.sliced(pathStart, (fragment < 0 ? text.size() : fragment) - pathStart).toUtf8();
    QByteArray target = typed.startsWith('/') ? QByteArray() : QByteArray("/");
    for (const char c : typed) {
        if (c > ' ' && c < 0x7f)
            target += c;
        else
            target += '%' + QByteArray::number(static_cast<unsigned char>(c), 16).rightJustified(2, '0').toUpper();
    }
    return target;
}

// The text after a host's colon: nothing, or a number of 1 to 65535 in ASCII digits alone.
bool isUsablePort(QStringView port)
{
    if (port.isEmpty())
        return true;
    if (!std::all_of(port.cbegin(), port.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return false;
    bool number = false;
    const int value = port.toInt(&number);
    return number && value >= 1 && value <= 65535;
}

} // namespace

HTTPRequest RequestURL::request() const
{
    HTTPRequest request;
    request.url = url;
    request.target = target;
    return request;
}

QString userInfoMessage()
{
    return QStringLiteral("URL contains a username/password \u2014 remove it and use the username/token field(s) "
                          "instead");
}

bool namesUserInfo(const QString &text)
{
    const qsizetype start = authorityStart(text);
    return start >= 0 && text.sliced(start, authorityEnd(text, start) - start).lastIndexOf(u'@') > 0;
}

URLFault requestURLFault(const QString &text)
{
    if (text.isEmpty())
        return URLFault::host;
    if (text.front().isSpace() || text.back().isSpace())
        return URLFault::spaceAtEnd;
    const auto blank = [](QChar c) { return c.isSpace() || c.category() == QChar::Other_Control; };
    if (std::any_of(text.cbegin(), text.cend(), blank))
        return URLFault::space;
    const qsizetype start = authorityStart(text);
    const QString scheme = start < 0 ? QString() : text.left(start - 3).toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return URLFault::scheme;
    // The host and port, after any user information.
    const QString authority = text.sliced(start, authorityEnd(text, start) - start);
    const QString hostPort = authority.sliced(authority.lastIndexOf(u'@') + 1);
    const qsizetype bracket = hostPort.startsWith(u'[') ? hostPort.indexOf(u']') : -1;
    if (hostPort.startsWith(u'[') && bracket < 0)
        return URLFault::malformed;
    const qsizetype colon = hostPort.indexOf(u':', std::max<qsizetype>(bracket, 0));
    if ((colon < 0 ? hostPort.size() : colon) == 0)
        return URLFault::host;
    if (colon >= 0 && !isUsablePort(QStringView(hostPort).sliced(colon + 1)))
        return URLFault::port;
    const QUrl url(text, QUrl::StrictMode);
    return url.isValid() && !url.host().isEmpty() ? URLFault::none : URLFault::malformed;
}

QString withHiddenPassword(const QString &text)
{
    const qsizetype start = authorityStart(text);
    const qsizetype at = start < 0 ? -1 : text.sliced(start, authorityEnd(text, start) - start).lastIndexOf(u'@');
    const qsizetype colon = at < 0 ? -1 : text.sliced(start, at).indexOf(u':');
    if (colon < 0)
        return text;
    return text.left(start + colon + 1) + QStringLiteral("\u2022\u2022\u2022") + text.sliced(start + at);
}

std::optional<RequestURL> parsedURL(const QString &text)
{
    const QUrl url(withEscapedZone(text), QUrl::StrictMode);
    if (namesUserInfo(text) || !url.userInfo().isEmpty())
        throw ProviderError::misconfigured(userInfoMessage());
    if (text.isEmpty() || !url.isValid())
        return std::nullopt;
    return RequestURL{url, typedTarget(text)};
}

std::optional<RequestURL> requestURL(const QString &text)
{
    auto parsed = parsedURL(text);
    if (!parsed || parsed->url.host().isEmpty())
        return std::nullopt;
    if (parsed->url.scheme() != QLatin1String("http") && parsed->url.scheme() != QLatin1String("https"))
        return std::nullopt;
    return parsed;
}

std::optional<RequestURL> requestURL(const QString &baseURL, const QString &path)
{
    qsizetype start = 0;
    qsizetype end = baseURL.size();
    while (start < end && baseURL[start] == u'/')
        ++start;
    while (end > start && baseURL[end - 1] == u'/')
        --end;
    return requestURL(baseURL.sliced(start, end - start) + path);
}

} // namespace marrowick
