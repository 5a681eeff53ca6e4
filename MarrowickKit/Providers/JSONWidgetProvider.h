#pragma once

#include "MarrowickKit/Transport/HTTPClient.h"
#include "MarrowickKit/Engine/SourceProvider.h"

namespace marrowick {

// Fetches one JSON document and shows the values its field mappings pick out, as one widget of
// labelled values. A value that cannot be found shows "—"; only the request itself can fail.
class JSONWidgetProvider : public SourceProvider {
public:
    // Throws "expected jsonWidget config" for a configuration of another case.
    JSONWidgetProvider(const AnySourceConfig &config, CredentialStoreHandle credentials,
                       std::shared_ptr<const HTTPClient> http = sharedHTTPClient());

    QCoro::Task<SourceSnapshot> fetch(CancelToken cancel = {}) override;

    // What a field shows when its path gives nothing.
    static QString missingValue();

private:
    JSONWidgetConfig m_config;
    CredentialStoreHandle m_credentials;
    std::shared_ptr<const HTTPClient> m_http;
};

} // namespace marrowick
