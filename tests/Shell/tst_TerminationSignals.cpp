#include "Marrowick/Shell/MarrowickApp.h"
#include "Marrowick/Shell/ProgramMain.h"
#include "Marrowick/Shell/TerminationSignals.h"
#include "Marrowick/State/AppState.h"
#include "Marrowick/State/SourcesStore.h"
#include "MarrowickKit/Engine/HistoryStore.h"
#include "MarrowickKit/Engine/JSONFileStore.h"
#include "MarrowickKit/Model/UuidText.h"

#include "support/PrivateDisplay.h"
#include "support/StorageFaults.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <sys/resource.h>

using namespace marrowick;

namespace {

const char *const writeArgument = "--write-over-the-size-limit";
const char *const startArgument = "--terminated-while-starting";
const char *const signalArgument = "--signalled";
const char *const runningArgument = "--running-until-ended";

// The second process: from the given disposition of `signal` (ignored, as nohup leaves a
// hang-up, or the default), catches the signals as the program does and gets `signal`. Prints
// whether it was told to quit.
int signalled(int signal, bool ignoredAtStart)
{
    std::signal(signal, ignoredAtStart ? SIG_IGN : SIG_DFL);
    TerminationSignals::catchFromNow();
    TerminationSignals catcher;
    bool received = false;
    QObject::connect(&catcher, &TerminationSignals::received, [&received] { received = true; });
    ::raise(signal);
    // The handler has written to the socket already; its notifier needs a turn or two.
    for (int turn = 0; turn < 50 && !received; ++turn)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    std::printf("%s\n", received ? "quits" : "runs on");
    std::fflush(stdout);
    return 0;
}

// The second process: from the default disposition of SIGXFSZ, takes the program's start-up
// step or not, then saves a history past a file-size limit of one byte. It prints why the save
// failed, if it lives to.
int writeOverTheSizeLimit(const QString &folder, bool startLikeTheProgram, int bytes)
{
    std::signal(SIGXFSZ, SIG_DFL);
    if (startLikeTheProgram)
        ignoreFileSizeSignal();
    const rlimit noCore{0, 0};
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = 1;
    if (::setrlimit(RLIMIT_CORE, &noCore) != 0 || ::setrlimit(RLIMIT_FSIZE, &limit) != 0)
        return 2;
    try {
        JSONFileStore::save(QByteArray(bytes, ' '), QDir(folder).filePath(QStringLiteral("history.json")));
    } catch (const std::exception &error) {
        std::printf("%s\n", error.what());
    }
    // A program started from here must meet the default disposition again.
    QProcess shell;
    shell.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("kill -XFSZ $$")});
    shell.waitForFinished(30000);
    std::printf("started program %s\n", shell.exitStatus() == QProcess::CrashExit ? "ended" : "lived on");
    std::fflush(stdout);
    return 0;
}

// A poll's result that waits to be written, as the history does between its writes.
void recordUnwrittenSample(AppState &state)
{
    if (state.sources().isEmpty())
        std::exit(3);
    CheckResult check;
    check.id = QStringLiteral("port");
    check.name = QStringLiteral("Port");
    check.status = ServiceStatus::up;
    check.latencyMs = 12;
    state.historyRecorder()->record(SourceSnapshot{state.sources().first().id(), Instant::now(), {WidgetData::check(check)}},
                                    AppState::historyStatus, AppState::historyLatency);
}

// The second process: the program's own start, which gets SIGTERM after the single-instance
// claim, before it has loaded anything or run its event loop, or before the program could catch
// it. A poll's result that came in meanwhile waits to be written, as the history does between
// its writes.
int terminatedWhileStarting(int argc, char *argv[], const QString &folder, bool afterTheClaim)
{
    qputenv("XDG_DATA_HOME", QFile::encodeName(folder + "/data"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder + "/config"));
    if (!afterTheClaim)
        ::raise(SIGTERM);
    ProgramMainHooks hooks;
    hooks.beforeLoading = [] { ::raise(SIGTERM); };
    hooks.beforeLoop = [](MarrowickApp &marrowick) { recordUnwrittenSample(*marrowick.appState()); };
    return runProgram(argc, argv, hooks);
}

