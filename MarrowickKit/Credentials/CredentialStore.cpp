#include "MarrowickKit/Credentials/CredentialStore.h"

#include "MarrowickKit/Model/ProviderError.h"

namespace marrowick {

CredentialError::CredentialError(Kind kind, qint32 code, QString message)
    : m_kind(kind), m_code(code), m_message(std::move(message)), m_what(errorDescription().toStdString())
{
}

CredentialError CredentialError::unexpectedStatus(qint32 code, QString message)
{
    return CredentialError(Kind::unexpectedStatus, code, std::move(message));
}

CredentialError CredentialError::timedOut()
{
    return CredentialError(Kind::timedOut);
}

CredentialError CredentialError::noService()
{
    return CredentialError(Kind::noService);
}

CredentialError CredentialError::locked()
{
    return CredentialError(Kind::locked);
}

CredentialError CredentialError::refused()
{
    return CredentialError(Kind::refused);
}

CredentialError CredentialError::noKeyring()
{
    return CredentialError(Kind::noKeyring);
}

QString CredentialError::message(const QString &retry) const
{
    switch (m_kind) {
    case Kind::timedOut:
        return QStringLiteral("keyring prompt open: answer it, then ") + retry;
    case Kind::noService:
        return QStringLiteral("no keyring service: start one, then ") + retry;
    case Kind::locked:
        return QStringLiteral("keyring locked: ") + retry + QStringLiteral(" and unlock it when asked");
    case Kind::refused:
        return QStringLiteral("keyring refused: ") + retry + QStringLiteral(" and allow it when asked");
    case Kind::noKeyring:
        return QStringLiteral("no keyring yet: ") + retry + QStringLiteral(" and create one when asked");
    case Kind::unexpectedStatus:
        break;
    }
    if (!m_message.isEmpty())
        return QStringLiteral("keyring error: ") + m_message;
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
