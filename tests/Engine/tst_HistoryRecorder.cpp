#include "MarrowickKit/Engine/HistoryRecorder.h"
#include "MarrowickKit/Engine/HistoryStore.h"
#include "MarrowickKit/Engine/JSONFileStore.h"
#include "MarrowickKit/Model/JsonWriter.h"
#include "MarrowickKit/Model/UuidText.h"

#include "support/StorageFaults.h"
#include "support/TestSupport.h"
#include "support/VirtualClock.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <limits>

using namespace marrowick;

namespace {

const QUuid firstID{QStringLiteral("{11111111-2222-4333-8444-555555555555}")};
const QUuid secondID{QStringLiteral("{66666666-7777-4888-9999-aaaaaaaaaaaa}")};
const Instant start{786000000};

SourceSnapshot snapshot(const QUuid &id, Instant at, double latency = 20)
{
    return SourceSnapshot{id, at, {WidgetData::check(CheckResult{QStringLiteral("c"), QStringLiteral("Check"), ServiceStatus::up, latency, std::nullopt})}};
}

ServiceStatus statusOf(const WidgetData &widget)
{
    return widget.get<CheckResult>()->status;
}

std::optional<double> latencyOf(const WidgetData &widget)
{
    return widget.get<CheckResult>()->latencyMs;
}

QString key(const QUuid &id)
{
    return widgetKey(id, QStringLiteral("check:c"));
}

} // namespace

class tst_HistoryRecorder : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<test::VirtualClock> m_clock;

    QString historyFile() const { return m_folder->filePath(HistoryStore::fileName()); }
    std::unique_ptr<HistoryRecorder> makeRecorder()
    {
        return std::make_unique<HistoryRecorder>(m_folder->path(), m_clock->sleepFunction(), m_clock->nowFunction(),
                                                 m_clock->bootClock());
    }
    void record(HistoryRecorder &recorder, const QUuid &id = firstID)
    {
        recorder.record(snapshot(id, m_clock->now()), statusOf, latencyOf);
    }
    // Whether a write happened since the last call: each check removes the file it finds.
    bool wroteSinceLastCheck() const { return QFile::remove(historyFile()); }

