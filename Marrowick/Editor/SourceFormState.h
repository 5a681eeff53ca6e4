#pragma once

#include "MarrowickKit/Games/GameDefinition.h"
#include "MarrowickKit/Model/AnySourceConfig.h"
#include "MarrowickKit/Transport/RequestURL.h"

#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

namespace marrowick {

// The model behind the add and edit sheet: every field any kind of source can need, as the
// text the user types. Pure: no widget, no store, nothing asynchronous.
struct SourceFormState {
    enum class SourceType { kuma, beszel, gameServer, httpPing, tcpPort, jsonWidget };
    enum class Example { statusPage, website, minecraft };
    using FieldMapping = JSONWidgetConfig::FieldMapping;

    // One heading of the game picker with its games in table order.
    struct GameSection {
        QString title;
        QList<GameDefinition> games;

        bool operator==(const GameSection &) const = default;
    };

    // A field of the form, as a validation message names it.
    enum class Field { baseURL, host, pollSeconds, gameQueryPort };

    // What is wrong with the form, and in which field.
    struct Problem {
        Field field;
        QString message;

        bool operator==(const Problem &) const = default;
    };

    struct HostPort {
        QString host;
        QString port;

        bool operator==(const HostPort &) const = default;
    };

    SourceType type = SourceType::kuma;
    QString displayName;
    QString baseURL;
    QString host;
    bool portEdited = false;
    QString gameID;
    QString gameQueryPort;
    QString username;
    QString statusPageSlug;
    // Typed while the sheet is open; never filled from storage.
    QString secret;
    QList<FieldMapping> jsonFields;
    bool hasStoredSecret = false;
    bool useTLS = false;
    QString pollSeconds;
    bool alertsEnabled = true;
    qint64 alertThreshold = 3;
    // What an edited source already holds and the form has no field for. The stored reference
    // keeps naming the secret the keyring holds (a hand-written file may use any name); the
    // expected status keeps a check that expects 204 or 401 from turning red on a rename.
    std::optional<QString> storedCredentialRef;
    qint64 expectedStatus = 200;

    explicit SourceFormState(SourceType type);
    explicit SourceFormState(const AnySourceConfig &config);
    static SourceFormState exampleForm(Example example);

    const QString &port() const { return m_port; }
    // Every assignment counts as the user's choice, so a later change of game keeps it.
    void setPort(const QString &port);

    bool operator==(const SourceFormState &) const = default;

    // The kinds of source in the order of the type cards.
    static const QList<SourceType> &allTypes();
    static QString rawValue(SourceType type);
    static std::optional<SourceType> typeFromRawValue(const QString &rawValue);
    static SourceType typeOf(const AnySourceConfig &config);
    static QString title(SourceType type);
    static QString subtitle(SourceType type);
    static QString systemImage(SourceType type);
    static int defaultPollSeconds(SourceType type);

    static const QList<Example> &allExamples();
    static QString rawValue(Example example);
    static std::optional<Example> exampleFromRawValue(const QString &rawValue);
    static QString title(Example example);
    static QString subtitle(Example example);
    static QString systemImage(Example example);

    // The JSON widget's field editor: "label = path" lines, both ways.
    static QString fieldLinesText(const QList<FieldMapping> &fields);
    static QList<FieldMapping> parseFieldLines(const QString &text);

    // Validation and building.
    std::optional<Problem> validationProblem() const;
    std::optional<QString> validationMessage() const;
    // What a form without a validation problem still lacks before it can be saved.
    std::optional<QString> missingFieldMessage() const;
    bool isValid() const;
    std::optional<QString> impliedHTTPSURL() const;
    std::optional<HostPort> impliedHostPortSplit() const;
    bool embeddedCredentialInURL() const;
    bool unusableURLScheme() const;
    bool missingHost() const;
    bool hostIsInvalid() const;
    // Why the URL the form would save cannot be polled, once it is not empty.
    std::optional<URLFault> urlFault() const;
    static QString urlFaultMessage(URLFault fault);
    bool schemeIsImplied() const;
    std::optional<double> parsedPollInterval() const;
    static qint64 clampedAlertThreshold(qint64 value);
    static constexpr qint64 alertThresholdMinimum = 1;
    static constexpr qint64 alertThresholdMaximum = 10;
    // The reference the form's secret is stored under and the configuration names.
    std::optional<QString> credentialRef(const QUuid &id) const;
    std::optional<QString> newCredentialRef(const QUuid &id) const;
    std::optional<AnySourceConfig> buildConfig(const QUuid &id) const;

    // The game server.
    std::optional<GameDefinition> game() const;
    GameDefinition::CredentialUse gameCredentialUse() const;
    std::optional<quint16> parsedQueryPort() const;
    bool queryPortIsInvalid() const;
    static QString defaultPort(const QString &gameID);
    // Picks a game: the port follows it until the user set one; a secret survives only a
    // change between games that take the same kind of credential.
    void setGameID(const QString &gameID);
    static QList<GameSection> gameSections(const QString &search, const QString &selected);

    // Example values shown in prompts and messages.
    static inline const QString exampleHost = QStringLiteral("nas.local");
    static inline const QString exampleIPv4 = QStringLiteral("192.168.1.10");
    static inline const QString exampleURL = QStringLiteral("https://status.homelab.local");

private:
    // The URL of the four URL kinds as it will be saved.
    QString urlValue() const;
    // Host and port of the two host kinds, once `isValid` holds.
    QString hostValue() const;
    std::optional<quint16> portValue() const;
    static QString missingHostMessage();

    QString m_port;
};

// A port number: ASCII digits with an optional leading "+" (leading zeros allowed), 1...65535.
std::optional<quint16> parsePortNumber(QStringView text);

// Trims Unicode spaces and tabs only, keeping line breaks.
QString trimmedSpacesAndTabs(const QString &text);

} // namespace marrowick
