#pragma once

#include "MarrowickKit/Transport/LookupCache.h"

#include <QHostAddress>
#include <QList>

#include <limits>
#include <memory>

namespace marrowick {

// A host's addresses in the resolver's order, and until when they stand for the name.
struct HostAddresses {
    QList<QHostAddress> addresses;
    // On the lookup's clock; infinite for an address literal, which never moves.
    double validUntil = std::numeric_limits<double>::infinity();
};

// Turns host texts into addresses for every transport. An address literal (a zone included,
// "fe80::1%eth0", in a URL's brackets or not) stands for itself. A name is looked up as the system looks it up (hosts file,
// DNS and the rest), for every address family, whether or not this computer has an address of
// that family beside loopback: a name that only has an IPv4 address still reaches a service on
// this computer or its LAN when the computer keeps only an IPv6 address. Each answer is kept
// for `answerLifetime`; a connection made from it is current as long as the answer is. A
// lookup takes the time the resolver takes: callers start their own time limits once they
// have the addresses. Lives on the application's thread.
class HostLookup {
public:
    static constexpr double answerLifetime = 60.0;

    // Resolves one name (the resolver's own time, no limit of ours); throws ProviderError.
    using Resolve = std::function<QCoro::Task<QList<QHostAddress>>(QString name)>;

    explicit HostLookup(Resolve resolve = systemResolve(), MonotonicClock clock = bootTimeSeconds);

    // Fails with "host not found" for an empty text and for a name without addresses, and with
    // noRouteError() when this computer has no route to any nameserver; throws
    // CancellationError at once when `cancel` fires.
    QCoro::Task<HostAddresses> addresses(QString host, CancelToken cancel = {});
    // The clock of `HostAddresses::validUntil`.
    double now() const { return m_answers.now(); }
    // This computer's network changed: a lookup under way may fail for want of the network as
    // it was, so callers from now on ask afresh. Kept answers stay.
    void networkChanged() { m_answers.startAfresh(); }

    // getaddrinfo on a lookup thread.
    static Resolve systemResolve();

private:
    LookupCache<QList<QHostAddress>> m_answers;
};

// The lookup every transport shares by default, made on first use.
std::shared_ptr<HostLookup> systemHostLookup();
// Tells the system's lookups of names and of SRV records that this computer's network changed.
void systemLookupsNetworkChanged();

} // namespace marrowick
