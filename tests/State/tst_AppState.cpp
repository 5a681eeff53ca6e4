#include "Marrowick/State/AppSettings.h"
#include "Marrowick/State/AppState.h"
#include "Marrowick/State/SourcesStore.h"
#include "MarrowickKit/Engine/AlertMarksStore.h"
#include "MarrowickKit/Engine/HistoryRecorder.h"
#include "MarrowickKit/Engine/HistoryStore.h"
#include "MarrowickKit/Credentials/KeychainCredentialStore.h"
#include "MarrowickKit/Engine/JSONFileStore.h"
#include "MarrowickKit/Games/GameServerProvider.h"
#include "MarrowickKit/Model/UuidText.h"
#include "MarrowickKit/Transport/NetworkErrors.h"

#include "State/AppStateRig.h"
#include "support/FakeUDPTransport.h"
#include "support/ScriptedKeyring.h"
#include "support/StorageFaults.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace marrowick;

Q_DECLARE_METATYPE(marrowick::OverallStatus)

namespace {

const QUuid idA = parseUuid(u"AAAAAAAA-0000-4000-8000-000000000001").value();
const QUuid idB = parseUuid(u"BBBBBBBB-0000-4000-8000-000000000002").value();
const QUuid idC = parseUuid(u"CCCCCCCC-0000-4000-8000-000000000003").value();

AnySourceConfig tcp(const QUuid &id, const QString &name = QStringLiteral("Router"))
{
    TCPPortConfig config(id, name, QStringLiteral("127.0.0.1"), 22);
    config.pollInterval = 5;
    config.alertThreshold = 1;
    return config;
}

AnySourceConfig kuma(const QUuid &id, const QString &passwordRef)
{
    return KumaConfig(id, QStringLiteral("Kuma"), QStringLiteral("http://kuma"), QStringLiteral("u"), passwordRef,
                      std::nullopt);
}

AnySourceConfig muted(AnySourceConfig source)
{
    TCPPortConfig config = *source.get<TCPPortConfig>();
    config.alertsEnabled = false;
    return config;
}

// The key under which the fake providers' one check widget is kept.
QString checkKey(const QUuid &id)
{
    return test::FakeProviders::snapshot(id, 1).widgets.first().scopedID(id);
}

SourceSnapshot snapshotOf(const QUuid &id, QList<WidgetData> widgets)
{
    return SourceSnapshot{id, Instant{}, std::move(widgets)};
}

WidgetData service(ServiceStatus status)
{
    return ServiceRow{QStringLiteral("s"), QStringLiteral("S"), status, std::nullopt, std::nullopt};
}

WidgetData game(bool online)
{
    GameServerStatus server;
    server.id = QStringLiteral("g");
    server.online = online;
    return server;
}

AnySourceConfig valheim(const QString &name)
{
    GameServerConfig config(idC, name, QStringLiteral("valheim"), QStringLiteral("127.0.0.1"), 2456, std::nullopt,
                            std::nullopt, false);
    config.pollInterval = 60;
    config.alertThreshold = 3;
    return config;
}

// Game-server sources polled by the real provider, over a scripted peer whose Valheim server
// answers its query port 2457 while `online` holds and is silent otherwise.
struct ValheimServer {
    std::shared_ptr<test::FakeUDPTransport> udp = std::make_shared<test::FakeUDPTransport>();
    QueryPortCache cache;
    bool online = false;

    ValheimServer()
    {
        udp->respond(2457, [this](const QByteArray &) -> QList<test::FakeUDPTransport::Reply> {
            if (!online)
                return {};
            return {test::FakeUDPTransport::Reply::data(QByteArray("\xFF\xFF\xFF\xFF\x49\x11" "Vh\0m\0f\0g\0\0\0", 17)
                                                        + QByteArray("\x01\x0A\0dlp\0", 7))};
        });
    }

    ProviderFactory factory()
    {
        return [this](const AnySourceConfig &config, CredentialStoreHandle credentials) {
            const GameTransports transports{nullptr, udp, nullptr, nullptr, {}, [] { return 0.0; }, nullptr};
            return std::make_unique<GameServerProvider>(config, std::move(credentials), transports, cache);
        };
    }
};

// The key of the game widget that the provider reports for a source.
QString gameKey(const QUuid &id)
{
    GameServerStatus status;
    status.id = uuidText(id);
    return WidgetData::game(status).scopedID(id);
}

// Polls by reading the source's secret, as the providers that need one do.
class SecretReadingProvider : public SourceProvider {
public:
    SecretReadingProvider(AnySourceConfig config, CredentialStoreHandle credentials)
        : m_config(std::move(config)), m_credentials(std::move(credentials))
    {
    }

    QCoro::Task<SourceSnapshot> fetch(CancelToken) override
    {
        const QString secret = co_await m_credentials->require(*m_config.credentialRef());
        co_return snapshotOf(m_config.id(), {service(ServiceStatus::up)});
    }

private:
    AnySourceConfig m_config;
    CredentialStoreHandle m_credentials;
};

} // namespace

class TestAppState : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::AppStateRig> m_rig;

    QString dataPath(const QString &name) const { return m_rig->folder() + QLatin1Char('/') + name; }
    QString folder() const { return m_rig->folder(); }
    AppState &build(bool underTest = false) { return m_rig->build(underTest); }
    AppState &buildWith(ProviderFactory factory)
    {
        m_rig->state = std::make_unique<AppState>(AppStateServices{m_rig->credentials, folder(), m_rig->settings.get(),
                                                                   m_rig->alerts, std::move(factory),
                                                                   m_rig->clock.sleepFunction(),
                                                                   m_rig->clock.nowFunction(), m_rig->clock.bootClock(), false, nullptr});
        return *m_rig->state;
    }
    // The bodies posted so far, each with its title.
    QStringList posted() const
    {
        QStringList texts;
        for (const AlertNotification &notification : std::as_const(m_rig->alerts->posted))
            texts.append(notification.title + QStringLiteral(": ") + notification.body);
        return texts;
    }
    int fetches(const QUuid &id) const { return m_rig->providers.fetchCount(id); }

    void seedHistory(const QString &key, int count)
    {
        PollHistory history;
        for (int i = 1; i <= count; ++i)
            history.append(key, HistorySample{Instant{double(i)}, double(i), ServiceStatus::up});
        HistoryStore::save(history, folder());
    }

