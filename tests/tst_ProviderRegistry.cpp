#include "MarrowickKit/GameServerProvider.h"
#include "MarrowickKit/InMemoryCredentialStore.h"
#include "MarrowickKit/ProviderRegistry.h"

#include "support/TestSupport.h"

#include <QTest>

using namespace marrowick;

class tst_ProviderRegistry : public QObject {
    Q_OBJECT

private slots:
    void gameServerSourceGetsTheGameServerProvider()
    {
        const GameServerConfig config(QUuid::createUuid(), "Pals", "palworld", "127.0.0.1", 1, std::nullopt,
                                      QStringLiteral("gameServer-1"), false);
        auto store = std::make_shared<InMemoryCredentialStore>();
        const auto provider = ProviderRegistry::makeProvider(config, store);
        const auto *gameProvider = dynamic_cast<const GameServerProvider *>(provider.get());
        QVERIFY(gameProvider);
        QCOMPARE(gameProvider->config(), config);
    }

    void theStoreHandedInIsTheOneRead()
    {
        const GameServerConfig config(QUuid::createUuid(), "Pals", "palworld", "127.0.0.1", 1, std::nullopt,
                                      QStringLiteral("gameServer-1"), false);
        auto empty = std::make_shared<InMemoryCredentialStore>();
        auto filled = std::make_shared<InMemoryCredentialStore>();
        test::await(filled->setSecret("pw", "gameServer-1"));

        const auto withoutSecret = ProviderRegistry::makeProvider(config, empty);
        QCOMPARE(test::errorText([&] { test::await(withoutSecret->fetch()); }),
                 QStringLiteral("missing credential: gameServer-1"));
        // With the secret the poll gets past the lookup to the network, whatever that answers.
        const auto withSecret = ProviderRegistry::makeProvider(config, filled);
        QCOMPARE(test::await(withSecret->fetch()).widgets.size(), 1);
    }
};

QTEST_GUILESS_MAIN(tst_ProviderRegistry)
#include "tst_ProviderRegistry.moc"