// The second process: the program on the display it was given, with a poll's result and an
// added source that could not be saved (the disk was full), neither written yet. Prints
// "running" once its event loop runs, then runs until something ends it.
int runningUntilEnded(int argc, char *argv[], const QString &folder)
{
    qputenv("XDG_DATA_HOME", QFile::encodeName(folder + "/data"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder + "/config"));
    ProgramMainHooks hooks;
    hooks.beforeLoop = [](MarrowickApp &marrowick) {
        AppState *state = marrowick.appState();
        recordUnwrittenSample(*state);
        {
            const test::FileSizeLimit full(1);
            state->addSource(TCPPortConfig(QUuid::createUuid(), QStringLiteral("Added"), QStringLiteral("127.0.0.1"), 9));
        }
        if (state->sourcesSaveError().isEmpty())
            std::exit(4);
        // Behind the start's own first step, which hands the state over.
        QTimer::singleShot(0, [] {
            QTimer::singleShot(0, [] {
                std::printf("running\n");
                std::fflush(stdout);
            });
        });
    };
    return runProgram(argc, argv, hooks);
}

// This binary as the program, over a data folder that holds one source, `source`. Off the bus:
// the program's name there belongs to the single-instance tests' copies.
void startProgram(QProcess &child, const QString &data, const QUuid &source, QStringList arguments)
{
    SourcesStore::save({TCPPortConfig(source, QStringLiteral("Port"), QStringLiteral("127.0.0.1"), 9)}, data);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    // Its start and quit leave nothing allocated: in the sanitizer build, a leak fails the exit.
    environment.insert(QStringLiteral("ASAN_OPTIONS"),
                       environment.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=1"));
    child.setProcessEnvironment(environment);
    arguments.append(QStringLiteral("-uiTestDemoSources"));
    child.start(QCoreApplication::applicationFilePath(), arguments);
}

} // namespace

