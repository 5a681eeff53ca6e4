#include "MarrowickKit/Transport/RequestURL.h"

#include "MarrowickKit/Model/ProviderError.h"

#include <QRegularExpression>

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
