#include "Marrowick/Shell/TerminationSignals.h"
#include "MarrowickKit/Engine/JSONFileStore.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>

#include <sys/resource.h>

using namespace marrowick;

namespace {

const char *const writeArgument = "--write-over-the-size-limit";

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
};

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc == 5 && qstrcmp(argv[1], writeArgument) == 0)
        return writeOverTheSizeLimit(QFile::decodeName(argv[2]), QByteArray(argv[3]) == "1", QByteArray(argv[4]).toInt());
    TestTerminationSignals test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_TerminationSignals.moc"
