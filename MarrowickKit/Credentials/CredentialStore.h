#pragma once

#include <QString>

#include <QCoro/QCoroTask>

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace marrowick {

// The failures of the keychain-backed store; the text is what the user sees.
class CredentialError : public std::exception {
public:
    enum class Kind { unexpectedStatus, timedOut };

    static CredentialError unexpectedStatus(qint32 code);
    static CredentialError timedOut();

    Kind kind() const { return m_kind; }
    qint32 code() const { return m_code; }
    QString errorDescription() const;
    const char *what() const noexcept override { return m_what.c_str(); }

    bool operator==(const CredentialError &other) const
    {
        return m_kind == other.m_kind && (m_kind == Kind::timedOut || m_code == other.m_code);
    }

private:
    CredentialError(Kind kind, qint32 code);

    Kind m_kind;
    qint32 m_code;
    std::string m_what;
};

// Secrets by reference name. The configurations hold only the names; providers ask for the
// secret while they poll. Every operation may suspend and may fail.
class CredentialStore {
public:
    virtual ~CredentialStore() = default;

    // Nothing when no secret is stored under the name (an empty text is a secret).
    virtual QCoro::Task<std::optional<QString>> secret(QString referenceName) = 0;
    virtual QCoro::Task<void> setSecret(QString secret, QString referenceName) = 0;
    // Succeeds also when nothing is stored under the name.
    virtual QCoro::Task<void> removeSecret(QString referenceName) = 0;

    // The secret, or ProviderError::missingCredential(referenceName) when none is stored.
    QCoro::Task<QString> require(QString referenceName);
};

using CredentialStoreHandle = std::shared_ptr<CredentialStore>;

} // namespace marrowick
