#include "MarrowickKit/Transport/AddressRace.h"

#include "support/FullBacklogListener.h"
#include "support/LocalTCPServer.h"

#include <QTest>

using namespace marrowick;
using namespace marrowick::test;
using namespace std::chrono_literals;

// On one port: 127.0.0.1 serves, 127.0.0.2 never answers (a full accept queue), and nothing
// listens on 127.0.0.3 or 127.0.0.4, so those refuse at once.
class TestAddressRace : public QObject {
    Q_OBJECT

private slots:
    void theFirstAddressToConnectWins_data()
    {
        QTest::addColumn<QStringList>("addresses");
        QTest::addColumn<int>("staggerMs");
        QTest::addColumn<QString>("outcome"); // the winner's address, or the failure
        const int never = 3600 * 1000;
        QTest::newRow("one address") << QStringList{"127.0.0.1"} << never << "127.0.0.1";
        QTest::newRow("a refusal starts the next at once") << QStringList{"127.0.0.3", "127.0.0.1"} << never << "127.0.0.1";
        QTest::newRow("a silent address gets company after the stagger")
            << QStringList{"127.0.0.2", "127.0.0.1"} << 20 << "127.0.0.1";
        QTest::newRow("the silent one is left behind")
            << QStringList{"127.0.0.2", "127.0.0.3", "127.0.0.1"} << 20 << "127.0.0.1";
        QTest::newRow("every address refuses") << QStringList{"127.0.0.3", "127.0.0.4"} << 20 << "connection refused";
        QTest::newRow("no address") << QStringList{} << 20 << "host not found";
    }

    void theFirstAddressToConnectWins()
    {
        QFETCH(QStringList, addresses);
        QFETCH(int, staggerMs);
        QFETCH(QString, outcome);
        LocalTCPServer server;
        FullBacklogListener silent("127.0.0.2", server.port());
        QList<QHostAddress> list;
        for (const QString &address : addresses)
            list.append(QHostAddress(address));
        std::unique_ptr<QTcpSocket> winner;
        QString failure;
        int attempts = 0;
        AddressRace race([&attempts] { return ++attempts, new QTcpSocket; },
                         [&winner](QTcpSocket *socket) { winner.reset(socket); },
                         [&failure](const ProviderError &error) { failure = error.description(); },
                         std::chrono::milliseconds(staggerMs));
        race.connectTo(list, server.port());
        QTRY_VERIFY(winner || !failure.isEmpty());
        QCOMPARE(winner ? winner->peerAddress().toString() : failure, outcome);
        QCOMPARE(attempts, int(addresses.size()));
        if (winner)
            QTRY_COMPARE(server.connectionCount(), 1);
    }

    // Aborting (the poll's time-out or cancellation) ends every attempt and says nothing more.
    void abortEndsEveryAttempt()
    {
        FullBacklogListener silent("127.0.0.2");
        QList<QPointer<QTcpSocket>> made;
        bool called = false;
        AddressRace race([&made] { return made.append(new QTcpSocket), made.back().data(); },
                         [&called](QTcpSocket *) { called = true; }, [&called](const ProviderError &) { called = true; },
                         1ms);
        race.connectTo({QHostAddress("127.0.0.2"), QHostAddress("127.0.0.2")}, silent.port());
        QTRY_COMPARE(made.size(), 2);
        race.abort();
        QTRY_VERIFY(!made[0] && !made[1]);
        QVERIFY(!called);
    }
};

QTEST_GUILESS_MAIN(TestAddressRace)
#include "tst_AddressRace.moc"
