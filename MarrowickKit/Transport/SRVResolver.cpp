#include "MarrowickKit/Transport/SRVResolver.h"

#include <QHostAddress>

namespace marrowick {

bool isHostName(const QString &text)
{
    return !text.isEmpty() && !QHostAddress().setAddress(text);
}

QCoro::Task<std::optional<SRVRecord>> NoSRVResolver::resolve(QString, CancelToken) const
{
    co_return std::nullopt;
}

} // namespace marrowick
