#pragma once

#include "MarrowickKit/Transport/HTTPClient.h"
#include "MarrowickKit/Engine/SourceProvider.h"

namespace marrowick {

// One GET of the configured URL, judged only by its status code. A request that fails is a
// down check inside a successful poll, so the widget stays on screen with the reason; only a
// URL that cannot be parsed fails the poll.
class HTTPPingProvider : public SourceProvider {
public:
    HTTPPingProvider(const AnySourceConfig &config, CredentialStoreHandle credentials,
                     std::shared_ptr<const HTTPClient> http = sharedHTTPClient());

    QCoro::Task<SourceSnapshot> fetch(CancelToken cancel = {}) override;

private:
    HTTPPingConfig m_config;
    std::shared_ptr<const HTTPClient> m_http;
};

} // namespace marrowick
