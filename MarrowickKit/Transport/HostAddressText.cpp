#include "MarrowickKit/Transport/HostAddressText.h"

namespace marrowick {

QString unbracketedHost(const QString &host)
{
    if (host.size() > 2 && host.front() == u'[' && host.back() == u']' && host.contains(u':'))
        return host.sliced(1, host.size() - 2);
    return host;
}

std::optional<QHostAddress> hostAddress(const QString &host)
{
    QHostAddress address;
    if (!address.setAddress(unbracketedHost(host)))
        return std::nullopt;
    return address;
}

} // namespace marrowick
