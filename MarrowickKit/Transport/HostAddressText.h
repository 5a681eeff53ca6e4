#pragma once

#include <QHostAddress>
#include <QString>

#include <optional>

namespace marrowick {

// `host` without the brackets a URL puts around an IPv6 address ("[::1]" gives "::1"); any
// other text as it is.
QString unbracketedHost(const QString &host);

// The IP address a host text names, if it names one: "192.0.2.7", "2001:db8::5", "[::1]",
// "fe80::1%eth0" or "[fe80::1%eth0]", the zone after the "%" as the system names the
// interface. A host name gives nothing.
std::optional<QHostAddress> hostAddress(const QString &host);

} // namespace marrowick
