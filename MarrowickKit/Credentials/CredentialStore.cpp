#include "MarrowickKit/Credentials/CredentialStore.h"

#include "MarrowickKit/Model/ProviderError.h"

namespace marrowick {

CredentialError::CredentialError(Kind kind, qint32 code)
    : m_kind(kind), m_code(code), m_what(errorDescription().toStdString())
{
}

CredentialError CredentialError::unexpectedStatus(qint32 code)
{
    return CredentialError(Kind::unexpectedStatus, code);
}

CredentialError CredentialError::timedOut()
{
    return CredentialError(Kind::timedOut, 0);
}

QString CredentialError::errorDescription() const
{
    if (m_kind == Kind::timedOut) {
        return QStringLiteral(
            "credential unavailable: keychain request timed out (a system prompt may be waiting for a response)");
    }
    return QStringLiteral("Keychain error ") + QString::number(m_code);
}

QCoro::Task<QString> CredentialStore::require(QString referenceName)
{
    auto stored = co_await secret(referenceName);
    if (!stored)
        throw ProviderError::missingCredential(referenceName);
    co_return *stored;
}

} // namespace marrowick
