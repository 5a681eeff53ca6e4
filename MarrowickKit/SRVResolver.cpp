#include "MarrowickKit/SRVResolver.h"

namespace marrowick {

QCoro::Task<std::optional<SRVRecord>> NoSRVResolver::resolve(QString, double, CancelToken) const
{
    co_return std::nullopt;
}

} // namespace marrowick
