#include "MarrowickKit/Credentials/InMemoryCredentialStore.h"

namespace marrowick {

QCoro::Task<std::optional<QString>> InMemoryCredentialStore::secret(QString referenceName)
{
    const auto it = m_secrets.constFind(referenceName);
    if (it == m_secrets.constEnd())
        co_return std::nullopt;
    co_return *it;
}

QCoro::Task<void> InMemoryCredentialStore::setSecret(QString secret, QString referenceName)
{
    m_secrets.insert(referenceName, secret);
    co_return;
}

QCoro::Task<void> InMemoryCredentialStore::removeSecret(QString referenceName)
{
    m_secrets.remove(referenceName);
    co_return;
}

} // namespace marrowick
