#pragma once

#include "MarrowickKit/Transport/HTTPClient.h"
#include "MarrowickKit/Engine/SourceProvider.h"

#include <QHash>
#include <QJsonObject>
#include <QList>

#include <optional>

namespace marrowick {

// Polls one Beszel hub: the "systems" collection gives one host widget per system (status, CPU,
// memory and disk in percent), the "smart_devices" collection adds drive temperatures. Only the
// systems are essential; a failed drive request leaves the temperatures out.
class BeszelProvider : public SourceProvider {
public:
    // Drive temperatures by system id, in record order.
    using DriveMap = QHash<QString, QList<DriveTemp>>;

    // Throws "expected beszel config" for a configuration of another case.
    BeszelProvider(const AnySourceConfig &config, CredentialStoreHandle credentials,
                   std::shared_ptr<const HTTPClient> http = sharedHTTPClient());

    QCoro::Task<SourceSnapshot> fetch(CancelToken cancel = {}) override;

    // Never fail: a body of another shape gives no hosts (systems) or no temperatures (drives).
    static QList<HostStats> makeHostStats(const QByteArray &systemsBody,
                                          const std::optional<QByteArray> &smartDevicesBody);
    static HostStats hostStats(const QJsonObject &record, const DriveMap &temps);

private:
    QCoro::Task<QByteArray> fetchCollection(QString collection, QString token, CancelToken cancel);
    QCoro::Task<std::optional<QByteArray>> fetchOptionalCollection(QString collection, QString token,
                                                                   CancelToken cancel);

    BeszelConfig m_config;
    CredentialStoreHandle m_credentials;
    std::shared_ptr<const HTTPClient> m_http;
};

} // namespace marrowick
