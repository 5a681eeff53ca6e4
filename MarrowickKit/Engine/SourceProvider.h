#pragma once

#include "MarrowickKit/Model/AnySourceConfig.h"
#include "MarrowickKit/Async/Cancellation.h"
#include "MarrowickKit/Model/ProviderError.h"
#include "MarrowickKit/Credentials/CredentialStore.h"
#include "MarrowickKit/Model/SourceSnapshot.h"

#include <QCoro/QCoroTask>

#include <functional>
#include <memory>

namespace marrowick {

// Reads one source. A provider is built for one poll (it reads no secret and touches no
// network when built) and bounds the time and size of its own work. `fetch` throws
// ProviderError for a failed poll; when `cancel` fires it stops at once with
// CancellationError. The provider must outlive the task that `fetch` returns.
class SourceProvider {
public:
    virtual ~SourceProvider() = default;
    virtual QCoro::Task<SourceSnapshot> fetch(CancelToken cancel = {}) = 0;
};

// Builds the provider for a source's case; may throw what the provider's constructor throws.
using ProviderFactory =
    std::function<std::unique_ptr<SourceProvider>(const AnySourceConfig &config, CredentialStoreHandle credentials)>;

// The error a provider's constructor throws for a configuration of another case:
// "expected <case> config".
ProviderError wrongConfigError(SourceKind expected);

// The configuration of case `Config` that a provider's constructor reads; throws
// wrongConfigError(expected) for any other case.
template<typename Config>
const Config &requireConfig(const AnySourceConfig &config, SourceKind expected)
{
    const auto *found = config.get<Config>();
    if (!found)
        throw wrongConfigError(expected);
    return *found;
}

} // namespace marrowick
