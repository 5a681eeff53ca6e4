#include "MarrowickKit/Model/ProviderError.h"

namespace marrowick {

ProviderError::ProviderError(Kind kind, QString payload)
    : m_kind(kind), m_payload(std::move(payload)), m_what(description().toUtf8())
{
}

ProviderError ProviderError::missingCredential(const QString &referenceName)
{
    return ProviderError(Kind::missingCredential, referenceName);
}

ProviderError ProviderError::misconfigured(const QString &message)
{
    return ProviderError(Kind::misconfigured, message);
}

ProviderError ProviderError::upstream(const QString &message)
{
    return ProviderError(Kind::upstream, message);
}

ProviderError ProviderError::noNetwork(const QString &message)
{
    return ProviderError(Kind::noNetwork, message);
}

QString ProviderError::description() const
{
    if (m_kind == Kind::missingCredential)
        return QStringLiteral("missing credential: ") + m_payload;
    return m_payload;
}

quint16 validatePort(qint64 port, const QString &label)
{
    if (port < 1 || port > 65535)
        throw ProviderError::misconfigured(label + QLatin1Char(' ') + QString::number(port)
                                           + QStringLiteral(" out of range (1-65535)"));
    return static_cast<quint16>(port);
}

} // namespace marrowick
