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
    // However long the resolver takes, every caller of a name waits for the one lookup of it.
    void callersOfANameShareItsLookup()
    {
        ScriptedHosts hosts(-1);
        hosts.set(QStringLiteral("nas.lan"), {nas});
        const auto first = start(*hosts.lookup(), QStringLiteral("nas.lan"));
        hosts.advance(30);
        const auto second = start(*hosts.lookup(), QStringLiteral("NAS.lan"));
        QTest::qWait(20);
        QVERIFY(!first->done && !second->done);
        hosts.release();
        QTRY_VERIFY(first->done && second->done);
        QCOMPARE(hosts.asked(), QStringList{"nas.lan"});
        for (const auto &outcome : {first, second}) {
            QCOMPARE(outcome->found.addresses, QList<QHostAddress>{nas});
            QCOMPARE(outcome->found.validUntil, 30 + HostLookup::answerLifetime);
        }
    }

    // An answer is kept for a minute, a failure not at all.
    void answersAreKeptForAMinute_data()
    {
        QTest::addColumn<bool>("found");
        QTest::addColumn<double>("age");
        QTest::addColumn<int>("lookups");
        QTest::newRow("asked again at once") << true << 0.0 << 1;
        QTest::newRow("within the minute") << true << 59.9 << 1;
        QTest::newRow("a minute later") << true << 60.0 << 2;
        QTest::newRow("a failure is asked again") << false << 0.0 << 2;
    }

    void answersAreKeptForAMinute()
    {
        QFETCH(bool, found);
        QFETCH(double, age);
        ScriptedHosts hosts;
        if (found)
            hosts.set(QStringLiteral("nas.lan"), {nas});
        for (int ask = 0; ask < 2; ++ask) {
            const QString failure = errorText([&] { await(hosts.lookup()->addresses(QStringLiteral("nas.lan"))); });
            QCOMPARE(failure, found ? QString() : QStringLiteral("host not found"));
            hosts.advance(age);
        }
        QTEST(int(hosts.asked().size()), "lookups");
    }

    // Qt's own cache holds 128 names: a lab of more names looked every one up on every poll.
    void anyNumberOfNamesIsKept()
    {
        ScriptedHosts hosts;
        QStringList names;
        for (int i = 0; i < 1000; ++i) {
            names.append(QStringLiteral("host%1.lab").arg(i));
            hosts.set(names.back(), {QHostAddress(QStringLiteral("10.0.%1.%2").arg(i / 250).arg(i % 250 + 1))});
        }
        for (int round = 0; round < 3; ++round) {
            for (const QString &name : names)
                QCOMPARE(await(hosts.lookup()->addresses(name)).addresses, hosts.answer(name));
            hosts.advance(20);
        }
        QCOMPARE(hosts.asked().size(), names.size());
    }

    // A caller that gives up stops waiting at once; the lookup goes on and its answer is kept.
    void aCancelledCallerDropsItsInterest()
    {
        ScriptedHosts hosts(-1);
        hosts.set(QStringLiteral("nas.lan"), {nas});
        CancelSource source;
        const auto cancelled = start(*hosts.lookup(), QStringLiteral("nas.lan"), source.token());
        source.cancel();
        QTRY_VERIFY(cancelled->done);
        QVERIFY(cancelled->cancelled);
        hosts.release();
        QCOMPARE(await(hosts.lookup()->addresses(QStringLiteral("nas.lan"))).addresses, QList<QHostAddress>{nas});
        QCOMPARE(hosts.asked().size(), 1);
    }

    void textsThatAreNoName_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("address"); // empty: "host not found"
        QTest::newRow("IPv4") << "192.168.1.20" << "192.168.1.20";
        QTest::newRow("IPv6") << "fd00::20" << "fd00::20";
        QTest::newRow("link-local with its zone") << "fe80::1%lo" << "fe80::1%lo";
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

    void theSystemResolverAnswers()
    {
        HostLookup lookup;
        const QList<QHostAddress> found = await(lookup.addresses(QStringLiteral("localhost"))).addresses;
        QVERIFY(!found.isEmpty());
        QVERIFY(std::all_of(found.cbegin(), found.cend(), [](const QHostAddress &address) { return address.isLoopback(); }));
    }
};

QTEST_GUILESS_MAIN(TestHostLookup)
#include "tst_HostLookup.moc"
