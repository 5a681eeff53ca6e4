#pragma once

#include "MarrowickKit/Credentials/CredentialStore.h"

#include <QHash>

namespace marrowick {

// Secrets held in memory only: for the editor's connection test, which must use a typed secret
// before anything is saved, and for tests.
class InMemoryCredentialStore : public CredentialStore {
public:
    QCoro::Task<std::optional<QString>> secret(QString referenceName) override;
    QCoro::Task<void> setSecret(QString secret, QString referenceName) override;
    QCoro::Task<void> removeSecret(QString referenceName) override;

    const QHash<QString, QString> &secrets() const { return m_secrets; }

private:
    QHash<QString, QString> m_secrets;
};

} // namespace marrowick
