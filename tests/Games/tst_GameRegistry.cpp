#include "MarrowickKit/Games/GameRegistry.h"

#include <QRegularExpression>
#include <QSet>
#include <QTest>

using namespace marrowick;
using Engine = GameDefinition::Engine;
using CredentialUse = GameDefinition::CredentialUse;

class tst_GameRegistry : public QObject {
    Q_OBJECT

private slots:
    void tableShape()
    {
        const auto &all = GameRegistry::all();
        QCOMPARE(all.size(), 42);
        QCOMPARE(all.first().id(), GameRegistry::defaultGameID());
        QCOMPARE(all.last().id(), QStringLiteral("a2s-custom"));
        QSet<QString> ids;
        const QRegularExpression idForm(QStringLiteral("^[a-z0-9]+(-[a-z0-9]+)*$"));
        for (const auto &game : all) {
            QVERIFY2(idForm.match(game.id()).hasMatch(), qPrintable(game.id()));
            QVERIFY2(!ids.contains(game.id()), qPrintable(game.id()));
            ids.insert(game.id());
            QVERIFY(!game.setupNote() || !game.setupNote()->isEmpty());
            QVERIFY(game.playerCountInKeywords() == (game.id() == QLatin1String("rust")));
        }
        QCOMPARE(&GameRegistry::all(), &all);
    }

    void rows_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("displayName");
        QTest::addColumn<Engine>("engine");
        QTest::addColumn<qint64>("port");
        QTest::addColumn<QList<qint64>>("offsets");
        QTest::addColumn<qint64>("fixedPort"); // 0: absent
        QTest::addColumn<bool>("queriesPlayers");
        QTest::addColumn<QString>("note"); // empty: absent

        QTest::newRow("minecraft-java") << "minecraft-java" << "Minecraft (Java)" << Engine::minecraftSLP
                                        << qint64(25565) << QList<qint64>{0} << qint64(0) << true
                                        << "Player names come from an optional sample. Many servers do not send it.";
        QTest::newRow("redm") << "redm" << "RedM (RDR 2)" << Engine::fivemHTTP << qint64(30120) << QList<qint64>{}
                              << qint64(0) << true
                              << "A current server hides the player names. The player count stays correct.";
        QTest::newRow("ark") << "ark-survival-evolved" << "ARK: Survival Evolved" << Engine::a2s << qint64(7777)
                             << QList<qint64>{} << qint64(27015) << true << "";
        QTest::newRow("v-rising") << "v-rising" << "V Rising" << Engine::a2s << qint64(9876) << QList<qint64>{1, 15}
                                  << qint64(0) << true << "";
        QTest::newRow("garrys-mod") << "garrys-mod" << "Garry's Mod" << Engine::a2s << qint64(27015)
                                    << QList<qint64>{0} << qint64(0) << true << "";
        QTest::newRow("dont-starve") << "dont-starve-together" << "Don't Starve Together" << Engine::a2s
                                     << qint64(10999) << QList<qint64>{} << qint64(27016) << true << "";
        QTest::newRow("arma-reforger")
            << "arma-reforger" << "Arma Reforger" << Engine::a2s << qint64(2001) << QList<qint64>{} << qint64(17777)
            << false << "Turn on the a2s block in the server config. Arma Reforger sends no player data.";
        QTest::newRow("avorion") << "avorion" << "Avorion" << Engine::a2s << qint64(27000) << QList<qint64>{20}
                                 << qint64(0) << true << "";
        QTest::newRow("tshock") << "terraria-tshock" << "Terraria (TShock)" << Engine::tshockREST << qint64(7878)
                                << QList<qint64>{} << qint64(0) << true
                                << "Needs the TShock mod with the REST interface on. The port is the REST port, "
                                   "not the game port.";
    }

    void rows()
    {
        QFETCH(QString, id);
        const auto game = GameRegistry::game(id);
        QVERIFY(game);
        QTEST(game->displayName(), "displayName");
        QTEST(game->engine(), "engine");
        QTEST(game->defaultPort(), "port");
        QTEST(game->queryPortOffsets(), "offsets");
        QFETCH(qint64, fixedPort);
        QCOMPARE(game->fixedQueryPort(), fixedPort ? std::optional<qint64>(fixedPort) : std::nullopt);
        QTEST(game->queriesPlayers(), "queriesPlayers");
        QFETCH(QString, note);
        QCOMPARE(game->setupNote(), note.isEmpty() ? std::nullopt : std::optional<QString>(note));
    }

    void lookupIsExact_data()
    {
        QTest::addColumn<QString>("id");
        QTest::newRow("wrong case") << "Rust";
        QTest::newRow("empty") << "";
        QTest::newRow("prefix") << "minecraft";
        QTest::newRow("trailing blank") << "rust ";
    }

    void lookupIsExact()
    {
        QFETCH(QString, id);
        QVERIFY(!GameRegistry::game(id));
    }

    void engineProperties_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("rawValue");
        QTest::addColumn<CredentialUse>("credentialUse");
        QTest::addColumn<bool>("usesQueryPort");
        QTest::addColumn<bool>("usesHTTP");
        QTest::addColumn<QString>("familyName");

        QTest::newRow("java") << "minecraft-java" << "minecraftSLP" << CredentialUse::none << false << false
                              << "Minecraft";
        QTest::newRow("bedrock") << "minecraft-bedrock" << "bedrockPing" << CredentialUse::none << false << false
                                 << "Minecraft";
        QTest::newRow("steam") << "rust" << "a2s" << CredentialUse::none << true << false << "Steam Query";
        QTest::newRow("palworld") << "palworld" << "palworldREST" << CredentialUse::required << false << true
                                  << "Web API";
        QTest::newRow("fivem") << "fivem" << "fivemHTTP" << CredentialUse::optional << false << true << "Web API";
        QTest::newRow("tshock") << "terraria-tshock" << "tshockREST" << CredentialUse::none << false << true
                                << "Web API";
    }

    void engineProperties()
    {
        QFETCH(QString, id);
        QFETCH(QString, rawValue);
        const auto game = GameRegistry::game(id);
        QVERIFY(game);
        QCOMPARE(GameDefinition::rawValue(game->engine()), rawValue);
        QCOMPARE(GameDefinition::engineFromRawValue(rawValue), game->engine());
        QTEST(game->credentialUse(), "credentialUse");
        QTEST(game->usesQueryPort(), "usesQueryPort");
        QTEST(game->usesHTTP(), "usesHTTP");
        QTEST(game->familyName(), "familyName");
    }

    void engineRawValueIsExact_data()
    {
        QTest::addColumn<QString>("rawValue");
        QTest::newRow("upper case") << "A2S";
        QTest::newRow("empty") << "";
        QTest::newRow("padded") << " a2s";
    }

    void engineRawValueIsExact()
    {
        QFETCH(QString, rawValue);
        QVERIFY(!GameDefinition::engineFromRawValue(rawValue));
    }
};

QTEST_GUILESS_MAIN(tst_GameRegistry)
#include "tst_GameRegistry.moc"
