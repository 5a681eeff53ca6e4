#include "MarrowickKit/Transport/SRVResolver.h"

#include "MarrowickKit/Transport/HostAddressText.h"

namespace marrowick {

bool isHostName(const QString &text)
{
    return !text.isEmpty() && !hostAddress(text);
}

QCoro::Task<std::optional<SRVRecord>> NoSRVResolver::resolve(QString, CancelToken) const
{
    co_return std::nullopt;
}

} // namespace marrowick
