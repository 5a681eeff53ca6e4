#include "MarrowickKit/Games/GameDefinition.h"

#include <array>

namespace marrowick {

namespace {

constexpr std::array<const char *, 6> engineNames = {"minecraftSLP", "a2s",       "bedrockPing",
                                                     "palworldREST", "fivemHTTP", "tshockREST"};

} // namespace

GameDefinition::GameDefinition(QString id, QString displayName, Engine engine, qint64 defaultPort,
                               QList<qint64> queryPortOffsets, std::optional<qint64> fixedQueryPort,
                               bool queriesPlayers, bool playerCountInKeywords, std::optional<QString> setupNote)
    : m_id(std::move(id)), m_displayName(std::move(displayName)), m_engine(engine), m_defaultPort(defaultPort),
      m_queryPortOffsets(std::move(queryPortOffsets)), m_fixedQueryPort(fixedQueryPort),
      m_queriesPlayers(queriesPlayers), m_playerCountInKeywords(playerCountInKeywords),
      m_setupNote(std::move(setupNote))
{
}

GameDefinition::CredentialUse GameDefinition::credentialUse() const
{
    switch (m_engine) {
    case Engine::palworldREST:
        return CredentialUse::required;
    case Engine::fivemHTTP:
        return CredentialUse::optional;
    default:
        return CredentialUse::none;
    }
}

bool GameDefinition::usesHTTP() const
{
    return m_engine == Engine::palworldREST || m_engine == Engine::fivemHTTP || m_engine == Engine::tshockREST;
}

QString GameDefinition::familyName() const
{
    if (m_engine == Engine::minecraftSLP || m_engine == Engine::bedrockPing)
        return QStringLiteral("Minecraft");
    if (m_engine == Engine::a2s)
        return QStringLiteral("Steam Query");
    return QStringLiteral("Web API");
}

QString GameDefinition::rawValue(Engine engine)
{
    return QString::fromLatin1(engineNames.at(static_cast<std::size_t>(engine)));
}

std::optional<GameDefinition::Engine> GameDefinition::engineFromRawValue(const QString &rawValue)
{
    for (std::size_t i = 0; i < engineNames.size(); ++i) {
        if (rawValue == QLatin1String(engineNames[i]))
            return static_cast<Engine>(i);
    }
    return std::nullopt;
}

} // namespace marrowick
