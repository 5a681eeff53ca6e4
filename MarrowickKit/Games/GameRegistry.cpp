#include "MarrowickKit/Games/GameRegistry.h"

namespace marrowick {

namespace {

using Engine = GameDefinition::Engine;

const std::optional<qint64> noFixedPort;
const std::optional<QString> noNote;

QString note(const char *text)
{
    return QString::fromUtf8(text);
}

} // namespace

QString GameRegistry::defaultGameID()
{
    return QStringLiteral("minecraft-java");
}

const QList<GameDefinition> &GameRegistry::all()
{
    // A function-local static is built once, also when first reached from several threads.
    static const QList<GameDefinition> table = makeTable();
    return table;
}

std::optional<GameDefinition> GameRegistry::game(const QString &id)
{
    for (const auto &row : all()) {
        if (row.id() == id)
            return row;
    }
    return std::nullopt;
}

QList<GameDefinition> GameRegistry::makeTable()
{
    const auto row = [](const char *id, const char *name, Engine engine, qint64 port, QList<qint64> offsets,
                        std::optional<qint64> fixedPort, bool queriesPlayers, bool countInKeywords,
                        std::optional<QString> setupNote) {
        return GameDefinition(QString::fromUtf8(id), QString::fromUtf8(name), engine, port, std::move(offsets),
                              fixedPort, queriesPlayers, countInKeywords, std::move(setupNote));
    };
    const auto fivemNote = note("A current server hides the player names. The player count stays correct.");
    const auto a2s = Engine::a2s;
    return {
        row("minecraft-java", "Minecraft (Java)", Engine::minecraftSLP, 25565, {0}, noFixedPort, true, false,
            note("Player names come from an optional sample. Many servers do not send it.")),
        row("minecraft-bedrock", "Minecraft (Bedrock)", Engine::bedrockPing, 19132, {0}, noFixedPort, false, false,
            note("A Bedrock server does not report player names.")),
        row("palworld", "Palworld", Engine::palworldREST, 8212, {}, noFixedPort, true, false,
            note("Set RESTAPIEnabled=True in PalWorldSettings.ini. The password is the server admin password.")),
        row("fivem", "FiveM (GTA V)", Engine::fivemHTTP, 30120, {}, noFixedPort, true, false, fivemNote),
        row("redm", "RedM (RDR 2)", Engine::fivemHTTP, 30120, {}, noFixedPort, true, false, fivemNote),
        row("terraria-tshock", "Terraria (TShock)", Engine::tshockREST, 7878, {}, noFixedPort, true, false,
            note("Needs the TShock mod with the REST interface on. The port is the REST port, not the game port.")),
        row("valheim", "Valheim", a2s, 2456, {1}, noFixedPort, false, false,
            note("Start the server with -public 1. A crossplay server always reports zero players.")),
        row("rust", "Rust", a2s, 28015, {0}, noFixedPort, true, true, noNote),
        row("ark-survival-evolved", "ARK: Survival Evolved", a2s, 7777, {}, 27015, true, false, noNote),
        row("7-days-to-die", "7 Days to Die", a2s, 26900, {1}, noFixedPort, false, false,
            note("Player names need the telnet interface. Marrowick does not use it.")),
        row("project-zomboid", "Project Zomboid", a2s, 16261, {0}, noFixedPort, true, false, noNote),
        row("cs2", "Counter-Strike 2", a2s, 27015, {0}, noFixedPort, true, false,
            note("Counter-Strike 2 hides player names. A server plugin must expose them.")),
        row("csgo-legacy", "CS:GO (legacy branch)", a2s, 27015, {0}, noFixedPort, true, false,
            note("Set host_players_show 2 to read player names.")),
        row("tf2", "Team Fortress 2", a2s, 27015, {0}, noFixedPort, true, false, noNote),
        row("garrys-mod", "Garry's Mod", a2s, 27015, {0}, noFixedPort, true, false, noNote),
        row("left-4-dead-2", "Left 4 Dead 2", a2s, 27015, {0}, noFixedPort, true, false, noNote),
        row("counter-strike-source", "Counter-Strike: Source", a2s, 27015, {0}, noFixedPort, true, false, noNote),
        row("unturned", "Unturned", a2s, 27015, {1}, noFixedPort, true, false, noNote),
        row("conan-exiles", "Conan Exiles", a2s, 7777, {}, 27015, false, false,
            note("Conan Exiles does not answer the player list request.")),
        row("v-rising", "V Rising", a2s, 9876, {1, 15}, noFixedPort, true, false, noNote),
        row("enshrouded", "Enshrouded", a2s, 15636, {}, 15637, true, false, noNote),
        row("barotrauma", "Barotrauma", a2s, 27015, {1}, noFixedPort, true, false, noNote),
        row("core-keeper", "Core Keeper", a2s, 1234, {1}, noFixedPort, true, false, noNote),
        row("dayz", "DayZ", a2s, 2302, {}, 27016, false, false, note("DayZ always sends an empty player list.")),
        row("squad-44", "Squad 44 (Post Scriptum)", a2s, 10037, {0}, noFixedPort, true, false, noNote),
        row("hell-let-loose", "Hell Let Loose", a2s, 27015, {0}, noFixedPort, true, false,
            note("The host assigns the ports. Enter the port that your host gives you.")),
        row("mordhau", "Mordhau", a2s, 7777, {}, 27015, true, false, noNote),
        row("insurgency-sandstorm", "Insurgency: Sandstorm", a2s, 27102, {}, 27131, true, false, noNote),
        row("arma-3", "Arma 3", a2s, 2302, {1}, noFixedPort, true, false, noNote),
        row("arma-reforger", "Arma Reforger", a2s, 2001, {}, 17777, false, false,
            note("Turn on the a2s block in the server config. Arma Reforger sends no player data.")),
        row("space-engineers", "Space Engineers", a2s, 27016, {0}, noFixedPort, true, false, noNote),
        row("killing-floor-2", "Killing Floor 2", a2s, 7777, {}, 27015, true, false, noNote),
        row("sons-of-the-forest", "Sons of the Forest", a2s, 8766, {}, 27016, true, false, noNote),
        row("the-forest", "The Forest", a2s, 27015, {1}, noFixedPort, true, false, noNote),
        row("soulmask", "Soulmask", a2s, 8777, {}, 27015, true, false,
            note("Soulmask reports a fixed version in its status reply.")),
        row("myth-of-empires", "Myth of Empires", a2s, 12888, {0}, noFixedPort, true, false, noNote),
        row("abiotic-factor", "Abiotic Factor", a2s, 27015, {0}, noFixedPort, true, false, noNote),
        row("dont-starve-together", "Don't Starve Together", a2s, 10999, {}, 27016, true, false, noNote),
        row("starbound", "Starbound", a2s, 21025, {0}, noFixedPort, true, false, noNote),
        row("avorion", "Avorion", a2s, 27000, {20}, noFixedPort, true, false, noNote),
        row("icarus", "Icarus", a2s, 27015, {0}, noFixedPort, true, false, noNote),
        row("a2s-custom", "Other (Steam query)", a2s, 27015, {0}, noFixedPort, true, false, noNote),
    };
}

} // namespace marrowick
