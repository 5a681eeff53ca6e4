#include "MarrowickKit/Engine/SourceProvider.h"

namespace marrowick {

ProviderError wrongConfigError(SourceKind expected)
{
    return ProviderError::misconfigured(QStringLiteral("expected %1 config").arg(AnySourceConfig::typeID(expected)));
}

} // namespace marrowick
