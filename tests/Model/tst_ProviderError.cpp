#include "MarrowickKit/Transport/HTTPClient.h"
#include "MarrowickKit/Credentials/InMemoryCredentialStore.h"
#include "MarrowickKit/Model/ProviderError.h"
#include "MarrowickKit/Engine/SourceProvider.h"
#include "support/TestSupport.h"

#include <QTest>

Q_DECLARE_METATYPE(marrowick::CredentialError)

using namespace marrowick;

class tst_ProviderError : public QObject {
    Q_OBJECT

private slots:
    void descriptions()
    {
        QCOMPARE(ProviderError::missingCredential("kuma-1").description(), QStringLiteral("missing credential: kuma-1"));
        QCOMPARE(QString::fromUtf8(ProviderError::upstream("timed out").what()), QStringLiteral("timed out"));
        QVERIFY(ProviderError::misconfigured("x") != ProviderError::upstream("x"));
        QCOMPARE(ProviderError::misconfigured("x"), ProviderError::misconfigured("x"));
        QCOMPARE(wrongConfigError(SourceKind::gameServer).description(), QStringLiteral("expected gameServer config"));
    }

    void checkHTTPStatus_data()
    {
        QTest::addColumn<int>("status"); // -1: not an HTTP response
        QTest::addColumn<bool>("passes");
        QTest::newRow("200") << 200 << true;
        QTest::newRow("299") << 299 << true;
        QTest::newRow("199") << 199 << false;
        QTest::newRow("300") << 300 << false;
        QTest::newRow("301") << 301 << false;
        QTest::newRow("404") << 404 << false;
        QTest::newRow("500") << 500 << false;
        QTest::newRow("not HTTP") << -1 << false;
    }

    void checkHTTPStatus()
    {
        QFETCH(int, status);
        QFETCH(bool, passes);
        HTTPResponse response;
        if (status >= 0)
            response.statusCode = status;
        if (passes) {
            QCOMPARE(marrowick::checkHTTPStatus(response), status);
            return;
        }
        try {
            marrowick::checkHTTPStatus(response);
            QFAIL("no error");
        } catch (const ProviderError &error) {
            QCOMPARE(error, ProviderError::upstream(QStringLiteral("HTTP %1").arg(status)));
        }
    }

    void validatePort_data()
    {
        QTest::addColumn<qint64>("port");
        QTest::addColumn<QString>("error");
        QTest::newRow("1") << qint64(1) << QString();
        QTest::newRow("65535") << qint64(65535) << QString();
        QTest::newRow("0") << qint64(0) << "port 0 out of range (1-65535)";
        QTest::newRow("-1") << qint64(-1) << "port -1 out of range (1-65535)";
        QTest::newRow("65536") << qint64(65536) << "port 65536 out of range (1-65535)";
        QTest::newRow("70000") << qint64(70000) << "port 70000 out of range (1-65535)";
    }

    void validatePort()
    {
        QFETCH(qint64, port);
        QFETCH(QString, error);
        if (error.isEmpty()) {
            QCOMPARE(qint64(marrowick::validatePort(port, "port")), port);
            return;
        }
        try {
            marrowick::validatePort(port, "port");
            QFAIL("no error");
        } catch (const ProviderError &thrown) {
            QCOMPARE(thrown, ProviderError::misconfigured(error));
        }
    }

    void requireReadsTheStore()
    {
        auto store = std::make_shared<InMemoryCredentialStore>();
        test::await(store->setSecret("first", "ref"));
        test::await(store->setSecret("second", "ref"));
        test::await(store->setSecret("", "empty"));
        QCOMPARE(test::await(store->require("ref")), QStringLiteral("second"));
        QCOMPARE(test::await(store->require("empty")), QString());
        test::await(store->removeSecret("unknown"));
        test::await(store->removeSecret("ref"));
        QVERIFY(!test::await(store->secret("ref")));
        try {
            test::await(store->require("ref"));
            QFAIL("no error");
        } catch (const ProviderError &error) {
            QCOMPARE(error, ProviderError::missingCredential("ref"));
        }
    }

    // Each names the cause and the next step, which the caller gives ("refresh" for a poll).
    void credentialErrorTexts_data()
    {
        QTest::addColumn<CredentialError>("error");
        QTest::addColumn<QString>("poll");
        QTest::addColumn<QString>("save");
        QTest::newRow("no service") << CredentialError::noService()
                                    << "no keyring service: start one, then refresh"
                                    << "no keyring service: start one, then save again";
        QTest::newRow("locked") << CredentialError::locked() << "keyring locked: refresh and unlock it when asked"
                                << "keyring locked: save again and unlock it when asked";
        QTest::newRow("refused") << CredentialError::refused() << "keyring refused: refresh and allow it when asked"
                                 << "keyring refused: save again and allow it when asked";
        QTest::newRow("no keyring") << CredentialError::noKeyring()
                                    << "no keyring yet: refresh and create one when asked"
                                    << "no keyring yet: save again and create one when asked";
        QTest::newRow("timed out") << CredentialError::timedOut()
                                   << "keyring prompt open: answer it, then refresh"
                                   << "keyring prompt open: answer it, then save again";
        // Nothing more known: the keyring's own words, or its code.
        QTest::newRow("other") << CredentialError::unexpectedStatus(7, QStringLiteral("Unknown error"))
                               << "keyring error: Unknown error" << "keyring error: Unknown error";
        QTest::newRow("negative code") << CredentialError::unexpectedStatus(-25300) << "Keychain error -25300"
                                       << "Keychain error -25300";
    }

    // Each names the cause and the next step, which the caller gives ("refresh" for a poll).
    void credentialErrorTexts()
    {
        QFETCH(CredentialError, error);
        QFETCH(QString, poll);
        QFETCH(QString, save);
        QCOMPARE(error.errorDescription(), poll);
        QCOMPARE(QString::fromUtf8(error.what()), poll);
        QCOMPARE(error.message(QStringLiteral("save again")), save);
        QVERIFY(CredentialError::unexpectedStatus(1) != CredentialError::unexpectedStatus(2));
    }
};

QTEST_GUILESS_MAIN(tst_ProviderError)
#include "tst_ProviderError.moc"