private slots:
    void init()
    {
        m_folder = std::make_unique<QTemporaryDir>();
        m_clock = std::make_unique<test::VirtualClock>(start);
    }
    void cleanup()
    {
        m_clock.reset();
    }

    void tenRecordsInThirtySecondsAreOneWrite()
    {
        auto recorder = makeRecorder();
        QVERIFY(recorder->current().samples().isEmpty());
        m_clock->advance(120);
        QVERIFY(!QFile::exists(historyFile()));

        for (int i = 0; i < 10; ++i) {
            record(*recorder);
            m_clock->advance(2.9);
        }
        QVERIFY(!QFile::exists(historyFile()));
        m_clock->advance(1.0);
        QCOMPARE(HistoryStore::load(m_folder->path()).samples(key(firstID)).size(), 10);
        QVERIFY(wroteSinceLastCheck());
        m_clock->advance(300);
        QVERIFY(!wroteSinceLastCheck());

        record(*recorder);
        m_clock->advance(30);
        QVERIFY(wroteSinceLastCheck());
    }

    void flushWritesAtOnceAndOnlyWhenDirty()
    {
        auto recorder = makeRecorder();
        test::await(recorder->flush());
        QVERIFY(!wroteSinceLastCheck());

        record(*recorder);
        test::await(recorder->flush());
        QVERIFY(wroteSinceLastCheck());
        m_clock->advance(60);
        QVERIFY(!wroteSinceLastCheck());
        test::await(recorder->flush());
        QVERIFY(!wroteSinceLastCheck());
    }

    void keepOnlySourcesWritesWhenASeriesWent_data()
    {
        QTest::addColumn<QSet<QUuid>>("keep");
        QTest::addColumn<bool>("writes");
        QTest::newRow("every source kept") << QSet<QUuid>{firstID, secondID} << false;
        QTest::newRow("one source gone") << QSet<QUuid>{firstID} << true;
    }
    void keepOnlySourcesWritesWhenASeriesWent()
    {
        QFETCH(QSet<QUuid>, keep);
        QFETCH(bool, writes);
        {
            auto recorder = makeRecorder();
            record(*recorder, firstID);
            record(*recorder, secondID);
            test::await(recorder->flush());
        }
        auto recorder = makeRecorder();
        QCOMPARE(recorder->current().samples().size(), 2);
        QVERIFY(wroteSinceLastCheck()); // clears the first recorder's file
        recorder->keepOnlySources(keep);
        m_clock->advance(30);
        QCOMPARE(wroteSinceLastCheck(), writes);
    }

    void expiredHistoryLoadsEmptyAndStaysOnDisk()
    {
        HistoryStore::save(PollHistory(PollHistory::Samples{{key(firstID), {HistorySample{start.advanced(-HistoryLimits::retention - 1), 5.0, ServiceStatus::up}}}}),
                           m_folder->path());
        const QByteArray before = test::fileBytes(historyFile());
        QVERIFY(!before.isEmpty());

        auto recorder = makeRecorder();
        QVERIFY(recorder->current().samples().isEmpty());
        m_clock->advance(60);
        QCOMPARE(test::fileBytes(historyFile()), before);
    }

    // Two days of history, a sample every 10 minutes up to now; then, perhaps after some time,
    // the wall clock moves for 45 s and back, with a poll every 5 s, perhaps with a restart
    // while it is moved (in the same boot). A sample goes for its age only against a clock that
    // agrees with the boot-time clock, and every series stays in the order of its times.
    void aWallClockMovedForAMomentErasesNothing_data()
    {
        QTest::addColumn<double>("passing");
        QTest::addColumn<double>("move");
        QTest::addColumn<bool>("restart");
        QTest::addColumn<qsizetype>("kept"); // of the two days' 288 samples
        const double days8 = 8 * 86400.0;
        QTest::newRow("8 days ahead") << 0.0 << days8 << false << qsizetype(288);
        QTest::newRow("started 8 days ahead") << 0.0 << days8 << true << qsizetype(288);
        QTest::newRow("an hour back") << 0.0 << -3600.0 << false << qsizetype(288);
        QTest::newRow("started an hour back") << 0.0 << -3600.0 << true << qsizetype(288);
        QTest::newRow("8 days later") << days8 << 0.0 << false << qsizetype(0);
        QTest::newRow("started 8 days later") << days8 << 0.0 << true << qsizetype(0);
    }
    void aWallClockMovedForAMomentErasesNothing()
    {
        QFETCH(double, passing);
        QFETCH(double, move);
        QFETCH(bool, restart);
        QFETCH(qsizetype, kept);
        PollHistory twoDays;
        for (int i = 287; i >= 0; --i)
            twoDays.append(key(firstID), HistorySample{start.advanced(-600.0 * i - 60), 1.0, ServiceStatus::up});
        HistoryStore::save(twoDays, m_folder->path());
        auto recorder = makeRecorder();
        record(*recorder);
        test::await(recorder->flush());

        m_clock->advance(passing);
        m_clock->moveWallClock(move);
        if (restart) {
            recorder.reset();
            recorder = makeRecorder();
        }
        for (int poll = 0; poll < 18; ++poll) {
            if (poll == 9)
                m_clock->moveWallClock(-move);
            m_clock->advance(5);
            record(*recorder);
        }
        test::await(recorder->flush());
        const PollHistory::Series series = HistoryStore::load(m_folder->path()).samples(key(firstID));
        const auto old = std::count_if(series.cbegin(), series.cend(), [](const HistorySample &sample) {
            return sample.latencyMs == 1.0;
        });
        QCOMPARE(old, kept);
        QCOMPARE(series.size(), kept + (passing > 0 ? 18 : 19));
        QVERIFY(std::is_sorted(series.cbegin(), series.cend(),
                               [](const HistorySample &a, const HistorySample &b) { return a.time < b.time; }));
    }

    void anUnusableFileIsSetAsideAndTheRecorderStartsEmpty_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("unknown status") << QByteArray("{\"samples\":{\"k\":[{\"time\":1,\"status\":\"sideways\"}]}}");
        QByteArray huge = "{\"samples\":{}}";
        huge.append(QByteArray(JSONFileStore::maximumFileSize, ' '));
        QTest::newRow("over the cap") << huge;
    }
    void anUnusableFileIsSetAsideAndTheRecorderStartsEmpty()
    {
        QFETCH(QByteArray, stored);
        QVERIFY(test::writeFile(historyFile(), stored));

        auto recorder = makeRecorder();
        QVERIFY(recorder->current().samples().isEmpty());
        QVERIFY(!QFile::exists(historyFile()));
        record(*recorder);
        m_clock->advance(30);
        QCOMPARE(HistoryStore::load(m_folder->path()).samples(key(firstID)).size(), 1);
        QVERIFY(test::fileBytes(m_folder->filePath(HistoryStore::quarantineName())) == stored);
    }

    // A read-only or full data folder: the old file stays, the failure is told once, and the
    // changes are written by the next attempt that can.
    void aFailedSaveIsToldAndRetried_data()
    {
        QTest::addColumn<bool>("diskFull"); // else a folder stands where the file goes
        QTest::newRow("folder in the way") << false;
        QTest::newRow("disk full") << true;
    }
    void aFailedSaveIsToldAndRetried()
    {
        QFETCH(bool, diskFull);
        if (diskFull) {
            auto earlier = makeRecorder();
            record(*earlier);
            test::await(earlier->flush());
        } else {
            QVERIFY(QDir(m_folder->path()).mkdir(HistoryStore::fileName()));
        }
        const QByteArray before = test::fileBytes(historyFile());
        auto recorder = makeRecorder();
        QSignalSpy told(recorder.get(), &HistoryRecorder::writeErrorChanged);
        record(*recorder);
        {
            const test::FileSizeLimit full(diskFull ? 1 : 0);
            test::await(recorder->flush());
            QVERIFY(!recorder->writeError().isEmpty());
            record(*recorder);
            m_clock->advance(30);
        }
        QCOMPARE(told.size(), 1);
        QCOMPARE(test::fileBytes(historyFile()), before);
        QVERIFY(diskFull || QDir(m_folder->path()).rmdir(HistoryStore::fileName()));

        test::await(recorder->flush());
        QCOMPARE(recorder->writeError(), QString());
        QCOMPARE(told.size(), 2);
        QCOMPARE(HistoryStore::load(m_folder->path()).samples(key(firstID)).size(), diskFull ? 3 : 2);
    }

    // Its samples may still matter to the user: it is neither renamed nor written over.
    void anUnreadableFileIsNeverOverwritten()
    {
        HistoryStore::save(PollHistory({{key(secondID), {HistorySample{start, 5.0, ServiceStatus::up}}}}), m_folder->path());
        const QByteArray before = test::fileBytes(historyFile());
        std::unique_ptr<HistoryRecorder> recorder;
        if (!test::withoutReadAccess(historyFile(), m_folder->path(), [&] { recorder = makeRecorder(); }))
            QSKIP("this system cannot make a file unreadable");
        QVERIFY(recorder->loadProblem());
        QCOMPARE(recorder->loadProblem()->kind, FileProblem::Kind::leftInPlace);
        QVERIFY(recorder->current().samples().isEmpty());
        record(*recorder);
        m_clock->advance(30);
        test::await(recorder->flush());
        QCOMPARE(test::fileBytes(historyFile()), before);
        QCOMPARE(recorder->writeError(), QString());

        // Moved away by the user: writing goes on.
        QVERIFY(QFile::rename(historyFile(), historyFile() + QStringLiteral(".mine")));
        record(*recorder);
        m_clock->advance(30);
        QCOMPARE(HistoryStore::load(m_folder->path()).samples(key(firstID)).size(), 2);
    }

    // Whatever the store writes must load back; past the cap the oldest samples give way.
    // The file holds exactly the system's compact JSON of the history.
    void savedBytesAreTheCompactEncoding_data()
    {
        QTest::addColumn<PollHistory>("history");
        const auto sample = [](double time, std::optional<double> latency, ServiceStatus status) {
            return HistorySample{Instant{time}, latency, status};
        };
        QTest::newRow("empty") << PollHistory();
        QTest::newRow("empty series") << PollHistory({{QStringLiteral("a"), {}}});
        QTest::newRow("keys sorted and escaped") << PollHistory({
            {QStringLiteral("b/\"é\n"), {sample(1, 2, ServiceStatus::up)}},
            {QStringLiteral("a"), {sample(1.5, std::nullopt, ServiceStatus::down)}},
        });
        QTest::newRow("numbers") << PollHistory({{QStringLiteral("k"),
            {sample(786000000.123, 0.1, ServiceStatus::up), sample(-3, 1e300, ServiceStatus::unknown),
             sample(4, std::numeric_limits<double>::infinity(), ServiceStatus::warn),
             sample(5, std::numeric_limits<double>::quiet_NaN(), ServiceStatus::up)}}});
    }
    void savedBytesAreTheCompactEncoding()
    {
        QFETCH(PollHistory, history);
        HistoryStore::save(history, m_folder->path());
        QFile file(historyFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), writeJson(history.toJson(), JsonStyle::compact));
    }

    void anOversizedHistoryIsSavedWithinTheCap()
    {
        PollHistory::Samples samples;
        for (int widget = 0; widget < 400; ++widget) {
            PollHistory::Series series;
            for (int i = 0; i < 500; ++i)
                series.append(HistorySample{Instant{start.sinceReference + i * 60.0 + widget * 0.001}, 123.456789 + i, ServiceStatus::up});
            samples.insert(widgetKey(QUuid::createUuid(), QStringLiteral("service:") + QString::number(widget)), series);
        }
        const PollHistory history(samples);
        QVERIFY(writeJson(history.toJson(), JsonStyle::compact).size() > JSONFileStore::maximumFileSize);

        HistoryStore::save(history, m_folder->path());
        QVERIFY(QFileInfo(historyFile()).size() <= JSONFileStore::maximumFileSize);
        const PollHistory loaded = HistoryStore::load(m_folder->path());
        QVERIFY(loaded.sampleCount() > history.sampleCount() / 2);
        QVERIFY(loaded.sampleCount() < history.sampleCount());
        for (auto it = loaded.samples().cbegin(); it != loaded.samples().cend(); ++it) {
            const auto original = history.samples(it.key());
            QCOMPARE(it.value(), original.mid(original.size() - it.value().size()));
        }
    }
};

QTEST_GUILESS_MAIN(tst_HistoryRecorder)
#include "tst_HistoryRecorder.moc"
