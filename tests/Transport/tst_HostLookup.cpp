#include "MarrowickKit/Transport/HostLookup.h"

#include "support/ScriptedHosts.h"
#include "support/TestSupport.h"

#include <QTest>

using namespace marrowick;
using namespace marrowick::test;

namespace {

const QHostAddress nas("192.168.1.20");

struct Outcome {
    bool done = false;
    bool cancelled = false;
    QString failure;
    HostAddresses found;
};

// Runs a lookup without waiting for it, so the test can look at it while it is under way.
std::shared_ptr<Outcome> start(HostLookup &lookup, const QString &host, CancelToken cancel = {})
{
    auto outcome = std::make_shared<Outcome>();
    [](QCoro::Task<HostAddresses> task, std::shared_ptr<Outcome> outcome) -> QCoro::Task<void> {
        try {
            outcome->found = co_await std::move(task);
        } catch (const CancellationError &) {
            outcome->cancelled = true;
        } catch (const std::exception &error) {
            outcome->failure = QString::fromUtf8(error.what());
        }
        outcome->done = true;
    }(lookup.addresses(host, cancel), outcome);
    return outcome;
}

} // namespace

class TestHostLookup : public QObject {
    Q_OBJECT

private slots:
    // However long the resolver takes, every caller of a name waits for its one lookup; one
    // that gives up stops waiting at once, and the answer is kept for the next caller. After a
    // change of the network a caller asks afresh: the lookup under way may have been sent into
    // a network that was down, and fail after it came back.
    void callersOfANameShareItsLookup_data()
    {
        QTest::addColumn<bool>("networkChanges");
        QTest::addColumn<QStringList>("asked");
        QTest::newRow("one lookup") << false << QStringList{"nas.lan"};
        QTest::newRow("the network changed meanwhile") << true << QStringList{"nas.lan", "nas.lan"};
    }

    void callersOfANameShareItsLookup()
    {
        QFETCH(bool, networkChanges);
        QFETCH(QStringList, asked);
        ScriptedHosts hosts(-1);
        hosts.set(QStringLiteral("nas.lan"), {nas});
        CancelSource source;
        const auto first = start(*hosts.lookup(), QStringLiteral("nas.lan"));
        hosts.advance(30);
        if (networkChanges)
            hosts.lookup()->networkChanged();
        const auto second = start(*hosts.lookup(), QStringLiteral("NAS.lan"), source.token());
        source.cancel();
        QTRY_VERIFY(second->done && second->cancelled);
        QVERIFY(!first->done);
        hosts.release();
        QTRY_VERIFY(first->done);
        QCOMPARE(first->found.addresses, QList<QHostAddress>{nas});
        QCOMPARE(first->found.validUntil, 30 + HostLookup::answerLifetime);
        QCOMPARE(await(hosts.lookup()->addresses(QStringLiteral("nas.lan"))).addresses, QList<QHostAddress>{nas});
        QCOMPARE(hosts.asked(), asked);
    }

    // An answer is kept for a minute, for any number of names (Qt's own cache holds 128); a
    // failure is not kept.
    void answersAreKeptForAMinute_data()
    {
        QTest::addColumn<int>("names");
        QTest::addColumn<bool>("found");
        QTest::addColumn<double>("age");
        QTest::addColumn<int>("lookupsEach");
        QTest::newRow("asked again at once") << 1 << true << 0.0 << 1;
        QTest::newRow("within the minute") << 1 << true << 29.9 << 1;
        QTest::newRow("a minute later") << 1 << true << 30.0 << 2;
        QTest::newRow("a failure is asked again") << 1 << false << 0.0 << 3;
        QTest::newRow("a thousand names") << 1000 << true << 20.0 << 1;
    }

    void answersAreKeptForAMinute()
    {
        QFETCH(int, names);
        QFETCH(bool, found);
        QFETCH(double, age);
        QFETCH(int, lookupsEach);
        ScriptedHosts hosts;
        const auto name = [](int i) { return QStringLiteral("host%1.lab").arg(i); };
        for (int i = 0; found && i < names; ++i)
            hosts.set(name(i), {QHostAddress(quint32(0x0a000000 + i))});
        for (int ask = 0; ask < 3; ++ask, hosts.advance(age)) {
            for (int i = 0; i < names; ++i) {
                QList<QHostAddress> addresses;
                const QString failure = errorText([&] { addresses = await(hosts.lookup()->addresses(name(i))).addresses; });
                QCOMPARE(failure, found ? QString() : QStringLiteral("host not found"));
                QCOMPARE(addresses, hosts.answer(name(i)));
            }
        }
        QCOMPARE(hosts.asked().size(), names * lookupsEach);
    }

    void textsThatAreNoName_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("address"); // empty: "host not found"
        QTest::newRow("IPv4") << "192.168.1.20" << "192.168.1.20";
        QTest::newRow("IPv6") << "fd00::20" << "fd00::20";
        QTest::newRow("link-local with its zone") << "fe80::1%lo" << "fe80::1%lo";
        QTest::newRow("IPv6 in brackets, as in a URL") << "[::1]" << "::1";
        QTest::newRow("link-local with its zone in brackets") << "[fe80::1%lo]" << "fe80::1%lo";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("blank inside") << "my nas" << "";
    }

    // An address stands for itself for ever; nothing is asked.
    void textsThatAreNoName()
    {
        QFETCH(QString, host);
        QFETCH(QString, address);
        ScriptedHosts hosts;
        HostAddresses found;
        const QString failure = errorText([&] { found = await(hosts.lookup()->addresses(host)); });
        QCOMPARE(failure, address.isEmpty() ? QStringLiteral("host not found") : QString());
        if (!address.isEmpty()) {
            QCOMPARE(found.addresses, QList<QHostAddress>{QHostAddress(address)});
            QCOMPARE(found.addresses.front().scopeId(), QHostAddress(address).scopeId());
            QVERIFY(std::isinf(found.validUntil));
        }
        QVERIFY(hosts.asked().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestHostLookup)
#include "tst_HostLookup.moc"
