#include "MarrowickKit/Transport/NetworkErrors.h"

#include <QCoreApplication>

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
