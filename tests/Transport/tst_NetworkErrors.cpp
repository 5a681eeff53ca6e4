#include "MarrowickKit/Transport/NetworkErrors.h"

#include <QTest>

#include <cerrno>
#include <stdexcept>

using namespace marrowick;

class TestNetworkErrors : public QObject {
    Q_OBJECT

private slots:
    void socketErrors_data()
    {
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("errorString");
        QTest::addColumn<QString>("text");
        QTest::newRow("refused") << int(QAbstractSocket::ConnectionRefusedError) << "Connection refused"
                                 << "connection refused";
        QTest::newRow("not found") << int(QAbstractSocket::HostNotFoundError) << "Host not found" << "host not found";
        QTest::newRow("socket time-out") << int(QAbstractSocket::SocketTimeoutError) << "Socket operation timed out"
                                         << "timed out";
        // Qt folds these errno values into one generic error and keeps them only in its text.
        QTest::newRow("EHOSTUNREACH") << int(QAbstractSocket::NetworkError) << "Host unreachable" << "host unreachable";
        QTest::newRow("ENETUNREACH") << int(QAbstractSocket::NetworkError) << "Network unreachable"
                                     << "host unreachable";
        QTest::newRow("ETIMEDOUT") << int(QAbstractSocket::NetworkError) << "Connection timed out" << "timed out";
        QTest::newRow("EHOSTDOWN") << int(QAbstractSocket::UnknownSocketError) << "Host is down" << "host unreachable";
        QTest::newRow("closed") << int(QAbstractSocket::RemoteHostClosedError) << "The remote host closed the connection"
                                << "connection closed";
        QTest::newRow("other text kept") << int(QAbstractSocket::NetworkError) << "Weird failure" << "Weird failure";
        QTest::newRow("TLS fault") << int(QAbstractSocket::SslHandshakeFailedError) << "Error during SSL handshake"
                                   << "Error during SSL handshake";
    }

    void socketErrors()
    {
        QFETCH(int, error);
        QFETCH(QString, errorString);
        QFETCH(QString, text);
        const auto mapped = providerError(static_cast<QAbstractSocket::SocketError>(error), errorString);
        QCOMPARE(mapped.kind(), ProviderError::Kind::upstream);
        QCOMPARE(mapped.description(), text);
        // During a TLS handshake the same words say what ended it ("connection closed").
        const auto handshake = handshakeError(static_cast<QAbstractSocket::SocketError>(error), errorString);
        QCOMPARE(handshake.description(), QStringLiteral("SSL handshake failed: ") + text);
    }

    void errnoValues_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("ETIMEDOUT") << ETIMEDOUT << "timed out";
        QTest::newRow("ECONNREFUSED") << ECONNREFUSED << "connection refused";
        QTest::newRow("ENETUNREACH") << ENETUNREACH << "host unreachable";
        QTest::newRow("EHOSTDOWN") << EHOSTDOWN << "host unreachable";
        QTest::newRow("EHOSTUNREACH") << EHOSTUNREACH << "host unreachable";
    }

    void errnoValues()
    {
        QFETCH(int, code);
        QFETCH(QString, text);
        QCOMPARE(providerErrorForErrno(code).description(), text);
    }

    void anyError()
    {
        const auto misconfigured = ProviderError::misconfigured(QStringLiteral("port 0 out of range (1-65535)"));
        QCOMPARE(providerError(std::make_exception_ptr(misconfigured)), misconfigured);
        const auto missing = ProviderError::missingCredential(QStringLiteral("kuma-1"));
        QCOMPARE(providerError(std::make_exception_ptr(missing)), missing);
        const auto other = providerError(std::make_exception_ptr(std::runtime_error("disk on fire")));
        QCOMPARE(other, ProviderError::upstream(QStringLiteral("disk on fire")));
    }
};

QTEST_GUILESS_MAIN(TestNetworkErrors)
#include "tst_NetworkErrors.moc"
