#include "Marrowick/Settings/UpdateCheck.h"
#include "MarrowickKit/Transport/BoundedHTTPClient.h"

#include "support/FakeHTTPClient.h"
#include "support/LocalHTTPServer.h"
#include "support/VirtualClock.h"

#include <QSignalSpy>
#include <QTest>

using namespace marrowick;

namespace {

const QUrl manifestURL(QStringLiteral("https://tobrin.dev/downloads/marrowick/latest.json"));
const QString manifestPath = QStringLiteral("/downloads/marrowick/latest.json");

// Sends every request to the local server, keeping its path: the manifest address stays the
// real https one, so the checker's own rules apply unchanged.
class LocalRedirect : public HTTPClient {
public:
    explicit LocalRedirect(QUrl server) : m_server(std::move(server)) {}
    QCoro::Task<HTTPResult> data(HTTPRequest request, CancelToken cancel) const override
    {
        QUrl local = m_server;
        local.setPath(request.url.path());
        request.url = local;
        co_return co_await m_client.data(request, cancel);
    }

private:
    QUrl m_server;
    BoundedHTTPClient m_client;
};

QString installed()
{
    return QStringLiteral("1.2.3");
}

} // namespace

class TestUpdateCheck : public QObject {
    Q_OBJECT

private slots:
    void result_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("manifest");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QUrl>("download");
        const QByteArray newer = "{\"version\": \"1.4.0\", \"downloadURL\": \"https://tobrin.dev/m-1.4.0.tar.xz\"}";
        QTest::newRow("newer") << 200 << newer << "Marrowick 1.4.0 Is Available"
                               << QUrl(QStringLiteral("https://tobrin.dev/m-1.4.0.tar.xz"));
        QTest::newRow("same") << 200 << QByteArray("{\"version\": \"1.2.3\", \"downloadURL\": \"https://tobrin.dev/m\"}")
                              << "Marrowick Is Up to Date" << QUrl();
        QTest::newRow("older") << 200 << QByteArray("{\"version\": \"1.0.0\", \"downloadURL\": \"https://tobrin.dev/m\"}")
                               << "Marrowick Is Up to Date" << QUrl();
        QTest::newRow("server error") << 500 << newer << "Couldn't Check for Updates" << QUrl();
        QTest::newRow("plain http download")
            << 200 << QByteArray("{\"version\": \"2.0.0\", \"downloadURL\": \"http://tobrin.dev/m\"}")
            << "Couldn't Check for Updates" << QUrl();
    }

    void result()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, manifest);
        QFETCH(QString, title);
        QFETCH(QUrl, download);
        test::LocalHTTPServer server(test::LocalHTTPServer::fixed(status, manifest));
        UpdateCheck check(manifestURL, std::make_shared<LocalRedirect>(server.url()), &installed);
        QSignalSpy checking(&check, &UpdateCheck::checkingChanged);
        QSignalSpy finished(&check, &UpdateCheck::finished);

        check.start();
        QVERIFY(check.isChecking());
        QVERIFY(finished.wait(5000));
        QVERIFY(!check.isChecking());
        QCOMPARE(checking.size(), 2);
        QCOMPARE(checking[0].first().toBool(), true);
        QCOMPARE(checking[1].first().toBool(), false);
        QCOMPARE(server.requests().size(), 1);
        QCOMPARE(server.requests().value(0).target, manifestPath.toUtf8());
        const auto message = finished.first().first().value<MessageAlert>();
        QCOMPARE(message.title, title);
        QCOMPARE(message.hasAction(), !download.isEmpty());
        if (message.hasAction()) {
            QCOMPARE(*message.actionTitle, QStringLiteral("Download"));
            QCOMPARE(*message.actionURL, download);
        }
    }

    // One check at a time; each ends in exactly one result, and none reaches a check that is gone.
    void runsOneAtATime_data()
    {
        QTest::addColumn<QString>("script"); // s: start, w: wait for the answer, d: delete the check
        QTest::addColumn<bool>("validManifest");
        QTest::addColumn<int>("requests");
        QTest::addColumn<int>("results");
        QTest::newRow("one") << "sw" << true << 1 << 1;
        QTest::newRow("again while checking") << "ssw" << true << 1 << 1;
        QTest::newRow("again after the result") << "swsw" << true << 2 << 2;
        QTest::newRow("no manifest address") << "sw" << false << 0 << 0;
        QTest::newRow("gone while checking") << "sdw" << true << 1 << 0;
    }

    void runsOneAtATime()
    {
        QFETCH(QString, script);
        QFETCH(bool, validManifest);
        QFETCH(int, requests);
        QFETCH(int, results);
        auto http = std::make_shared<test::FakeHTTPClient>();
        http->answer(manifestPath, test::FakeHTTPClient::Reply::ok(
                                       "{\"version\": \"1.2.3\", \"downloadURL\": \"https://tobrin.dev/m\"}"));
        auto check = std::make_unique<UpdateCheck>(validManifest ? manifestURL : QUrl(), http, &installed);
        int finished = 0;
        connect(check.get(), &UpdateCheck::finished, this, [&finished] { ++finished; });
        for (const QChar step : script) {
            if (step == u's') {
                check->start();
            } else if (step == u'd') {
                check.reset();
            } else {
                // The answer comes on a later turn of the event loop, also to a check that is gone.
                test::VirtualClock::settle();
                QVERIFY(!check || !check->isChecking());
            }
        }
        QCOMPARE(http->requests().size(), requests);
        QCOMPARE(finished, results);
    }
};

QTEST_MAIN(TestUpdateCheck)
#include "tst_UpdateCheck.moc"
