#pragma once

#include "MarrowickKit/HTTPClient.h"

#include <QNetworkAccessManager>

#include <memory>

namespace marrowick::test {

// A plain HTTP client over QNetworkAccessManager for provider tests against LocalHTTPServer:
// no redirects followed, no cookies, no cache. Transport failures become upstream errors.
class TestHTTPClient : public HTTPClient {
public:
    TestHTTPClient();
    ~TestHTTPClient() override;

    QCoro::Task<HTTPResult> data(HTTPRequest request, CancelToken cancel = {}) const override;

private:
    std::unique_ptr<QNetworkAccessManager> m_manager;
};

} // namespace marrowick::test