class TestTerminationSignals : public QObject {
    Q_OBJECT

private slots:
    // Past `ulimit -f` a write ends the process unless the signal is caught; the program
    // catches it at start, so the save fails as on a full disk, with the reason, while the
    // programs it starts keep the default.
    void aWriteOverTheFileSizeLimit_data()
    {
        QTest::addColumn<bool>("startLikeTheProgram");
        QTest::addColumn<int>("bytes"); // Qt buffers a small save, a large one goes straight to the file
        QTest::newRow("started like the program, small save") << true << 100;
        QTest::newRow("started like the program, large save") << true << 64 * 1024;
        QTest::newRow("default disposition") << false << 100; // what the rows above guard against
    }
    void aWriteOverTheFileSizeLimit()
    {
        QFETCH(bool, startLikeTheProgram);
        QFETCH(int, bytes);
        QTemporaryDir folder;
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QString::fromLatin1(writeArgument), folder.path(), QString::number(int(startLikeTheProgram)),
                     QString::number(bytes)});
        QVERIFY(child.waitForFinished(30000));
        const QByteArray output = child.readAllStandardOutput() + child.readAllStandardError();
        QCOMPARE(child.exitStatus(), startLikeTheProgram ? QProcess::NormalExit : QProcess::CrashExit);
        QCOMPARE(child.exitCode(), startLikeTheProgram ? 0 : SIGXFSZ);
        QVERIFY2(!startLikeTheProgram || output.contains("File too large"), output.constData());
        QVERIFY2(!startLikeTheProgram || output.contains("started program ended"), output.constData());
    }

    // A signal ignored when the program started stays ignored: under nohup a hang-up must not
    // end it. One with its default disposition quits through the quit path.
    void anInheritedIgnoreIsKept_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("ignoredAtStart");
        QTest::newRow("hang-up under nohup") << int(SIGHUP) << true;
        QTest::newRow("hang-up") << int(SIGHUP) << false;
        QTest::newRow("terminate, ignored") << int(SIGTERM) << true;
        QTest::newRow("terminate") << int(SIGTERM) << false;
    }
    void anInheritedIgnoreIsKept()
    {
        QFETCH(int, signal);
        QFETCH(bool, ignoredAtStart);
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(signalArgument),
                                                              QString::number(signal),
                                                              QString::number(int(ignoredAtStart))});
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.readAllStandardOutput().trimmed(), ignoredAtStart ? QByteArray("runs on") : QByteArray("quits"));
    }

    // A logout while a large sources file loads: the program, which catches the signals before
    // it loads anything, quits through its quit path once its event loop runs, with exit status
    // 0, the history written and no memory left allocated.
    void aSignalWhileStartingQuitsOnceTheLoopRuns_data()
    {
        QTest::addColumn<bool>("startLikeTheProgram");
        QTest::newRow("before loading") << true;
        QTest::newRow("before the program catches it") << false; // what the row above guards against
    }
    void aSignalWhileStartingQuitsOnceTheLoopRuns()
    {
        QFETCH(bool, startLikeTheProgram);
        QTemporaryDir folder;
        const QString data = folder.filePath(QStringLiteral("data/Marrowick"));
        const QUuid id = QUuid::createUuid();
        QProcess child;
        startProgram(child, data, id,
                     {QString::fromLatin1(startArgument), folder.path(), QString::number(int(startLikeTheProgram))});
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitStatus(), startLikeTheProgram ? QProcess::NormalExit : QProcess::CrashExit);
        QCOMPARE(child.exitCode(), startLikeTheProgram ? 0 : SIGTERM);
        const PollHistory history = HistoryStore::load(data);
        QCOMPARE(history.latencies(uuidText(id) + QStringLiteral("/check:port")),
                 startLikeTheProgram ? QList<double>{12} : QList<double>());
    }

    // At logout on X11 the X server goes away under the program, and Qt ends the process at
    // once: the program still writes its history and tries its unsaved sources, and ends with
    // status 0, as on SIGTERM. A signal never asks about what would be lost.
    void anEndOfTheSessionWritesWhatWaits_data()
    {
        QTest::addColumn<bool>("xServerEnds"); // else SIGTERM
        QTest::newRow("the X server ends") << true;
        QTest::newRow("SIGTERM") << false;
    }
    void anEndOfTheSessionWritesWhatWaits()
    {
        QFETCH(bool, xServerEnds);
        // The display is the child's; this process stays on its own platform.
        const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
        const QByteArray display = qgetenv("DISPLAY");
        const auto restore = qScopeGuard([&] {
            qputenv("QT_QPA_PLATFORM", platform);
            qputenv("DISPLAY", display);
        });
        std::optional<test::PrivateDisplay> server(std::in_place);
        if (!server->isReady())
            QSKIP("Xvfb is not installed");
        QTemporaryDir folder;
        const QString data = folder.filePath(QStringLiteral("data/Marrowick"));
        const QUuid id = QUuid::createUuid();
        QProcess child;
        startProgram(child, data, id, {QString::fromLatin1(runningArgument), folder.path()});
        QVERIFY(QTest::qWaitFor([&child] { return child.canReadLine() || child.state() == QProcess::NotRunning; }, 30000));
        QCOMPARE(child.readLine().trimmed(), QByteArray("running"));
        if (xServerEnds)
            server.reset();
        else
            child.terminate();
        QVERIFY(child.waitForFinished(30000));

        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        QCOMPARE(HistoryStore::load(data).latencies(uuidText(id) + QStringLiteral("/check:port")), QList<double>{12});
        const QList<AnySourceConfig> saved = SourcesStore::load(data);
        QCOMPARE(saved.size(), 2);
        QCOMPARE(saved.last().displayName(), QStringLiteral("Added"));
    }
};

int main(int argc, char *argv[])
{
    // The program makes its own application object.
    if (argc == 5 && qstrcmp(argv[1], startArgument) == 0)
        return terminatedWhileStarting(argc, argv, QFile::decodeName(argv[2]), QByteArray(argv[3]) == "1");
    if (argc == 4 && qstrcmp(argv[1], runningArgument) == 0)
        return runningUntilEnded(argc, argv, QFile::decodeName(argv[2]));
    QApplication app(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], signalArgument) == 0)
        return signalled(QByteArray(argv[2]).toInt(), QByteArray(argv[3]) == "1");
    if (argc == 5 && qstrcmp(argv[1], writeArgument) == 0)
        return writeOverTheSizeLimit(QFile::decodeName(argv[2]), QByteArray(argv[3]) == "1", QByteArray(argv[4]).toInt());
    TestTerminationSignals test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_TerminationSignals.moc"
