#include "MarrowickKit/ProviderRegistry.h"

#include "MarrowickKit/GameServerProvider.h"

#if __has_include("MarrowickKit/KumaProvider.h")
#include "MarrowickKit/KumaProvider.h"
#define MARROWICK_HAS_KUMA_PROVIDER 1
#endif
#if __has_include("MarrowickKit/BeszelProvider.h")
#include "MarrowickKit/BeszelProvider.h"
#define MARROWICK_HAS_BESZEL_PROVIDER 1
#endif
#if __has_include("MarrowickKit/HTTPPingProvider.h")
#include "MarrowickKit/HTTPPingProvider.h"
#define MARROWICK_HAS_HTTP_PING_PROVIDER 1
#endif
#if __has_include("MarrowickKit/TCPPortProvider.h")
#include "MarrowickKit/TCPPortProvider.h"
#define MARROWICK_HAS_TCP_PORT_PROVIDER 1
#endif
#if __has_include("MarrowickKit/JSONWidgetProvider.h")
#include "MarrowickKit/JSONWidgetProvider.h"
#define MARROWICK_HAS_JSON_WIDGET_PROVIDER 1
#endif

namespace marrowick {

namespace {

[[maybe_unused]] ProviderError unsupported()
{
    return ProviderError::misconfigured(QStringLiteral("unsupported source"));
}

} // namespace

std::unique_ptr<SourceProvider> ProviderRegistry::makeProvider(const AnySourceConfig &config,
                                                               CredentialStoreHandle credentials)
{
    switch (config.kind()) {
    case SourceKind::kuma:
#ifdef MARROWICK_HAS_KUMA_PROVIDER
        return std::make_unique<KumaProvider>(config, credentials);
#else
        throw unsupported();
#endif
    case SourceKind::beszel:
#ifdef MARROWICK_HAS_BESZEL_PROVIDER
        return std::make_unique<BeszelProvider>(config, credentials);
#else
        throw unsupported();
#endif
    case SourceKind::gameServer:
        return std::make_unique<GameServerProvider>(config, credentials);
    case SourceKind::httpPing:
#ifdef MARROWICK_HAS_HTTP_PING_PROVIDER
        return std::make_unique<HTTPPingProvider>(config, credentials);
#else
        throw unsupported();
#endif
    case SourceKind::tcpPort:
#ifdef MARROWICK_HAS_TCP_PORT_PROVIDER
        return std::make_unique<TCPPortProvider>(config, credentials);
#else
        throw unsupported();
#endif
    case SourceKind::jsonWidget:
#ifdef MARROWICK_HAS_JSON_WIDGET_PROVIDER
        return std::make_unique<JSONWidgetProvider>(config, credentials);
#else
        throw unsupported();
#endif
    }
    throw unsupported();
}

} // namespace marrowick
