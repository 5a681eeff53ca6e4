#include "MarrowickKit/Providers/ProviderRegistry.h"

#include "MarrowickKit/Providers/BeszelProvider.h"
#include "MarrowickKit/Games/GameServerProvider.h"
#include "MarrowickKit/Providers/HTTPPingProvider.h"
#include "MarrowickKit/Providers/JSONWidgetProvider.h"
#include "MarrowickKit/Providers/KumaProvider.h"
#include "MarrowickKit/Providers/TCPPortProvider.h"

#include <utility>

namespace marrowick {

std::unique_ptr<SourceProvider> ProviderRegistry::makeProvider(const AnySourceConfig &config,
                                                               CredentialStoreHandle credentials)
{
    switch (config.kind()) {
    case SourceKind::kuma:
        return std::make_unique<KumaProvider>(config, std::move(credentials));
    case SourceKind::beszel:
        return std::make_unique<BeszelProvider>(config, std::move(credentials));
    case SourceKind::gameServer:
        return std::make_unique<GameServerProvider>(config, std::move(credentials));
    case SourceKind::httpPing:
        return std::make_unique<HTTPPingProvider>(config, std::move(credentials));
    case SourceKind::tcpPort:
        return std::make_unique<TCPPortProvider>(config, std::move(credentials));
    case SourceKind::jsonWidget:
        return std::make_unique<JSONWidgetProvider>(config, std::move(credentials));
    }
    // A kind outside the enumeration can only come from a corrupted value.
    throw ProviderError::misconfigured(QStringLiteral("unsupported source"));
}

} // namespace marrowick
