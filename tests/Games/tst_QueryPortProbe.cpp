#include "MarrowickKit/Games/A2SQueryClient.h"
#include "MarrowickKit/Games/GameRegistry.h"
#include "MarrowickKit/Model/ProviderError.h"
#include "MarrowickKit/Games/QueryPortCache.h"
#include "MarrowickKit/Games/QueryPortProbe.h"

#include "support/TestSupport.h"

#include <QTest>

using namespace marrowick;

namespace {

using PortFailures = QHash<quint16, QString>;

// A per-port query whose outcome for each port is scripted; records the ports it was run on.
struct ScriptedPorts {
    PortFailures failures; // port -> "a2s:<reason>", "misconfigured:<text>" or an upstream text
    std::optional<quint16> answering;
    QList<quint16> tried;

    PortQuery query()
    {
        return [this](quint16 port) { return run(this, port); };
    }

    static QCoro::Task<GameFacts> run(ScriptedPorts *self, quint16 port)
    {
        self->tried.append(port);
        if (self->answering == port)
            co_return GameFacts{1, 2, {}, QStringLiteral("on %1").arg(port)};
        const QString failure = self->failures.value(port, QStringLiteral("timed out"));
        if (failure.startsWith(QLatin1String("a2s:")))
            throw A2SReplyError(failure.mid(4));
        if (failure.startsWith(QLatin1String("misconfigured:")))
            throw ProviderError::misconfigured(failure.mid(14));
        if (failure == QLatin1String("runtime"))
            throw std::runtime_error("socket gone");
        throw ProviderError::upstream(failure);
    }
};

} // namespace

class tst_QueryPortProbe : public QObject {
    Q_OBJECT

private slots:
    void candidates_data()
    {
        QTest::addColumn<QString>("game");
        QTest::addColumn<quint16>("gamePort");
        QTest::addColumn<std::optional<quint16>>("queryPort");
        QTest::addColumn<std::optional<quint16>>("remembered");
        QTest::addColumn<QList<quint16>>("candidates");
        const std::optional<quint16> none;
        QTest::newRow("offset") << "valheim" << quint16(2456) << none << none << QList<quint16>{2457};
        QTest::newRow("remembered first") << "valheim" << quint16(2456) << none << std::optional<quint16>(2458)
                                          << QList<quint16>{2458, 2457};
        QTest::newRow("remembered equals offset") << "valheim" << quint16(2456) << none
                                                  << std::optional<quint16>(2457) << QList<quint16>{2457};
        QTest::newRow("offset equals fixed port") << "a2s-custom" << quint16(27015) << none << none
                                                  << QList<quint16>{27015};
        QTest::newRow("two offsets in order") << "v-rising" << quint16(9876) << none << none
                                              << QList<quint16>{9877, 9891};
        QTest::newRow("offset beyond 65535") << "valheim" << quint16(65535) << none << none << QList<quint16>{};
        QTest::newRow("fixed port only") << "ark-survival-evolved" << quint16(7777) << none << none
                                         << QList<quint16>{27015};
        QTest::newRow("configured wins") << "valheim" << quint16(2456) << std::optional<quint16>(27020)
                                         << std::optional<quint16>(27016) << QList<quint16>{27020};
    }

    void candidates()
    {
        QFETCH(QString, game);
        QFETCH(quint16, gamePort);
        QFETCH(std::optional<quint16>, queryPort);
        QFETCH(std::optional<quint16>, remembered);
        QTEST(queryPortCandidates(gamePort, *GameRegistry::game(game), queryPort, remembered), "candidates");
    }

    void probe_data()
    {
        QTest::addColumn<QList<quint16>>("candidates");
        QTest::addColumn<PortFailures>("failures");
        QTest::addColumn<std::optional<quint16>>("answering");
        QTest::addColumn<QList<quint16>>("tried");
        QTest::addColumn<QString>("result"); // "port N" or the error text
        const std::optional<quint16> none;
        QTest::newRow("all silent") << QList<quint16>{7778, 27015} << PortFailures{} << none
                                    << QList<quint16>{7778, 27015, 7778}
                                    << "no query port answered (tried 7778, 27015)";
        QTest::newRow("single candidate tried twice") << QList<quint16>{2457} << PortFailures{} << none
                                                      << QList<quint16>{2457, 2457}
                                                      << "no query port answered (tried 2457)";
        QTest::newRow("second answers") << QList<quint16>{2458, 2457} << PortFailures{}
                                        << std::optional<quint16>(2457) << QList<quint16>{2458, 2457} << "port 2457";
        QTest::newRow("refused and empty move on")
            << QList<quint16>{1, 2, 3}
            << PortFailures{{1, "connection refused"}, {2, "empty reply"}, {3, "runtime"}}
            << none << QList<quint16>{1, 2, 3, 1} << "no query port answered (tried 1, 2, 3)";
        QTest::newRow("host not found stops") << QList<quint16>{1, 2} << PortFailures{{1, "host not found"}}
                                              << none << QList<quint16>{1} << "host not found";
        QTest::newRow("unreachable stops") << QList<quint16>{1, 2} << PortFailures{{1, "host unreachable"}}
                                           << none << QList<quint16>{1} << "host unreachable";
        QTest::newRow("bad reply stops") << QList<quint16>{1, 2}
                                         << PortFailures{{1, "a2s:compressed reply not supported"}}
                                         << std::optional<quint16>(2) << QList<quint16>{1}
                                         << "compressed reply not supported";
        QTest::newRow("configuration fault stops") << QList<quint16>{1, 2}
                                                   << PortFailures{{1, "misconfigured:port 0"}} << none
                                                   << QList<quint16>{1} << "port 0";
        QTest::newRow("nothing to try") << QList<quint16>{} << PortFailures{} << none << QList<quint16>{}
                                        << "no query port to try";
    }

    void probe()
    {
        QFETCH(QList<quint16>, candidates);
        ScriptedPorts ports;
        QFETCH(PortFailures, failures);
        QFETCH(std::optional<quint16>, answering);
        ports.failures = failures;
        ports.answering = answering;
        QString result;
        try {
            result = QStringLiteral("port %1").arg(test::await(probeQueryPorts(candidates, ports.query())).port);
        } catch (const std::exception &error) {
            result = QString::fromUtf8(error.what());
        }
        QTEST(result, "result");
        QTEST(ports.tried, "tried");
    }

    void cancellationEndsTheProbe()
    {
        int runs = 0;
        PortQuery cancelled = [&runs](quint16) -> QCoro::Task<GameFacts> {
            ++runs;
            throw CancellationError();
        };
        QVERIFY_THROWS_EXCEPTION(CancellationError, test::await(probeQueryPorts({1, 2}, cancelled)));
        QCOMPARE(runs, 1);
    }

    void cacheRemembersPerSourceAndAddress()
    {
        QueryPortCache cache;
        const QUuid first = QUuid::createUuid();
        const QString host = QStringLiteral("valheim.lan");
        cache.store(27016, first, host, 2456);
        cache.store(27017, first, host, 2456);
        QCOMPARE(cache.cachedPort(first, host, 2456), quint16(27017));
        QCOMPARE(cache.cachedPort(QUuid::createUuid(), host, 2456), std::nullopt);
        QCOMPARE(cache.cachedPort(first, host, 2466), std::nullopt);
        QCOMPARE(&QueryPortCache::shared(), &QueryPortCache::shared());
    }
};

QTEST_GUILESS_MAIN(tst_QueryPortProbe)
#include "tst_QueryPortProbe.moc"
