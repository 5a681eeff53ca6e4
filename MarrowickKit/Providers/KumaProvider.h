#pragma once

#include "MarrowickKit/Transport/HTTPClient.h"
#include "MarrowickKit/Engine/SourceProvider.h"

#include <QList>

namespace marrowick {

// Polls one Uptime Kuma server: its metrics page with Basic authentication (user name and API
// key), or a public status page by its slug; a metrics page that refuses the key falls back to
// the status page when a slug is set. One service widget per monitor.
class KumaProvider : public SourceProvider {
public:
    // Throws "expected kuma config" for a configuration of another case.
    KumaProvider(const AnySourceConfig &config, CredentialStoreHandle credentials,
                 std::shared_ptr<const HTTPClient> http = sharedHTTPClient());

    QCoro::Task<SourceSnapshot> fetch(CancelToken cancel = {}) override;

    // The rows of a status-page heartbeat reply, ordered by monitor key. Throws JsonDecodeError
    // when the body is not such a reply.
    static QList<ServiceRow> statusPageRows(const QByteArray &body);

private:
    QCoro::Task<QList<ServiceRow>> serviceRows(CancelToken cancel);
    QCoro::Task<QList<ServiceRow>> credentialedRows(CancelToken cancel);
    QCoro::Task<QList<ServiceRow>> metricsRows(QString username, QString password, CancelToken cancel);
    QCoro::Task<QList<ServiceRow>> statusPageRows(QString slug, CancelToken cancel);
    HTTPRequest request(const QString &path) const;

    KumaConfig m_config;
    CredentialStoreHandle m_credentials;
    std::shared_ptr<const HTTPClient> m_http;
};

} // namespace marrowick
