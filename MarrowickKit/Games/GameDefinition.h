#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace marrowick {

class GameRegistry;

// One row of the game table. Rows exist only in the table (GameRegistry), so there is no
// public constructor.
class GameDefinition {
public:
    enum class Engine { minecraftSLP, a2s, bedrockPing, palworldREST, fivemHTTP, tshockREST };
    enum class CredentialUse { none, optional, required };

    const QString &id() const { return m_id; }
    const QString &displayName() const { return m_displayName; }
    Engine engine() const { return m_engine; }
    qint64 defaultPort() const { return m_defaultPort; }
    // Added to the game port to form candidate query ports, in the order tried.
    const QList<qint64> &queryPortOffsets() const { return m_queryPortOffsets; }
    const std::optional<qint64> &fixedQueryPort() const { return m_fixedQueryPort; }
    bool queriesPlayers() const { return m_queriesPlayers; }
    bool playerCountInKeywords() const { return m_playerCountInKeywords; }
    const std::optional<QString> &setupNote() const { return m_setupNote; }

    CredentialUse credentialUse() const;
    bool usesQueryPort() const { return m_engine == Engine::a2s; }
    bool usesHTTP() const;
    QString familyName() const;

    // The engine's case name, and the engine of exactly such a name.
    static QString rawValue(Engine engine);
    static std::optional<Engine> engineFromRawValue(const QString &rawValue);

    bool operator==(const GameDefinition &) const = default;

private:
    friend class GameRegistry;
    GameDefinition(QString id, QString displayName, Engine engine, qint64 defaultPort, QList<qint64> queryPortOffsets,
                   std::optional<qint64> fixedQueryPort, bool queriesPlayers, bool playerCountInKeywords,
                   std::optional<QString> setupNote);

    QString m_id;
    QString m_displayName;
    Engine m_engine;
    qint64 m_defaultPort;
    QList<qint64> m_queryPortOffsets;
    std::optional<qint64> m_fixedQueryPort;
    bool m_queriesPlayers;
    bool m_playerCountInKeywords;
    std::optional<QString> m_setupNote;
};

} // namespace marrowick
