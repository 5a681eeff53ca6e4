#pragma once

#include "MarrowickKit/Model/AnySourceConfig.h"
#include "MarrowickKit/Credentials/CredentialStore.h"
#include "MarrowickKit/Engine/SourceProvider.h"

#include <memory>

namespace marrowick {

// The one place that knows which provider reads which kind of source. The poll engine builds
// a provider through it for every poll, the editor's connection test does the same.
class ProviderRegistry {
public:
    ProviderRegistry() = delete;

    // Hands the configuration and the store to the provider of the configuration's case; what
    // that constructor throws passes through.
    static std::unique_ptr<SourceProvider> makeProvider(const AnySourceConfig &config,
                                                        CredentialStoreHandle credentials);
};

} // namespace marrowick
