#include "Marrowick/Shell/TerminationSignals.h"
#include "MarrowickKit/Engine/HistoryRecorder.h"

#include "support/TestSupport.h"
#include "support/VirtualClock.h"

#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>

#include <sys/resource.h>

using namespace marrowick;

namespace {

const char *const writeArgument = "--write-over-the-size-limit";

// The second process: starts with the default disposition of SIGXFSZ, takes the program's
// start-up step or not, then writes its history past a file-size limit of one byte. It prints
// the failure the history reports, if it lives to.
int writeOverTheSizeLimit(const QString &folder, bool startLikeTheProgram)
{
    std::signal(SIGXFSZ, SIG_DFL);
    if (startLikeTheProgram)
        ignoreFileSizeSignal();
    test::VirtualClock clock;
    HistoryRecorder recorder(folder, clock.sleepFunction(), clock.nowFunction());
    const CheckResult check{QStringLiteral("c"), QStringLiteral("Check"), ServiceStatus::up, 20, std::nullopt};
    recorder.record(SourceSnapshot{QUuid::createUuid(), clock.now(), {WidgetData::check(check)}},
                    [](const WidgetData &) { return ServiceStatus::up; },
                    [](const WidgetData &) { return std::optional<double>(20); });
    const rlimit noCore{0, 0};
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = 1;
    if (::setrlimit(RLIMIT_CORE, &noCore) != 0 || ::setrlimit(RLIMIT_FSIZE, &limit) != 0)
        return 2;
    test::await(recorder.flush());
    std::printf("%s\n", qPrintable(recorder.writeError()));
    return 0;
}

} // namespace

class TestTerminationSignals : public QObject {
    Q_OBJECT

private slots:
    // Over `ulimit -f` a write ends the process unless the signal is ignored; the program
    // ignores it at start, so the write fails like one on a full disk and the history says so.
    void aWriteOverTheFileSizeLimit_data()
    {
        QTest::addColumn<bool>("startLikeTheProgram");
        QTest::newRow("started like the program") << true;
        QTest::newRow("default disposition") << false; // what the first row guards against
    }
    void aWriteOverTheFileSizeLimit()
    {
        QFETCH(bool, startLikeTheProgram);
        QTemporaryDir folder;
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QString::fromLatin1(writeArgument), folder.path(), QString::number(int(startLikeTheProgram))});
        QVERIFY(child.waitForFinished(30000));
        const QByteArray output = child.readAllStandardOutput() + child.readAllStandardError();
        if (!startLikeTheProgram) {
            QCOMPARE(child.exitStatus(), QProcess::CrashExit);
            QCOMPARE(child.exitCode(), SIGXFSZ);
            return;
        }
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        QVERIFY2(output.contains("File too large"), output.constData());
    }
};

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], writeArgument) == 0)
        return writeOverTheSizeLimit(QFile::decodeName(argv[2]), QByteArray(argv[3]) == "1");
    TestTerminationSignals test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_TerminationSignals.moc"
