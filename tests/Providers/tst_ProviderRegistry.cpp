#include "MarrowickKit/Providers/BeszelProvider.h"
#include "MarrowickKit/Games/GameServerProvider.h"
#include "MarrowickKit/Providers/HTTPPingProvider.h"
#include "MarrowickKit/Credentials/InMemoryCredentialStore.h"
#include "MarrowickKit/Providers/JSONWidgetProvider.h"
#include "MarrowickKit/Providers/KumaProvider.h"
#include "MarrowickKit/Providers/ProviderRegistry.h"
#include "MarrowickKit/Providers/TCPPortProvider.h"
#include "MarrowickKit/Transport/BoundedHTTPClient.h"

#include "support/LocalHTTPServer.h"
#include "support/TestSupport.h"

#include <QTest>
#include <QTimer>

#include <map>
#include <typeinfo>

using namespace marrowick;
using test::LocalHTTPServer;

Q_DECLARE_METATYPE(marrowick::AnySourceConfig)

namespace {

// A source of each kind against one local server; secrets under "ref-1".
AnySourceConfig configFor(const QString &kind, const QString &url, quint16 port)
{
    const QUuid id = QUuid::createUuid();
    const std::map<QString, AnySourceConfig> configs{
        {"kuma", KumaConfig(id, "Kuma", url, std::nullopt, std::nullopt, QStringLiteral("home"))},
        {"beszel", BeszelConfig(id, "Hub", url, "ref-1")},
        {"gameServer", GameServerConfig(id, "Pals", "palworld", "127.0.0.1", port, std::nullopt,
                                        QStringLiteral("ref-1"), false)},
        {"httpPing", HTTPPingConfig(id, "Site", url)},
        {"tcpPort", TCPPortConfig(id, "Port", "127.0.0.1", port)},
        {"jsonWidget", JSONWidgetConfig(id, "Router", url, std::nullopt, {})}};
    return configs.at(kind);
}

} // namespace

class tst_ProviderRegistry : public QObject {
    Q_OBJECT

private slots:
    void eachCaseGetsItsProvider_data()
    {
        QTest::addColumn<AnySourceConfig>("config");
        QTest::addColumn<QByteArray>("providerType");

        const QUuid id = QUuid::createUuid();
        QTest::newRow("kuma") << AnySourceConfig(KumaConfig(id, "Kuma", "http://127.0.0.1:1", std::nullopt,
                                                            std::nullopt, QStringLiteral("home")))
                              << QByteArray(typeid(KumaProvider).name());
        QTest::newRow("beszel") << AnySourceConfig(BeszelConfig(id, "Beszel", "http://127.0.0.1:1", "beszel-1"))
                                << QByteArray(typeid(BeszelProvider).name());
        QTest::newRow("game server") << AnySourceConfig(GameServerConfig(id, "Pals", "palworld", "127.0.0.1", 1,
                                                                         std::nullopt, std::nullopt, false))
                                     << QByteArray(typeid(GameServerProvider).name());
        QTest::newRow("HTTP ping") << AnySourceConfig(HTTPPingConfig(id, "Site", "http://127.0.0.1:1/"))
                                   << QByteArray(typeid(HTTPPingProvider).name());
        QTest::newRow("TCP port") << AnySourceConfig(TCPPortConfig(id, "SSH", "127.0.0.1", 22))
                                  << QByteArray(typeid(TCPPortProvider).name());
        QTest::newRow("JSON widget") << AnySourceConfig(JSONWidgetConfig(id, "Router", "http://127.0.0.1:1/",
                                                                         std::nullopt, {}))
                                     << QByteArray(typeid(JSONWidgetProvider).name());
        // Values the user may have entered badly are the poll's concern, not the registry's.
        QTest::newRow("kuma, empty URL") << AnySourceConfig(KumaConfig(id, "", "", std::nullopt, std::nullopt,
                                                                       std::nullopt))
                                         << QByteArray(typeid(KumaProvider).name());
        QTest::newRow("game, unknown game and port") << AnySourceConfig(GameServerConfig(
            id, "?", "no-such-game", "", 70000, -1, std::nullopt, true))
                                                     << QByteArray(typeid(GameServerProvider).name());
        QTest::newRow("TCP, port out of range") << AnySourceConfig(TCPPortConfig(id, "SSH", "", -5))
                                                << QByteArray(typeid(TCPPortProvider).name());
        QTest::newRow("JSON widget, not a URL") << AnySourceConfig(JSONWidgetConfig(id, "Router", "not a url",
                                                                                    QStringLiteral(""), {}))
                                                << QByteArray(typeid(JSONWidgetProvider).name());
    }

    void eachCaseGetsItsProvider()
    {
        QFETCH(AnySourceConfig, config);
        QFETCH(QByteArray, providerType);

        std::unique_ptr<SourceProvider> provider;
        QVERIFY(!test::thrownBy([&] {
            provider = ProviderRegistry::makeProvider(config, std::make_shared<InMemoryCredentialStore>());
        }));
        QVERIFY(provider);
        const SourceProvider &made = *provider;
        QCOMPARE(QByteArray(typeid(made).name()), providerType);
    }

    void gameServerProviderKeepsTheConfiguration()
    {
        const GameServerConfig config(QUuid::createUuid(), "Pals", "palworld", "127.0.0.1", 1, std::nullopt,
                                      QStringLiteral("gameServer-1"), false);
        const auto provider = ProviderRegistry::makeProvider(config, std::make_shared<InMemoryCredentialStore>());
        const auto *gameProvider = dynamic_cast<const GameServerProvider *>(provider.get());
        QVERIFY(gameProvider);
        QCOMPARE(gameProvider->config(), config);
    }

