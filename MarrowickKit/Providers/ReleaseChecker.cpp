#include "MarrowickKit/Providers/ReleaseChecker.h"

#include "MarrowickKit/Model/DecimalText.h"
#include "MarrowickKit/Model/ProviderError.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>


namespace marrowick {

namespace {

[[noreturn]] void invalidManifest()
{
    throw ProviderError::upstream(QStringLiteral("invalid update manifest"));
}

bool isSecure(const QUrl &url)
{
    return url.isValid() && url.scheme() == QLatin1String("https") && !url.host().isEmpty();
}

} // namespace

ReleaseChecker::ReleaseChecker(QUrl endpoint, std::shared_ptr<const HTTPClient> http)
    : m_endpoint(std::move(endpoint)), m_http(std::move(http))
{
}

QCoro::Task<ReleaseCheckResult> ReleaseChecker::check(QString installedVersion, CancelToken cancel) const
{
    // Checked before anything is sent: a manifest that did not come over TLS is never fetched.
    if (!isSecure(m_endpoint))
        invalidManifest();
    HTTPRequest request;
    request.url = m_endpoint;
    const HTTPResult result = co_await m_http->data(request, cancel);
    checkHTTPStatus(result.response);

    const ReleaseManifest manifest = decodeManifest(result.body);
    const auto installed = parseVersion(installedVersion);
    const auto published = parseVersion(manifest.version);
    if (!installed || !published)
        invalidManifest();
    if (isNewer(*published, *installed))
        co_return ReleaseCheckResult::updateAvailable(manifest);
    co_return ReleaseCheckResult::upToDate(manifest);
}

ReleaseManifest ReleaseChecker::decodeManifest(const QByteArray &body)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        invalidManifest();
    const QJsonObject object = document.object();
    const QJsonValue version = object.value(QStringLiteral("version"));
    const QJsonValue downloadURL = object.value(QStringLiteral("downloadURL"));
    if (!version.isString() || !downloadURL.isString())
        invalidManifest();
    ReleaseManifest manifest{version.toString(), QUrl(downloadURL.toString(), QUrl::StrictMode)};
    if (!isSecure(manifest.downloadURL))
        invalidManifest();
    return manifest;
}

std::optional<QList<qint64>> ReleaseChecker::parseVersion(const QString &text)
{
    const QList<QStringView> pieces = QStringView(text).split(u'.');
    if (pieces.size() != 3)
        return std::nullopt;
    QList<qint64> parts;
    for (const QStringView piece : pieces) {
        const auto part = parseDecimalInt64(piece);
        if (!part)
            return std::nullopt;
        parts.append(*part);
    }
    return parts;
}

bool ReleaseChecker::isNewer(const QList<qint64> &candidate, const QList<qint64> &than)
{
    const qsizetype common = std::min(candidate.size(), than.size());
    for (qsizetype i = 0; i < common; ++i) {
        if (candidate[i] != than[i])
            return candidate[i] > than[i];
    }
    return candidate.size() > than.size();
}

} // namespace marrowick
