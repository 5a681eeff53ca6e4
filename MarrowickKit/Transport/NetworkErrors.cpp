#include "MarrowickKit/Transport/NetworkErrors.h"

#include <QCoreApplication>
#include <QNetworkInterface>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <optional>

namespace marrowick {

namespace {

const QString timedOutText = QStringLiteral("timed out");
const QString refusedText = QStringLiteral("connection refused");
const QString unreachableText = QStringLiteral("host unreachable");
const QString notFoundText = QStringLiteral("host not found");
const QString closedText = QStringLiteral("connection closed");
const QString noRouteText = QStringLiteral("no route from this computer");
const QString noNetworkText = QStringLiteral("no network on this computer");

struct KnownText {
    const char *english;
    const QString *meaning;
};

// Qt folds several errno values into one generic socket error and keeps the difference only
// in its error text (from its native socket engine, or the C library's strerror). Match both,
// in English and in whatever translation is loaded.
const std::array<KnownText, 7> knownSocketTexts{{
    {"Connection timed out", &timedOutText},
    {"Connection refused", &refusedText},
    {"Host unreachable", &unreachableText},
    {"Network unreachable", &unreachableText},
    {"No route to host", &unreachableText},
    {"Host is down", &unreachableText},
    {"Network is unreachable", &unreachableText},
}};

std::optional<QString> meaningOfText(const QString &errorString)
{
    for (const auto &known : knownSocketTexts) {
        const QString translated = QCoreApplication::translate("QNativeSocketEngine", known.english);
        if (errorString.contains(QLatin1String(known.english), Qt::CaseInsensitive)
            || errorString.contains(translated, Qt::CaseInsensitive))
            return *known.meaning;
    }
    return std::nullopt;
}

ProviderError byTextOr(const QString &errorString, const QString &fallback)
{
    return ProviderError::upstream(meaningOfText(errorString).value_or(fallback));
}

} // namespace

ProviderError timedOutError()
{
    return ProviderError::upstream(timedOutText);
}

ProviderError noRouteError()
{
    return ProviderError::noNetwork(noRouteText);
}

ProviderError noNetworkError()
{
    return ProviderError::noNetwork(noNetworkText);
}

bool hasRouteTo(const QHostAddress &address)
{
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        auto *target = reinterpret_cast<sockaddr_in *>(&storage);
        target->sin_family = AF_INET;
        target->sin_port = htons(9);
        target->sin_addr.s_addr = htonl(address.toIPv4Address());
        length = sizeof(sockaddr_in);
    } else if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto *target = reinterpret_cast<sockaddr_in6 *>(&storage);
        target->sin6_family = AF_INET6;
        target->sin6_port = htons(9);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&target->sin6_addr, bytes.c, sizeof(bytes.c));
        if (const QString zone = address.scopeId(); !zone.isEmpty()) {
            bool numeric = false;
            const uint index = zone.toUInt(&numeric);
            target->sin6_scope_id = numeric ? index : uint(QNetworkInterface::interfaceIndexFromName(zone));
        }
        length = sizeof(sockaddr_in6);
    } else {
        return true;
    }
    // Connecting a datagram socket only looks the route up: nothing is sent.
    const int descriptor = ::socket(storage.ss_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (descriptor < 0)
        return true;
    const bool unrouted = ::connect(descriptor, reinterpret_cast<const sockaddr *>(&storage), length) != 0
        && errno == ENETUNREACH;
    ::close(descriptor);
    return !unrouted;
}

ProviderError unlessUnrouted(const ProviderError &failure, const QHostAddress &address)
{
    return hasRouteTo(address) ? failure : noRouteError();
}

void keepTellingFailure(std::optional<ProviderError> &kept, const ProviderError &failure)
{
    if (!kept || (kept->kind() == ProviderError::Kind::noNetwork && failure.kind() != ProviderError::Kind::noNetwork))
        kept = failure;
}

ProviderError checkFailure(std::exception_ptr failure)
{
    const ProviderError error = providerError(failure);
    if (error.kind() == ProviderError::Kind::noNetwork)
        throw error;
    return error;
}

ProviderError handshakeError(const QString &reason)
{
    return ProviderError::upstream(QStringLiteral("SSL handshake failed: ") + reason);
}

ProviderError handshakeError(QAbstractSocket::SocketError error, const QString &errorString)
{
    // TLS's own errors keep Qt's words there.
    return handshakeError(providerError(error, errorString).description());
}

ProviderError providerError(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const ProviderError &providerError) {
        return providerError;
    } catch (const std::exception &other) {
        return ProviderError::upstream(QString::fromUtf8(other.what()));
    } catch (...) {
        return ProviderError::upstream(QStringLiteral("unknown error"));
    }
}

ProviderError providerError(QAbstractSocket::SocketError error, const QString &errorString)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return ProviderError::upstream(refusedText);
    case QAbstractSocket::HostNotFoundError:
        return ProviderError::upstream(notFoundText);
    case QAbstractSocket::SocketTimeoutError:
        return ProviderError::upstream(timedOutText);
    case QAbstractSocket::RemoteHostClosedError:
        return ProviderError::upstream(closedText);
    case QAbstractSocket::NetworkError:
    case QAbstractSocket::UnknownSocketError:
    case QAbstractSocket::SocketAccessError:
    case QAbstractSocket::TemporaryError:
        return byTextOr(errorString, errorString);
    default:
        return ProviderError::upstream(errorString);
    }
}

ProviderError providerErrorForErrno(int code)
{
    switch (code) {
    case ETIMEDOUT:
        return ProviderError::upstream(timedOutText);
    case ECONNREFUSED:
        return ProviderError::upstream(refusedText);
    case ENETUNREACH:
    case EHOSTDOWN:
    case EHOSTUNREACH:
        return ProviderError::upstream(unreachableText);
    default:
        return ProviderError::upstream(QString::fromLocal8Bit(std::strerror(code)));
    }
}

} // namespace marrowick
