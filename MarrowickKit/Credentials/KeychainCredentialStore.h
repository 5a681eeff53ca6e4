#pragma once

#include "MarrowickKit/Credentials/CredentialStore.h"

namespace marrowick {

// Secrets in the desktop's own keyring (the Secret Service, or whatever QtKeychain finds), one
// item per reference name under the store's service name. A keyring call may wait on an unlock
// prompt, so every call is raced against the prompt time-out; a call that loses still finishes
// in the keyring later, and its result is dropped.
class KeychainCredentialStore : public CredentialStore {
public:
    static constexpr double defaultPromptTimeout = 60.0;

    explicit KeychainCredentialStore(QString service, double promptTimeout = defaultPromptTimeout);

    const QString &service() const { return m_service; }

    QCoro::Task<std::optional<QString>> secret(QString referenceName) override;
    QCoro::Task<void> setSecret(QString secret, QString referenceName) override;
    QCoro::Task<void> removeSecret(QString referenceName) override;

private:
    struct JobResult {
        int error = 0;
        QByteArray data;
    };

    QCoro::Task<JobResult> run(class QObject *job) const;

    QString m_service;
    double m_promptTimeout;
};

} // namespace marrowick
