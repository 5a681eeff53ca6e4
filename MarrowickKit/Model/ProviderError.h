#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

namespace marrowick {

// The error of a failed poll. Its description is exactly what the user sees for that poll.
class ProviderError : public std::exception {
public:
    // noNetwork: this computer could not send (no route, no network); the target was never
    // asked, so the failure counts against no target.
    enum class Kind { missingCredential, misconfigured, upstream, noNetwork };

    static ProviderError missingCredential(const QString &referenceName);
    static ProviderError misconfigured(const QString &message);
    static ProviderError upstream(const QString &message);
    static ProviderError noNetwork(const QString &message);

    Kind kind() const { return m_kind; }
    // The reference name for missingCredential, the message otherwise.
    const QString &payload() const { return m_payload; }
    QString description() const;
    QString errorDescription() const { return description(); }
    const char *what() const noexcept override { return m_what.constData(); }

    bool operator==(const ProviderError &other) const
    {
        return m_kind == other.m_kind && m_payload == other.m_payload;
    }

private:
    ProviderError(Kind kind, QString payload);

    Kind m_kind;
    QString m_payload;
    QByteArray m_what;
};

// The port as 16 bits when it lies in 1...65535; otherwise throws misconfigured
// "<label> <port> out of range (1-65535)".
quint16 validatePort(qint64 port, const QString &label);

} // namespace marrowick
