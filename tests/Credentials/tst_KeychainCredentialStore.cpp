#include "MarrowickKit/Credentials/KeychainCredentialStore.h"
#include "MarrowickKit/Model/ProviderError.h"

#include "support/TestSupport.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QUuid>

using namespace marrowick;
using namespace marrowick::test;

Q_DECLARE_METATYPE(std::optional<QString>)

// Runs against a real Secret Service: scripts/with-test-services.sh starts a private one and
// sets MARROWICK_TEST_SECRET_SERVICE. Without it the tests skip rather than touch the user's
// own keyring.
class TestKeychainCredentialStore : public QObject {
    Q_OBJECT

private:
    // A service name of its own per run, so runs never see each other's items.
    const QString m_service = QStringLiteral("dev.tobrin.marrowick.test-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    KeychainCredentialStore m_store{m_service};

    static QString freshName() { return QStringLiteral("kuma-") + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(); }

private slots:
    void initTestCase()
    {
        if (!qEnvironmentVariableIsSet("MARROWICK_TEST_SECRET_SERVICE"))
            QSKIP("no private Secret Service; run the tests through scripts/with-test-services.sh");
    }

    void neverStoredIsNothing()
    {
        QCOMPARE(await(m_store.secret(freshName())), std::nullopt);
    }

    void setReadReplaceDelete_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::newRow("plain") << QStringLiteral("api-key-1") << QStringLiteral("api-key-2");
        QTest::newRow("empty text is a secret") << QString("") << QStringLiteral("x");
        QTest::newRow("non-ASCII") << QStringLiteral("pässwörd ✓") << QStringLiteral("パスワード");
    }

    void setReadReplaceDelete()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        const QString name = freshName();
        await(m_store.setSecret(first, name));
        QCOMPARE(await(m_store.secret(name)), std::optional(first));
        await(m_store.setSecret(second, name));
        QCOMPARE(await(m_store.secret(name)), std::optional(second));
        QCOMPARE(await(m_store.require(name)), second);
        await(m_store.removeSecret(name));
        QCOMPARE(await(m_store.secret(name)), std::nullopt);
        QCOMPARE(errorText([&] { await(m_store.require(name)); }), QStringLiteral("missing credential: ") + name);
    }

    void removingNothingSucceeds()
    {
        await(m_store.removeSecret(freshName()));
    }

    void storesAreSeparatedByService()
    {
        const QString name = freshName();
        await(m_store.setSecret(QStringLiteral("mine"), name));
        KeychainCredentialStore other(m_service + QStringLiteral(".other"));
        QCOMPARE(await(other.secret(name)), std::nullopt);
        KeychainCredentialStore same(m_service);
        QCOMPARE(await(same.secret(name)), std::optional(QStringLiteral("mine")));
        await(m_store.removeSecret(name));
    }

    void itemNotValidUTF8IsNothing_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<std::optional<QString>>("expected");
        QTest::newRow("valid") << QByteArray("ok-text") << std::optional(QStringLiteral("ok-text"));
        QTest::newRow("not UTF-8") << QByteArray("\xff\xfe\x80") << std::optional<QString>();
    }

    void itemNotValidUTF8IsNothing()
    {
        QFETCH(QByteArray, stored);
        QFETCH(std::optional<QString>, expected);
        const QString secretTool = QStandardPaths::findExecutable(QStringLiteral("secret-tool"));
        if (secretTool.isEmpty())
            QSKIP("secret-tool is not installed (Debian package libsecret-tools)");
        // Written by another program, the way a keyring editor would.
        const QString name = freshName();
        QProcess store;
        store.start(secretTool, {"store", "--label=foreign", "user", name, "server", m_service, "type", "plaintext"});
        store.write(stored);
        store.closeWriteChannel();
        QVERIFY(store.waitForFinished());
        QCOMPARE(store.exitCode(), 0);
        QCOMPARE(await(m_store.secret(name)), expected);
        await(m_store.removeSecret(name));
    }

    void promptTimeout()
    {
        // A time-out shorter than any keyring round trip stands in for an unanswered prompt.
        KeychainCredentialStore impatient(m_service, 0.0);
        const QString name = freshName();
        const QString text = errorText([&] { await(impatient.secret(name)); });
        QCOMPARE(text, CredentialError::timedOut().errorDescription());
        QVERIFY_THROWS_EXCEPTION(CredentialError, await(impatient.require(name)));
    }
};

QTEST_GUILESS_MAIN(TestKeychainCredentialStore)
#include "tst_KeychainCredentialStore.moc"
