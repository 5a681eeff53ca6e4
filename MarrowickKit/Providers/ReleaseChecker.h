#pragma once

#include "MarrowickKit/Transport/HTTPClient.h"

#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

namespace marrowick {

// The published release as the manifest names it.
struct ReleaseManifest {
    QString version;
    QUrl downloadURL;

    bool operator==(const ReleaseManifest &) const = default;
};

struct ReleaseCheckResult {
    enum class Kind { upToDate, updateAvailable };

    Kind kind = Kind::upToDate;
    ReleaseManifest manifest;

    static ReleaseCheckResult upToDate(ReleaseManifest manifest) { return {Kind::upToDate, std::move(manifest)}; }
    static ReleaseCheckResult updateAvailable(ReleaseManifest manifest)
    {
        return {Kind::updateAvailable, std::move(manifest)};
    }

    bool operator==(const ReleaseCheckResult &) const = default;
};

// Asks whether a release newer than the installed one is published. Only an https manifest
// that names an https download and a three-part version is believed; anything else fails with
// "invalid update manifest".
class ReleaseChecker {
public:
    explicit ReleaseChecker(QUrl endpoint, std::shared_ptr<const HTTPClient> http = sharedHTTPClient());

    const QUrl &endpoint() const { return m_endpoint; }

    QCoro::Task<ReleaseCheckResult> check(QString installedVersion, CancelToken cancel = {}) const;

    // "1.2.3" as three signed 64-bit integers; any other form gives nothing.
    static std::optional<QList<qint64>> parseVersion(const QString &text);
    // Element by element; when one list is a prefix of the other, the longer one is newer.
    static bool isNewer(const QList<qint64> &candidate, const QList<qint64> &than);
    // The manifest in a reply body; throws "invalid update manifest".
    static ReleaseManifest decodeManifest(const QByteArray &body);

private:
    QUrl m_endpoint;
    std::shared_ptr<const HTTPClient> m_http;
};

} // namespace marrowick
