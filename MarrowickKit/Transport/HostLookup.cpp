#include "MarrowickKit/Transport/HostLookup.h"

#include "MarrowickKit/Transport/HostAddressText.h"
#include "MarrowickKit/Transport/NetworkErrors.h"

#include <QUrl>

#include <netdb.h>
#include <netinet/in.h>
#include <resolv.h>
#include <sys/socket.h>

namespace marrowick {

namespace {

struct Resolved {
    QList<QHostAddress> addresses;
    QString failure;
    // No nameserver could be asked: this computer has no route to any.
    bool unrouted = false;
};

// Whether this computer has a route to one of the nameservers the C library asks; true where
// it cannot tell.
bool routesToANameserver()
{
    struct __res_state state {};
    if (res_ninit(&state) != 0)
        return true;
    bool routed = state.nscount <= 0;
    for (int i = 0; i < state.nscount && !routed; ++i) {
        // glibc keeps an IPv6 server apart, with an empty IPv4 entry in its place.
        const auto *server = state.nsaddr_list[i].sin_family == AF_INET
            ? reinterpret_cast<const sockaddr *>(&state.nsaddr_list[i])
            : reinterpret_cast<const sockaddr *>(state._u._ext.nsaddrs[i]);
        routed = !server || hasRouteTo(QHostAddress(server));
    }
    res_nclose(&state);
    return routed;
}

// Runs on a lookup thread. Without AI_ADDRCONFIG: with it the C library asks only for the
// families of this computer's non-loopback addresses, and a name of the other family (one from
// the hosts file, say) is "not found".
Resolved resolveBlocking(const QByteArray &name)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const int status = ::getaddrinfo(name.constData(), nullptr, &hints, &found);
    Resolved resolved;
    if (status != 0) {
        resolved.failure = QString::fromLocal8Bit(::gai_strerror(status));
        // Nameservers this computer has no route to fail at once as "temporary", as do ones
        // that did not answer; a name that does not exist (EAI_NONAME) or has no address
        // (EAI_NODATA) was answered, and is the target's.
        resolved.unrouted = status == EAI_AGAIN && !routesToANameserver();
        return resolved;
    }
    for (const addrinfo *entry = found; entry; entry = entry->ai_next) {
        const QHostAddress address(entry->ai_addr);
        if (!address.isNull() && !resolved.addresses.contains(address))
            resolved.addresses.append(address);
    }
    ::freeaddrinfo(found);
    return resolved;
}

ProviderError hostNotFound(const QString &why = {})
{
    return providerError(QAbstractSocket::HostNotFoundError, why);
}

} // namespace

HostLookup::HostLookup(Resolve resolve, MonotonicClock clock)
    : m_answers(std::move(resolve), std::move(clock), answerLifetime)
{
}

HostLookup::Resolve HostLookup::systemResolve()
{
    return [](QString name) -> QCoro::Task<QList<QHostAddress>> {
        // Named: g++ 12 destroys a closure made inside a co_await expression twice.
        std::function<Resolved()> work = [ascii = name.toLatin1()] { return resolveBlocking(ascii); };
        const Resolved resolved = co_await onLookupThread<Resolved>(std::move(work));
        if (resolved.unrouted)
            throw noRouteError();
        if (resolved.addresses.isEmpty())
            throw hostNotFound(resolved.failure);
        co_return resolved.addresses;
    };
}

QCoro::Task<HostAddresses> HostLookup::addresses(QString host, CancelToken cancel)
{
    cancel.throwIfCancelled();
    if (const auto literal = hostAddress(host))
        co_return HostAddresses{{*literal}};
    // The name as DNS spells it (an international name in its ASCII form), which also folds case.
    const QString name = QString::fromLatin1(QUrl::toAce(host));
    if (name.isEmpty())
        throw hostNotFound();
    const auto kept = co_await m_answers.answer(name, cancel);
    co_return HostAddresses{kept.answer, kept.validUntil};
}

} // namespace marrowick