private slots:
    void init() { m_rig = std::make_unique<test::AppStateRig>(); }
    void cleanup() { m_rig.reset(); }

    void constructionLoadsSourcesAndSeedsLatencies()
    {
        SourcesStore::save({tcp(idA), tcp(idB)}, folder());
        PollHistory history;
        for (int i = 1; i <= 45; ++i)
            history.append(checkKey(idA), HistorySample{Instant{double(i)}, double(i), ServiceStatus::up});
        history.append(checkKey(QUuid::createUuid()), HistorySample{Instant{1}, 7.0, ServiceStatus::up});
        history.append(checkKey(idB), HistorySample{Instant{1}, std::nullopt, ServiceStatus::down});
        HistoryStore::save(history, folder());

        AppState &state = build(/*underTest*/ true);
        QCOMPARE(state.sources(), (QList<AnySourceConfig>{tcp(idA), tcp(idB)}));
        QCOMPARE(state.latencyHistory().keys(), QList<QString>{checkKey(idA)});
        const QList<double> series = state.latencyHistory().value(checkKey(idA));
        QCOMPARE(series.size(), 30);
        QCOMPARE(series.first(), 16.0);
        QCOMPARE(series.last(), 45.0);

        // Under test nothing reaches the engine and no activity is begun until the first change.
        m_rig->clock.advance(60);
        QCOMPARE(fetches(idA), 0);
        QVERIFY(!state.pollingActivity().isHeld());
        state.setPaused(false);
        m_rig->clock.advance(0);
        QCOMPARE(fetches(idA), 1);
        QVERIFY(state.pollingActivity().isHeld());
    }

    void launchPollsAndFollowsTheActivity()
    {
        SourcesStore::save({tcp(idA)}, folder());
        AppState &state = build();
        QCOMPARE(state.pollingActivity().reason(), QStringLiteral("Polling monitored sources"));
        m_rig->clock.advance(0);
        QCOMPARE(fetches(idA), 1);
        QVERIFY(state.snapshots().contains(idA));
        QCOMPARE(state.latencyHistory().value(checkKey(idA)), QList<double>{1.0});
        QCOMPARE(state.overallStatus(), OverallStatus::up);

        // Paused: the activity ends and no poll runs; resuming starts polling at once.
        QSignalSpy statusSpy(&state, &AppState::overallStatusChanged);
        state.setPaused(true);
        QVERIFY(!state.pollingActivity().isHeld());
        QCOMPARE(state.overallStatus(), OverallStatus::paused);
        m_rig->clock.advance(600);
        QCOMPARE(fetches(idA), 1);
        QVERIFY(state.snapshots().contains(idA));
        state.setPaused(false);
        QCOMPARE(state.pollingActivity().beginCount(), 2);
        m_rig->clock.advance(0);
        QCOMPARE(fetches(idA), 2);
        QCOMPARE(statusSpy.size(), 2);

        state.deleteSource(idA);
        QVERIFY(!state.pollingActivity().isHeld());
    }

    void launchWithoutSourcesHoldsNoActivity()
    {
        AppState &state = build();
        m_rig->clock.advance(0);
        QVERIFY(!state.pollingActivity().isHeld());
        QCOMPARE(state.overallStatus(), OverallStatus::unknown);
    }

    void changesReachTheEngineInOrder()
    {
        AppState &state = build();
        state.setPaused(true);
        state.addSource(tcp(idA));
        state.setPaused(false);
        state.addSource(tcp(idB));
        m_rig->clock.advance(0);
        QCOMPARE(fetches(idA), 1);
        QCOMPARE(fetches(idB), 1);
    }

    void everyOperationWritesTheFile()
    {
        AppState &state = build();
        QSignalSpy sourcesSpy(&state, &AppState::sourcesChanged);
        const auto stored = [this] { return SourcesStore::load(folder()); };

        state.addSource(tcp(idA));
        state.addSource(tcp(idB));
        QCOMPARE(stored(), (QList<AnySourceConfig>{tcp(idA), tcp(idB)}));
        state.updateSource(tcp(idA, QStringLiteral("Renamed")));
        QCOMPARE(stored().first().displayName(), QStringLiteral("Renamed"));
        state.deleteSource(idA);
        QCOMPARE(stored(), QList<AnySourceConfig>{tcp(idB)});
        QCOMPARE(sourcesSpy.size(), 4);

        // An unknown id changes nothing at all: no write either.
        QVERIFY(QFile::remove(dataPath(QStringLiteral("sources.json"))));
        state.updateSource(tcp(idA));
        QVERIFY(!QFile::exists(dataPath(QStringLiteral("sources.json"))));

        // An unchanged list is still written, without a change signal.
        state.setSources(state.sources());
        QCOMPARE(stored(), QList<AnySourceConfig>{tcp(idB)});
        QCOMPARE(sourcesSpy.size(), 4);
        QCOMPARE(state.sourcesSaveError(), QString());
    }

    // A change that needs a larger sources file than can be saved would be lost at quit: it is
    // refused, and nothing changes. One that just fits is made.
    void changesPastTheFileLimitAreRefused_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<qint64>("size"); // of the sources file it would make
        for (const char *change : {"add", "update", "replace"}) {
            QTest::addRow("%s, at the limit", change) << QString::fromLatin1(change) << JSONFileStore::maximumFileSize;
            QTest::addRow("%s, a byte over", change) << QString::fromLatin1(change) << JSONFileStore::maximumFileSize + 1;
        }
    }
    void changesPastTheFileLimitAreRefused()
    {
        QFETCH(QString, change);
        QFETCH(qint64, size);
        AppState &state = build();
        state.addSource(tcp(idA));
        state.addSource(tcp(idB));
        const QList<AnySourceConfig> before = state.sources();
        const QByteArray stored = test::fileBytes(dataPath(QStringLiteral("sources.json")));
        QSignalSpy changed(&state, &AppState::sourcesChanged);

        QList<AnySourceConfig> after;
        QString refused;
        if (change == "add") {
            after = before + QList<AnySourceConfig>{test::paddedSource(idC, before, size)};
            refused = state.refusalToKeep(after.last());
            QCOMPARE(state.addSource(after.last()), refused);
        } else if (change == "update") {
            after = {tcp(idA), test::paddedSource(idB, {tcp(idA)}, size)};
            refused = state.refusalToKeep(after.last());
            QCOMPARE(state.updateSource(after.last()), refused);
        } else {
            after = {test::paddedSource(idC, {}, size)};
            refused = state.replaceSources(after);
        }
        const bool fits = size <= JSONFileStore::maximumFileSize;
        QCOMPARE(refused, fits ? QString()
                               : QStringLiteral("Your sources would then need a sources file of %1 bytes, over the "
                                                "limit of 8388608 bytes, so they could not be saved. Nothing was "
                                                "changed.").arg(size));
        QCOMPARE(state.sources(), fits ? after : before);
        QCOMPARE(changed.size(), fits ? 1 : 0);
        QCOMPARE(state.sourcesSaveError(), QString());
        const QByteArray now = test::fileBytes(dataPath(QStringLiteral("sources.json")));
        QCOMPARE(now.size(), fits ? size : stored.size());
        QVERIFY(fits || now == stored);
    }

    // A change that could not be saved stays in effect, is told once, and is written by the
    // next change, the next write of the history or the quit, whichever comes first once there
    // is room: the next start has it. Still without room at quit, the loss is logged once. The
    // secret of a source deleted meanwhile stays until a list without the source is saved: the
    // list on disk still uses it. The quit hook drops the quit's task: sources and settings are
    // saved before it returns.
    void anUnsavedChangeIsKeptAndRetried_data()
    {
        QTest::addColumn<QString>("retry"); // "none": the disk is still full at quit
        QTest::addColumn<bool>("realDisk");
        QTest::newRow("next change") << "change" << false;
        QTest::newRow("next history write") << "history" << false;
        QTest::newRow("quit") << "quit" << false;
        QTest::newRow("quit without room") << "none" << false;
        QTest::newRow("real disk, next history write") << "history" << true;
        QTest::newRow("real disk, quit") << "quit" << true;
        QTest::newRow("real disk, quit without room") << "none" << true;
    }
    void anUnsavedChangeIsKeptAndRetried()
    {
        QFETCH(QString, retry);
        QFETCH(bool, realDisk);
        std::optional<test::SmallFilesystem> disk;
        std::optional<test::FileSizeLimit> limit;
        if (realDisk) {
            disk.emplace(64 * 1024, folder());
            if (!disk->isMounted())
                QSKIP("mounting a small file system needs root");
        }
        const QString secret = QStringLiteral("kuma password");
        const auto secretKept = [this, &secret] {
            m_rig->clock.settle();
            return m_rig->credentials->secrets().contains(secret);
        };
        test::await(m_rig->credentials->setSecret(QStringLiteral("s"), secret));
        m_rig->settings = std::make_unique<AppSettings>(
            std::make_unique<QSettings>(dataPath(QStringLiteral("settings.ini")), QSettings::IniFormat));
        AppState &state = build();
        QSignalSpy failures(&state, &AppState::sourcesSaveErrorChanged);
        state.addSource(tcp(idA));
        state.addSource(kuma(idC, secret));
        if (realDisk)
            QVERIFY(disk->fill(0));
        else
            limit.emplace(1);

        state.addSource(tcp(idB));
        state.updateSource(tcp(idB, QStringLiteral("B")));
        state.deleteSource(idC);
        m_rig->settings->setCompactMode(true);
        QVERIFY(!m_rig->settings->writeError().isEmpty());
        QCOMPARE(state.sources(), (QList<AnySourceConfig>{tcp(idA), tcp(idB, QStringLiteral("B"))}));
        QVERIFY(!state.sourcesSaveError().isEmpty());
        QCOMPARE(failures.size(), 1); // told once, not at every attempt
        m_rig->clock.advance(0);      // polls; the history's write is due in half a minute
        QCOMPARE(fetches(idB), 1);    // the engine is synchronised anyway
        state.setPaused(false);       // not a change of the list: nothing retried
        const QList<AnySourceConfig> onDisk{tcp(idA), kuma(idC, secret)};
        QCOMPARE(SourcesStore::load(folder()), onDisk);
        QVERIFY(secretKept());

        if (retry != "none") {
            limit.reset();
            QVERIFY(!realDisk || disk->release());
        }
        const QRegularExpression lost(QStringLiteral("^Marrowick quits with unsaved sources; the changes since the "
                                                     "last save are lost: "));
        if (retry == "change") {
            state.addSource(tcp(QUuid::createUuid()));
        } else if (retry == "history") {
            m_rig->clock.advance(HistoryRecorder::writeDelay);
        } else {
            if (retry == "none")
                QTest::ignoreMessage(QtWarningMsg, lost);
            { [[maybe_unused]] auto dropped = state.saveBeforeQuit(); }
            QCOMPARE(m_rig->settings->writeError().isEmpty(), retry == "quit");
            // The other quit path finds nothing new to say.
            QTest::failOnWarning(lost);
            test::await(state.saveBeforeQuit());
        }
        const bool saved = retry != "none";
        QCOMPARE(state.sourcesSaveError().isEmpty(), saved);
        QCOMPARE(failures.size(), saved ? 2 : 1);
        QCOMPARE(secretKept(), !saved);
        const QList<AnySourceConfig> expected = saved ? state.sources() : onDisk;

        limit.reset();
        m_rig->state.reset();
        QCOMPARE(build(true).sources(), expected);
    }

    // A data file that could not be used at start is said in the notice and never lost: a
    // damaged one is set aside beside earlier copies, an unreadable one stays and is not saved over.
    void unusableFilesAreToldAndKept_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("unreadable"); // else damaged
        QTest::newRow("damaged sources") << QStringLiteral("sources.json") << false;
        QTest::newRow("damaged history") << QStringLiteral("history.json") << false;
        QTest::newRow("unreadable sources") << QStringLiteral("sources.json") << true;
        QTest::newRow("unreadable history") << QStringLiteral("history.json") << true;
        QTest::newRow("damaged alert state") << QStringLiteral("alerts.json") << false;
        QTest::newRow("unreadable alert state") << QStringLiteral("alerts.json") << true;
    }
    void unusableFilesAreToldAndKept()
    {
        QFETCH(QString, file);
        QFETCH(bool, unreadable);
        QVERIFY(QDir().mkpath(folder()));
        const QByteArray bytes = unreadable ? QByteArray("[]") : QByteArray("[{");
        const QByteArray earlierCopy = "an earlier damaged copy";
        QVERIFY(test::writeFile(dataPath(file), bytes));
        QVERIFY(test::writeFile(dataPath(file + ".corrupt"), earlierCopy));

        if (!unreadable)
            build();
        else if (!test::withoutReadAccess(dataPath(file), m_rig->dir.path(), [this] { build(); }))
            QSKIP("this system cannot make a file unreadable");
        AppState &state = *m_rig->state;
        const QString notice = unreadable
            ? QStringLiteral("%1 could not be read (Permission denied). Marrowick started without it and leaves it "
                             "untouched in %2.").arg(file, folder())
            : QStringLiteral("%1 was damaged. Marrowick started without it and kept it as %2.")
                  .arg(file, dataPath(file + ".corrupt-2"));
        QCOMPARE(state.storageNotice(), notice);
        QCOMPARE(test::fileBytes(dataPath(file + ".corrupt")), earlierCopy);
        QCOMPARE(test::fileBytes(dataPath(unreadable ? file : file + ".corrupt-2")), bytes);

        m_rig->providers.failNext(idA, QStringLiteral("connection refused")); // a down mark to write
        state.addSource(tcp(idA));
        m_rig->clock.advance(HistoryRecorder::writeDelay); // past the history's write
        const bool refused = unreadable && file == SourcesStore::fileName();
        QCOMPARE(state.sourcesSaveError().isEmpty(), !refused);
        QCOMPARE(SourcesStore::load(folder()).size(), refused ? 0 : 1);
        if (unreadable)
            QCOMPARE(test::fileBytes(dataPath(file)), bytes);
    }

    // Only names our own saves make are removed: anything else may be the user's.
    void leftoverTemporariesAreRemovedAtStart_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("removed");
        QTest::newRow("history's temporary") << QStringLiteral("history.json.marrowick-Ab12cD.tmp") << true;
        QTest::newRow("sources' temporary") << QStringLiteral("sources.json.marrowick-x9Y8z7.tmp") << true;
        QTest::newRow("earlier versions' temporary") << QStringLiteral("sources.json.AbCdEf") << false;
        QTest::newRow("the user's copy") << QStringLiteral("history.json.backup") << false;
        QTest::newRow("another ending") << QStringLiteral("sources.json.marrowick-Ab12cD.tmp~") << false;
        QTest::newRow("another file's") << QStringLiteral("notes.json.marrowick-Ab12cD.tmp") << false;
    }
    void leftoverTemporariesAreRemovedAtStart()
    {
        QFETCH(QString, name);
        QFETCH(bool, removed);
        QVERIFY(QDir().mkpath(folder()));
        QVERIFY(test::writeFile(dataPath(name), "{}"));
        build(true);
        QCOMPARE(QFile::exists(dataPath(name)), !removed);
    }

    void historyWriteFailuresAreToldUntilAWriteLands()
    {
        AppState &state = build();
        QSignalSpy notices(&state, &AppState::storageNoticeChanged);
        state.addSource(tcp(idA));
        QVERIFY(QDir(folder()).mkdir(HistoryStore::fileName())); // a folder where the file goes
        m_rig->clock.advance(30);
        QVERIFY(state.storageNotice().startsWith(QLatin1String("The history could not be saved (")));
        m_rig->clock.advance(30);
        QCOMPARE(notices.size(), 1);

        QVERIFY(QDir(folder()).rmdir(HistoryStore::fileName()));
        m_rig->clock.advance(30);
        QCOMPARE(state.storageNotice(), QString());
        QCOMPARE(notices.size(), 2);
        QVERIFY(HistoryStore::load(folder()).sampleCount() > 0);
    }

    void latencySeriesKeepTheNewestThirty()
    {
        AppState &state = build();
        QSignalSpy latencySpy(&state, &AppState::latencyHistoryChanged);
        state.addSource(tcp(idA));
        m_rig->clock.advance(0);
        for (int poll = 2; poll <= 31; ++poll)
            m_rig->clock.advance(5);
        QCOMPARE(fetches(idA), 31);
        const QList<double> series = state.latencyHistory().value(checkKey(idA));
        QCOMPARE(series.size(), 30);
        QCOMPARE(series.first(), 2.0);
        QCOMPARE(series.last(), 31.0);
        QCOMPARE(latencySpy.size(), 31);
        // The recorder got every poll too.
        QCOMPARE(state.historyRecorder()->current().samples(checkKey(idA)).size(), 31);
    }

    void deletingASourceRemovesWhatHangsOnIt()
    {
        AppState &state = build();
        state.addSource(tcp(idA));
        state.addSource(tcp(idB));
        m_rig->clock.advance(0);
        QCOMPARE(state.latencyHistory().size(), 2);
        QCOMPARE(state.historyRecorder()->current().samples().size(), 2);

        state.deleteSource(idA);
        QCOMPARE(state.latencyHistory().keys(), QList<QString>{checkKey(idB)});
        QCOMPARE(state.historyRecorder()->current().samples().keys(), QList<QString>{checkKey(idB)});
        // The results go with the engine's next update.
        m_rig->clock.advance(0);
        QVERIFY(!state.snapshots().contains(idA));
        QVERIFY(state.snapshots().contains(idB));
    }

    void replacingReloadsTheLatencyHistoryFromTheFile()
    {
        seedHistory(checkKey(idA), 3);
        SourcesStore::save({tcp(idA)}, folder());
        AppState &state = build();
        m_rig->clock.advance(0);
        QCOMPARE(state.latencyHistory().value(checkKey(idA)), (QList<double>{1, 2, 3, 1}));
        QVERIFY(QFile::remove(dataPath(QStringLiteral("sources.json"))));

        state.replaceSources(state.sources());
        QVERIFY(QFile::exists(dataPath(QStringLiteral("sources.json"))));
        QCOMPARE(state.latencyHistory().value(checkKey(idA)), (QList<double>{1, 2, 3}));
        m_rig->clock.advance(0);
        QCOMPARE(fetches(idA), 1); // an unchanged source keeps its loop
    }

    void secretsNoSourceUsesAreRemoved()
    {
        for (const QString &reference : {QStringLiteral("shared"), QStringLiteral("old"), QStringLiteral("other")})
            test::await(m_rig->credentials->setSecret(QStringLiteral("s"), reference));
        SourcesStore::save({kuma(idA, QStringLiteral("shared")), kuma(idB, QStringLiteral("shared")),
                            kuma(idC, QStringLiteral("old"))},
                           folder());
        AppState &state = build(true);
        const auto stored = [this] {
            m_rig->clock.settle();
            QStringList names = m_rig->credentials->secrets().keys();
            names.sort();
            return names;
        };

        state.deleteSource(idA);
        QCOMPARE(stored(), (QStringList{QStringLiteral("old"), QStringLiteral("other"), QStringLiteral("shared")}));
        state.updateSource(kuma(idC, QStringLiteral("new")));
        QCOMPARE(stored(), (QStringList{QStringLiteral("other"), QStringLiteral("shared")}));
        state.replaceSources({kuma(idC, QStringLiteral("new"))});
        QCOMPARE(stored(), QStringList{QStringLiteral("other")});
    }

    void alertsFollowTheSwitches_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("mute");
        QTest::addColumn<QStringList>("bodies");
        QTest::addColumn<bool>("sound");
        const QStringList both{QStringLiteral("Unreachable for less than a minute"), QStringLiteral("Back in under a minute")};
        QTest::newRow("defaults") << QString() << QVariant() << false << both << true;
        QTest::newRow("quiet") << SettingsKey::globalQuiet << QVariant(true) << false << QStringList() << true;
        QTest::newRow("no recovery notices") << SettingsKey::notifyOnRecovery << QVariant(false) << false
                                             << QStringList{both.first()} << true;
        QTest::newRow("recovery stored as text") << SettingsKey::notifyOnRecovery << QVariant(QStringLiteral("off"))
                                                 << false << both << true;
        QTest::newRow("sound off") << SettingsKey::soundAlerts << QVariant(false) << false << both << false;
        QTest::newRow("sound stored as text") << SettingsKey::soundAlerts << QVariant(QStringLiteral("no")) << false
                                              << both << true;
        QTest::newRow("muted source") << QString() << QVariant() << true << QStringList() << true;
    }
    void alertsFollowTheSwitches()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, value);
        QFETCH(bool, mute);
        QFETCH(QStringList, bodies);
        QFETCH(bool, sound);
        if (!key.isEmpty()) {
            QSettings raw(m_rig->dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
            raw.setValue(key, value);
        }
        AppState &state = build();
        QList<AlertEvent> sunk;
        state.setAlertEventsSink([&sunk](const QList<AlertEvent> &events) { sunk.append(events); });

        m_rig->providers.failNext(idA, QStringLiteral("connection refused"));
        state.addSource(mute ? muted(tcp(idA)) : tcp(idA));
        m_rig->clock.advance(0);
        QCOMPARE(state.errors().value(idA), QStringLiteral("connection refused"));
        QCOMPARE(state.overallStatus(), OverallStatus::degraded);
        m_rig->clock.advance(10);
        QCOMPARE(state.overallStatus(), OverallStatus::up);

        QCOMPARE(sunk.size(), 2); // the evaluator counts whatever is delivered
        QCOMPARE(sunk.first().title, QStringLiteral("Router is unreachable"));
        QStringList posted;
        for (const AlertNotification &notification : std::as_const(m_rig->alerts->posted)) {
            const AlertEvent &event = notification.body.startsWith(QLatin1String("Back")) ? sunk.last() : sunk.first();
            QCOMPARE(notification.title, event.title);
            QCOMPARE(notification.sound, sound);
            posted.append(notification.body);
        }
        QCOMPARE(posted, bodies);
    }

    void underTestNothingIsPosted()
    {
        AppState &state = build(true);
        int batches = 0;
        state.setAlertEventsSink([&batches](const QList<AlertEvent> &) { ++batches; });
        m_rig->providers.failNext(idA, QStringLiteral("down"));
        state.addSource(tcp(idA));
        m_rig->clock.advance(0);
        QCOMPARE(batches, 1);
        QVERIFY(m_rig->alerts->posted.isEmpty());
    }

    void resultsOfDeletedSourcesRaiseNoAlerts()
    {
        AppState &state = build();
        state.addSource(tcp(idA));
        PollEngine::Update update;
        update.polledSourceID = idB;
        QVERIFY(state.evaluateAlerts(idB, update).isEmpty());
        // A success without its snapshot counts as a failure.
        update.polledSourceID = idA;
        update.polledSucceeded = true;
        QCOMPARE(state.evaluateAlerts(idA, update).size(), 1);
    }

    // Both texts measure from the first failed check of the run, for an unreachable source (its
    // polls back off: 0, 120, 360 s, then 660 s) and for a server that a successful poll reports
    // offline (every 60 s).
    void alertTextsMeasureFromTheFirstFailedCheck_data()
    {
        QTest::addColumn<bool>("widget");
        QTest::addColumn<double>("recoveredAt");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("source unreachable")
            << false << 660.0
            << QStringList{QStringLiteral("Valheim is unreachable: Unreachable for 6 minutes"),
                           QStringLiteral("Valheim recovered: Back after 11 minutes")};
        QTest::newRow("server offline")
            << true << 480.0
            << QStringList{QStringLiteral("Valheim is down: Unreachable for 2 minutes"),
                           QStringLiteral("Valheim recovered: Back after 8 minutes")};
    }
    void alertTextsMeasureFromTheFirstFailedCheck()
    {
        QFETCH(bool, widget);
        QFETCH(double, recoveredAt);
        ValheimServer server;
        test::FakeProviders failing;
        AppState &state = buildWith(widget ? server.factory() : failing.factory());
        QList<AlertEvent> sunk;
        state.setAlertEventsSink([&sunk](const QList<AlertEvent> &events) { sunk.append(events); });
        if (!widget)
            failing.failNext(idC, QStringLiteral("connection refused"), 3);

        state.addSource(valheim(QStringLiteral("Valheim")));
        m_rig->clock.advance(recoveredAt - 1);
        server.online = true;
        m_rig->clock.advance(1);

        QTEST(posted(), "texts");
        QCOMPARE(sunk.size(), 2);
        QCOMPARE(sunk.first().downSince->wall, Instant{});
        QCOMPARE(sunk.last().downSince, sunk.first().downSince);
    }

    // The wall clock set ahead or back in an outage changes neither text. Threshold 2: the
    // polls at 0 and 10 s declare it down, and it recovers at 30, 70 or 150 s.
    void alertTextsIgnoreWallClockChanges_data()
    {
        QTest::addColumn<double>("move");
        QTest::addColumn<int>("failures");
        QTest::addColumn<QString>("back");
        QTest::newRow("8 days ahead, 30 s") << 8 * 86400.0 << 2 << "Back in under a minute";
        QTest::newRow("an hour ahead, 70 s") << 3600.0 << 3 << "Back after 1 minute";
        QTest::newRow("an hour back, 150 s") << -3600.0 << 4 << "Back after 2 minutes";
    }
    void alertTextsIgnoreWallClockChanges()
    {
        QFETCH(double, move);
        QFETCH(int, failures);
        QFETCH(QString, back);
        TCPPortConfig config = *tcp(idA).get<TCPPortConfig>();
        config.alertThreshold = 2;
        m_rig->providers.failNext(idA, QStringLiteral("connection refused"), failures);
        build().addSource(config);
        m_rig->clock.advance(5);
        m_rig->clock.moveWallClock(move);
        m_rig->clock.advance(200);
        QCOMPARE(posted(), (QStringList{QStringLiteral("Router is unreachable: Unreachable for less than a minute"),
                                        QStringLiteral("Router recovered: ") + back}));
    }

    // A game server renamed in the middle of its outage stays one widget: one "down", one
    // "recovered" under the new name, its sparkline kept, and nothing when the old name returns.
    void gameServerRenamedInAnOutage()
    {
        ValheimServer server;
        server.online = true;
        AppState &state = buildWith(server.factory());
        state.addSource(valheim(QStringLiteral("Valheim")));
        m_rig->clock.advance(0);
        server.online = false;
        m_rig->clock.advance(180); // offline at 60, 120 and 180: down
        state.updateSource(valheim(QStringLiteral("Valheim 2")));
        m_rig->clock.advance(240);
        server.online = true;
        m_rig->clock.advance(60);
        state.updateSource(valheim(QStringLiteral("Valheim")));
        m_rig->clock.advance(300);

        QCOMPARE(posted(), (QStringList{QStringLiteral("Valheim is down: Unreachable for 2 minutes"),
                                        QStringLiteral("Valheim 2 recovered: Back after 7 minutes")}));
        QCOMPARE(state.latencyHistory().keys(), QList<QString>{gameKey(idC)});
        QCOMPARE(state.historyRecorder()->current().samples().keys(), QList<QString>{gameKey(idC)});
        QCOMPARE(state.latencySeries(gameKey(idC)).size(), 1 + 1 + 6);
    }

    // An outage that outlives a restart is told once, and its recovery with its whole length,
    // measured on the boot-time clock within a boot and on the wall clock across boots. Polls
    // fail at 0, 10, 30 and 70 s (the widget's every 5 s); the program restarts at 122 s.
    void anOutageOutlivesARestart_data()
    {
        QTest::addColumn<bool>("widget");
        QTest::addColumn<int>("badPollsAfter");
        QTest::addColumn<bool>("otherBoot");
        QTest::addColumn<double>("wallClockMove");
        QTest::addColumn<QStringList>("texts");
        const QString down = QStringLiteral("Router is unreachable: Unreachable for less than a minute");
        const QString back = QStringLiteral("Router recovered: Back after 2 minutes");
        QTest::newRow("back at the restart") << false << 0 << false << 0.0 << QStringList{down, back};
        QTest::newRow("still down after it") << false << 2 << false << 0.0 << QStringList{down, back};
        QTest::newRow("the wall clock moved meanwhile") << false << 0 << false << 3600.0 << QStringList{down, back};
        QTest::newRow("after a reboot") << false << 0 << true << 3600.0
                                        << QStringList{down, QStringLiteral("Router recovered: Back after 62 minutes")};
        // A check that its source reports down, every 5 s.
        QTest::newRow("a widget") << true << 0 << false << 0.0
                                  << QStringList{QStringLiteral("poll 1 is down: Unreachable for less than a minute"),
                                                 QStringLiteral("poll 26 recovered: Back after 2 minutes")};
    }
    void anOutageOutlivesARestart()
    {
        QFETCH(bool, widget);
        QFETCH(int, badPollsAfter);
        QFETCH(bool, otherBoot);
        QFETCH(double, wallClockMove);
        for (int poll = 0; poll < (widget ? 25 : 4) + badPollsAfter; ++poll) {
            if (widget)
                m_rig->providers.downNext(idA, QStringLiteral("connection refused"));
            else
                m_rig->providers.failNext(idA, QStringLiteral("connection refused"));
        }
        build().addSource(tcp(idA));
        m_rig->clock.advance(122);
        test::await(m_rig->state->saveBeforeQuit());
        m_rig->state.reset();

        m_rig->clock.moveWallClock(wallClockMove);
        if (otherBoot)
            m_rig->boot = m_rig->clock.bootClock(QStringLiteral("next boot"), 30);
        build();
        m_rig->clock.advance(60);
        QTEST(posted(), "texts");
        QVERIFY(AlertMarksStore::load(folder(), m_rig->boot.bootID).isEmpty());
    }

    // Marks of a source gone from the sources by the next start go, from the file too.
    void aSourceGoneByTheRestartLeavesNothing()
    {
        m_rig->providers.failNext(idA, QStringLiteral("connection refused"));
        m_rig->providers.failNext(idB, QStringLiteral("connection refused"), 10);
        build().setSources({tcp(idA), tcp(idB)});
        m_rig->clock.advance(1);
        test::await(m_rig->state->saveBeforeQuit());
        m_rig->state.reset();
        QCOMPARE(AlertMarksStore::load(folder(), m_rig->boot.bootID).size(), 2);

        SourcesStore::save({tcp(idB)}, folder());
        build(/*underTest*/ true);
        m_rig->clock.advance(AppState::alertMarksWriteDelay);
        const QList<DownMark> marks = AlertMarksStore::load(folder(), m_rig->boot.bootID);
        QCOMPARE(marks.size(), 1);
        QCOMPARE(marks.first().sourceID, idB);
        m_rig->state.reset();
        build().addSource(tcp(idA));
        m_rig->clock.advance(1);
        QCOMPARE(posted().size(), 2);
    }

    // Of an outage the user was not told of, the recovery tells nothing either.
    void aRecoveryIsToldOnlyOfAToldOutage_data()
    {
        QTest::addColumn<QString>("during");
        QTest::addColumn<QStringList>("texts");
        const QString down = QStringLiteral("Router is unreachable: Unreachable for less than a minute");
        QTest::newRow("unmuted in the outage") << "muted" << QStringList();
        QTest::newRow("quiet turned off in it") << "quiet" << QStringList();
        QTest::newRow("muted, restarted, unmuted") << "muted and restarted" << QStringList();
        QTest::newRow("muted after the down was told")
            << "told, then muted" << QStringList{down, QStringLiteral("Router recovered: Back in under a minute")};
    }
    void aRecoveryIsToldOnlyOfAToldOutage()
    {
        QFETCH(QString, during);
        AppState &state = build();
        m_rig->providers.failNext(idA, QStringLiteral("connection refused"), 2);
        const bool silenced = during != QLatin1String("told, then muted");
        if (during == QLatin1String("quiet"))
            m_rig->settings->setGlobalQuiet(true);
        state.addSource(silenced && during != QLatin1String("quiet") ? muted(tcp(idA)) : tcp(idA));
        m_rig->clock.advance(1);
        if (during == QLatin1String("told, then muted"))
            state.updateSource(muted(tcp(idA)));
        if (during == QLatin1String("muted and restarted")) {
            test::await(state.saveBeforeQuit());
            m_rig->state.reset();
            build();
        }
        m_rig->settings->setGlobalQuiet(false);
        m_rig->state->updateSource(tcp(idA));
        m_rig->clock.advance(40);
        QVERIFY(!m_rig->state->error(idA));
        QTEST(posted(), "texts");
    }

    // A source removed while down takes its down mark along: added again, it recovers silently.
    void removedSourcesLeaveNoAlertState()
    {
        AppState &state = build();
        QList<AlertEvent> sunk;
        state.setAlertEventsSink([&sunk](const QList<AlertEvent> &events) { sunk.append(events); });
        m_rig->providers.failNext(idA, QStringLiteral("connection refused"));
        state.addSource(tcp(idA));
        m_rig->clock.advance(0);
        QCOMPARE(sunk.size(), 1);
        state.deleteSource(idA);
        state.addSource(tcp(idA));
        m_rig->clock.advance(0);
        QCOMPARE(fetches(idA), 2);
        QCOMPARE(sunk.size(), 1);
    }

    // What history and layout files hold under a game widget's former key, its source's display
    // name, belongs to the widget's key now: the sparkline goes on and a hidden widget stays hidden.
    void storedGameWidgetKeysCarryOver()
    {
        const QString oldKey = uuidText(idC) + QStringLiteral("/game:Valheim");
        SourcesStore::save({valheim(QStringLiteral("Valheim")), tcp(idA)}, folder());
        // The provider stamps its snapshots with the wall clock; the history keeps a week before it.
        const Instant earlier = Instant::now().advanced(-60);
        PollHistory history;
        for (int i = 1; i <= 3; ++i) {
            history.append(oldKey, HistorySample{earlier.advanced(i), double(i), ServiceStatus::up});
            history.append(checkKey(idA), HistorySample{earlier.advanced(i), double(i), ServiceStatus::up});
        }
        HistoryStore::save(history, folder());
        WidgetLayout layout;
        layout.order = {checkKey(idA), oldKey};
        layout.hidden = {oldKey};
        layout.save(*m_rig->settings);

        ValheimServer server;
        server.online = true;
        AppState &state = buildWith(server.factory());
        m_rig->clock.advance(0);

        QCOMPARE(state.latencySeries(gameKey(idC)), (QList<double>{1, 2, 3, 0}));
        QVERIFY(!state.latencyHistory().contains(oldKey));
        QCOMPARE(state.historyRecorder()->current().samples(gameKey(idC)).size(), 4);
        QVERIFY(!state.historyRecorder()->current().samples().contains(oldKey));
        layout.order = {checkKey(idA), gameKey(idC)};
        layout.hidden = {gameKey(idC)};
        QCOMPARE(state.widgetLayout(), layout);
        QCOMPARE(WidgetLayout::load(*m_rig->settings), layout);
        m_rig->clock.advance(HistoryRecorder::writeDelay);
        QCOMPARE(HistoryStore::load(folder()).samples().keys().contains(oldKey), false);
    }

    // Through a computer that loses its network, with sources set to alert at their first bad
    // poll: one announced down before, one up. Nothing is posted but that source's recovery,
    // and the network's return polls both at once.
    void aComputerWithoutNetworkAlertsNothing_data()
    {
        QTest::addColumn<bool>("statusTells"); // else the poll itself says: no route
        QTest::newRow("no route") << false;
        QTest::newRow("NetworkManager says offline") << true;
    }
    void aComputerWithoutNetworkAlertsNothing()
    {
        QFETCH(bool, statusTells);
        auto network = std::make_shared<test::FakeNetworkStatus>();
        m_rig->network = network;
        AppState &state = build();
        QSignalSpy told(&state, &AppState::isWithoutNetworkChanged);
        m_rig->providers.downNext(idB, QStringLiteral("closed"));
        state.setSources({tcp(idA), tcp(idB)});
        m_rig->clock.advance(0);
        const QString down = QStringLiteral("poll 1 is down: Unreachable for less than a minute");
        QCOMPARE(posted(), QStringList{down});

        for (const QUuid &id : {idA, idB}) {
            if (statusTells)
                m_rig->providers.downNext(id, QStringLiteral("host not found"));
            else
                m_rig->providers.throwNext(id, std::make_exception_ptr(noRouteError()));
        }
        network->offline = statusTells;
        m_rig->clock.advance(5);
        QVERIFY(state.isWithoutNetwork());
        QCOMPARE(told.size(), 1);
        QCOMPARE(posted().size(), 1);

        m_rig->providers.downNext(idB, QStringLiteral("closed"));
        network->set(false);
        m_rig->clock.advance(0);
        QCOMPARE(fetches(idA), 3);
        QCOMPARE(fetches(idB), 3);
        QVERIFY(!state.isWithoutNetwork());
        QCOMPARE(told.size(), 2);
        QCOMPARE(posted().size(), 1);
        m_rig->clock.advance(5);
        QCOMPARE(posted(), (QStringList{down, QStringLiteral("poll 4 recovered: Back in under a minute")}));
    }

    // A locked keyring at start: one unlock prompt for every source with a secret. Declined,
    // each source says so, and later polls do not put it up again; a refresh, or an unlock by
    // another program, does, once.
    void aDeclinedKeyringIsAskedAgainOnRefresh_data()
    {
        QTest::addColumn<bool>("unlockedElsewhere"); // else the user refreshes
        QTest::newRow("refresh") << false;
        QTest::newRow("unlocked by another program") << true;
    }
    void aDeclinedKeyringIsAskedAgainOnRefresh()
    {
        QFETCH(bool, unlockedElsewhere);
        auto keyring = std::make_shared<test::ScriptedKeyring>();
        auto store = std::make_shared<KeychainCredentialStore>(QStringLiteral("dev.tobrin.marrowick"), 60, keyring,
                                                               m_rig->clock.sleepFunction());
        const QList<QUuid> ids{idA, idB, idC};
        QList<AnySourceConfig> sources;
        for (const QUuid &id : ids)
            sources.append(kuma(id, QStringLiteral("kuma-") + id.toString(QUuid::WithoutBraces)));
        SourcesStore::save(sources, folder());
        AppState state(AppStateServices{store, folder(), m_rig->settings.get(), m_rig->alerts,
                                        [](const AnySourceConfig &config, CredentialStoreHandle credentials) {
                                            return std::make_unique<SecretReadingProvider>(config, credentials);
                                        },
                                        m_rig->clock.sleepFunction(), m_rig->clock.nowFunction(), m_rig->clock.bootClock(), false, nullptr});
        m_rig->clock.advance(1);
        QCOMPARE(keyring->asked.size(), 1);

        keyring->answerHeld(test::ScriptedKeyring::reply(Keyring::Outcome::locked));
        m_rig->clock.advance(0);
        for (const QUuid &id : ids)
            QCOMPARE(*state.error(id), QStringLiteral("keyring locked: refresh and unlock it when asked"));
        m_rig->clock.advance(900);
        QCOMPARE(keyring->asked.size(), 1);
        // No server was asked.
        QVERIFY(m_rig->alerts->posted.isEmpty());

        keyring->answer = test::ScriptedKeyring::reply(Keyring::Outcome::done, "key");
        if (unlockedElsewhere)
            keyring->tell(Keyring::Change::unlocked);
        else
            state.refreshAll();
        m_rig->clock.advance(0);
        QCOMPARE(keyring->asked.size(), 4);
        QCOMPARE(keyring->mostAtOnce, 1);
        for (const QUuid &id : ids)
            QVERIFY(!state.error(id));
    }

    void refreshAllPollsAtOnceUnlessPaused()
    {
        AppState &state = build();
        state.addSource(tcp(idA));
        m_rig->clock.advance(0);
        state.refreshAll();
        m_rig->clock.advance(0);
        QCOMPARE(fetches(idA), 2);
        state.setPaused(true);
        state.refreshAll();
        m_rig->clock.advance(0);
        QCOMPARE(fetches(idA), 2);
    }

    void layoutAssignmentsAreSaved()
    {
        AppState &state = build();
        QSignalSpy layoutSpy(&state, &AppState::widgetLayoutChanged);
        WidgetLayout layout;
        layout.collapsed.insert(uuidText(idA));
        state.setWidgetLayout(layout);
        state.setWidgetLayout(layout);
        QCOMPARE(layoutSpy.size(), 1);
        QCOMPARE(WidgetLayout::load(*m_rig->settings), layout);
    }

    void overallStatus_data()
    {
        QTest::addColumn<QList<SourceSnapshot>>("snapshots");
        QTest::addColumn<bool>("withError");
        QTest::addColumn<OverallStatus>("expected");
        const QUuid c = QUuid::createUuid();
        QTest::newRow("nothing") << QList<SourceSnapshot>{} << false << OverallStatus::unknown;
        QTest::newRow("no widgets") << QList<SourceSnapshot>{snapshotOf(idA, {})} << false << OverallStatus::unknown;
        QTest::newRow("unknown widget") << QList<SourceSnapshot>{snapshotOf(idA, {service(ServiceStatus::unknown)})}
                                        << false << OverallStatus::unknown;
        QTest::newRow("labelled values") << QList<SourceSnapshot>{snapshotOf(idA, {WidgetData::keyValues("T", {})})}
                                         << false << OverallStatus::up;
        QTest::newRow("warn beats up")
            << QList<SourceSnapshot>{snapshotOf(idA, {service(ServiceStatus::warn), service(ServiceStatus::up)})}
            << false << OverallStatus::degraded;
        QTest::newRow("error") << QList<SourceSnapshot>{snapshotOf(idA, {service(ServiceStatus::up)})} << true
                               << OverallStatus::degraded;
        QTest::newRow("offline game beats error")
            << QList<SourceSnapshot>{snapshotOf(idA, {service(ServiceStatus::warn)}), snapshotOf(c, {game(false)})}
            << true << OverallStatus::down;
        QTest::newRow("online game") << QList<SourceSnapshot>{snapshotOf(idA, {game(true)})} << false
                                     << OverallStatus::up;
    }
    void overallStatus()
    {
        QFETCH(QList<SourceSnapshot>, snapshots);
        QFETCH(bool, withError);
        QFETCH(OverallStatus, expected);
        SourceMap<SourceSnapshot> map;
        for (const SourceSnapshot &snapshot : snapshots)
            map.insert(snapshot.sourceID, snapshot);
        SourceMap<QString> errors;
        if (withError)
            errors.insert(idB, QStringLiteral("timed out"));
        QCOMPARE(AppState::computeOverallStatus(map, errors), expected);
    }

    void tallyAgreesWithTheFullComputation()
    {
        // Random polls, failures and removals over three sources: the running tally always
        // says what a scan of every snapshot says.
        QRandomGenerator random(7);
        const QList<QUuid> ids{idA, idB, QUuid::createUuid()};
        const QList<WidgetData> widgets{service(ServiceStatus::up),      service(ServiceStatus::down),
                                        service(ServiceStatus::warn),    service(ServiceStatus::unknown),
                                        game(true),                      game(false),
                                        WidgetData::keyValues("T", {})};
        SourceMap<SourceSnapshot> snapshots;
        SourceMap<QString> errors;
        OverallStatusTally tally;
        for (int step = 0; step < 3000; ++step) {
            const QUuid id = ids.at(random.bounded(int(ids.size())));
            switch (random.bounded(4)) {
            case 0: // a failed poll keeps the snapshot
                errors.insert(id, QStringLiteral("timed out"));
                break;
            case 1: // the source went
                tally.replaceSnapshot(snapshots.find(id), nullptr);
                snapshots.remove(id);
                errors.remove(id);
                break;
            default: {
                QList<WidgetData> polled;
                for (int count = random.bounded(4); count > 0; --count)
                    polled.append(widgets.at(random.bounded(int(widgets.size()))));
                const SourceSnapshot snapshot = snapshotOf(id, polled);
                tally.replaceSnapshot(snapshots.find(id), &snapshot);
                snapshots.insert(id, snapshot);
                errors.remove(id);
            }
            }
            tally.setErrorCount(errors.size());
            QCOMPARE(tally.status(), AppState::computeOverallStatus(snapshots, errors));
        }
    }
};

QTEST_GUILESS_MAIN(TestAppState)
#include "tst_AppState.moc"