    void theStoreHandedInIsTheOneRead()
    {
        LocalHTTPServer server(LocalHTTPServer::fixed(200, R"({"v": "1"})"));
        const JSONWidgetConfig config(QUuid::createUuid(), "Router", server.url().toString(),
                                      QStringLiteral("jsonWidget-1"), {{"Version", "v"}});
        auto empty = std::make_shared<InMemoryCredentialStore>();
        auto filled = std::make_shared<InMemoryCredentialStore>();
        test::await(filled->setSecret("t0ken", "jsonWidget-1"));

        const auto withoutSecret = ProviderRegistry::makeProvider(config, empty);
        QCOMPARE(test::errorText([&] { test::await(withoutSecret->fetch()); }),
                 QStringLiteral("missing credential: jsonWidget-1"));
        QCOMPARE(server.requests().size(), 0);

        const auto withSecret = ProviderRegistry::makeProvider(config, filled);
        const auto snapshot = test::await(withSecret->fetch());
        QCOMPARE(snapshot.widgets.size(), 1);
        QCOMPARE(server.requests().size(), 1);
        QCOMPARE(server.requests()[0].header("Authorization"), QByteArray("Bearer t0ken"));
    }

    // Whatever a provider is waiting for, a cancelled poll ends with the cancellation itself,
    // never with a failure text or a "down" widget.
    void cancellationPassesThroughEveryProvider_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("whileWaiting"); // else: cancelled before the poll starts
        for (const char *kind : {"kuma", "beszel", "gameServer", "httpPing", "tcpPort", "jsonWidget"}) {
            QTest::addRow("%s, before", kind) << QString::fromLatin1(kind) << false;
            // A local connect completes at once, so a port check has nothing to wait for.
            if (QByteArray(kind) != "tcpPort")
                QTest::addRow("%s, while waiting", kind) << QString::fromLatin1(kind) << true;
        }
    }

    void cancellationPassesThroughEveryProvider()
    {
        QFETCH(QString, kind);
        QFETCH(bool, whileWaiting);
        CancelSource cancel;
        if (!whileWaiting)
            cancel.cancel();
        // Never answers; cancels the poll once a request has arrived. The context object drops
        // the timers of requests that arrive after this row has ended.
        QObject context;
        LocalHTTPServer server([&](const test::ReceivedRequest &, QTcpSocket *) {
            QTimer::singleShot(0, &context, [&cancel] { cancel.cancel(); });
        });
        const QString url = server.url().toString();
        auto store = std::make_shared<InMemoryCredentialStore>();
        test::await(store->setSecret("secret", "ref-1"));
        const auto provider = ProviderRegistry::makeProvider(configFor(kind, url, server.port()), store);

        const auto thrown = test::thrownBy([&] { test::await(provider->fetch(cancel.token())); });

        QVERIFY(thrown);
        QVERIFY(isCancellation(thrown));
        QCOMPARE(server.requests().isEmpty(), !whileWaiting);
    }

    // A body that its Content-Encoding cannot decode fails the poll of every kind that reads
    // the body, instead of passing as an empty document ("0 systems", "—" fields). A ping is
    // judged by its head alone and never reads the body, so its check stays up.
    void undecodableBodyFailsThePoll_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("encoding");
        for (const char *kind : {"kuma", "beszel", "jsonWidget", "httpPing"}) {
            QTest::addRow("%s, gzip", kind) << QString::fromLatin1(kind) << QByteArray("gzip");
            QTest::addRow("%s, deflate", kind) << QString::fromLatin1(kind) << QByteArray("deflate");
        }
    }

    void undecodableBodyFailsThePoll()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, encoding);
        LocalHTTPServer server(LocalHTTPServer::fixed(200, R"({"items": [], "heartbeatList": {}})",
                                                      {{"Content-Encoding", encoding}}));
        auto store = std::make_shared<InMemoryCredentialStore>();
        test::await(store->setSecret("secret", "ref-1"));
        const auto provider = ProviderRegistry::makeProvider(configFor(kind, server.url().toString(), server.port()), store);

        SourceSnapshot snapshot;
        const QString error = test::errorText([&] { snapshot = test::await(provider->fetch()); });

        QVERIFY(!server.requests().isEmpty());
        if (kind == QLatin1String("httpPing")) {
            QCOMPARE(error, QString());
            QCOMPARE(snapshot.widgets.first().get<CheckResult>()->status, ServiceStatus::up);
        } else {
            QCOMPARE(error, BoundedHTTPClient::undecodableBodyMessage());
        }
    }

    void gameServerSecretComesFromTheStore()
    {
        const GameServerConfig config(QUuid::createUuid(), "Pals", "palworld", "127.0.0.1", 1, std::nullopt,
                                      QStringLiteral("gameServer-1"), false);
        const auto provider = ProviderRegistry::makeProvider(config, std::make_shared<InMemoryCredentialStore>());
        QCOMPARE(test::errorText([&] { test::await(provider->fetch()); }),
                 QStringLiteral("missing credential: gameServer-1"));
    }
};

QTEST_GUILESS_MAIN(tst_ProviderRegistry)
#include "tst_ProviderRegistry.moc"
