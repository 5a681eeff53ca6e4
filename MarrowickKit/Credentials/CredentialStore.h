#pragma once

#include <QString>

#include <QCoro/QCoroTask>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

class QObject;

namespace marrowick {

// The failures of the keychain-backed store. Each text names the cause and what the user does
// about it; the popup shows it as it stands, the editor with its own next step.
class CredentialError : public std::exception {
public:
    enum class Kind {
        unexpectedStatus, // a failure the store cannot tell more about
        timedOut, // no answer within the prompt time-out: a prompt left open, or a keyring stuck
        noService, // no keyring service on the session bus (or no session bus at all)
        locked, // the keyring stayed locked: its unlock prompt was declined or could not be shown
        refused, // the keyring refused access
        noKeyring, // there is no keyring yet: its creation was declined
    };

    static CredentialError unexpectedStatus(qint32 code, QString message = {});
    static CredentialError timedOut();
    static CredentialError noService();
    static CredentialError locked();
    static CredentialError refused();
    static CredentialError noKeyring();

    Kind kind() const { return m_kind; }
    qint32 code() const { return m_code; }
    // The text of a failed poll: its step is a refresh.
    QString errorDescription() const { return message(QStringLiteral("refresh")); }
    // The text where the next step is `retry` ("save again", "test again").
    QString message(const QString &retry) const;
    const char *what() const noexcept override { return m_what.c_str(); }

    bool operator==(const CredentialError &other) const
    {
        return m_kind == other.m_kind && m_code == other.m_code && m_message == other.m_message;
    }

private:
    CredentialError(Kind kind, qint32 code = 0, QString message = {});

    Kind m_kind;
    qint32 m_code;
    QString m_message;
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

    // The user acted (a refresh, a save, a connection test): a keyring whose prompt was
    // declined is asked again by the next operation. Stores that never ask anyone ignore it.
    virtual void askAgain() {}

    // Calls `usable`, for as long as `context` lives, whenever the store may now answer without
    // asking anyone what it could not before: a keyring unlocked by any program, a keyring
    // service that appeared. Stores that never refuse never call it.
    virtual void watchAvailability(QObject * /*context*/, std::function<void()> /*usable*/) {}

    // The secret, or ProviderError::missingCredential(referenceName) when none is stored.
    QCoro::Task<QString> require(QString referenceName);
};

using CredentialStoreHandle = std::shared_ptr<CredentialStore>;

} // namespace marrowick
