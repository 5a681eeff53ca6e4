#include "Marrowick/Shell/SingleInstance.h"

#include "support/StorageFaults.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <memory>
#include <optional>

#include <sys/stat.h>

using namespace marrowick;

namespace {

using Claim = SingleInstance::Claim;

// The real program's bus name; the copies started below claim it on the tests' private bus.
const QString programIdentifier = QStringLiteral("dev.tobrin.marrowick");

bool isOnBus(const QString &name)
{
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(name).value();
}

// The process the lock file names, as a later start reads it.
qint64 lockHolder(const QString &path)
{
    return test::fileBytes(path).split('\n').value(0).toLongLong();
}

const char *const holdArgument = "--hold-lock";

// The second process: a copy that claims `folder` and holds it until its standard input
// closes. Its first line says whether it got it.
int holdLock(const QString &folder)
{
    SingleInstance instance(programIdentifier, folder, QDBusConnection(QStringLiteral("no bus")));
    std::printf("%s\n", instance.claim() == SingleInstance::Claim::owner ? "held" : "not held");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    return 0;
}

// A copy of the program in a throw-away home, offscreen, on the session bus of this test.
class ProgramRun {
public:
    explicit ProgramRun(const QTemporaryDir &home)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home.path());
        environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral(MARROWICK_PROGRAM), QStringList());
    }

    ~ProgramRun()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }

    QProcess process;
};

} // namespace

class TestSingleInstance : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_folder;
    QString m_identifier;
    QStringList m_connectionNames;

    // Each copy has a connection of its own, as each process would.
    QDBusConnection connection(bool onBus)
    {
        if (!onBus)
            return QDBusConnection(QStringLiteral("no bus"));
        const QString name = QStringLiteral("copy ") + QString::number(m_connectionNames.size());
        m_connectionNames.append(name);
        return QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
    }

    std::unique_ptr<SingleInstance> instance(bool onBus)
    {
        return std::make_unique<SingleInstance>(m_identifier, m_folder.filePath(QStringLiteral("data")),
                                                connection(onBus));
    }

private slots:
    void initTestCase()
    {
        m_identifier = QStringLiteral("dev.tobrin.marrowicktest.p") + QString::number(QCoreApplication::applicationPid());
    }

    void cleanup()
    {
        for (const QString &name : std::as_const(m_connectionNames))
            QDBusConnection::disconnectFromBus(name);
        m_connectionNames.clear();
    }

    void secondStart_data()
    {
        QTest::addColumn<bool>("firstOnBus");
        QTest::addColumn<bool>("secondOnBus");
        QTest::addColumn<Claim>("second");

        QTest::newRow("both on the bus: handed over") << true << true << Claim::handedOver;
        // Without a way to reach the first, the data folder still keeps the second out.
        QTest::newRow("second without a bus") << true << false << Claim::alreadyRunning;
        QTest::newRow("first without a bus") << false << true << Claim::alreadyRunning;
        QTest::newRow("neither on a bus") << false << false << Claim::alreadyRunning;
    }

    void secondStart()
    {
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("no session bus");
        QFETCH(bool, firstOnBus);
        QFETCH(bool, secondOnBus);
        QFETCH(Claim, second);

        auto first = instance(firstOnBus);
        QSignalSpy activations(first.get(), &SingleInstance::activationRequested);
        QCOMPARE(first->claim(), Claim::owner);
        QCOMPARE(isOnBus(m_identifier), firstOnBus);

        auto later = instance(secondOnBus);
        QCOMPARE(later->claim(), second);
        QCOMPARE(activations.size(), second == Claim::handedOver ? 1 : 0);
        if (second == Claim::alreadyRunning)
            QVERIFY2(later->error().contains(QString::number(QCoreApplication::applicationPid())),
                     qPrintable(later->error()));
        // A copy that stays out leaves the name to nobody, or to the first.
        later.reset();
        QCOMPARE(isOnBus(m_identifier), firstOnBus);

        // Once the first has gone, the next start runs.
        first.reset();
        QVERIFY(!isOnBus(m_identifier));
        auto next = instance(secondOnBus);
        QCOMPARE(next->claim(), Claim::owner);
        QCOMPARE(isOnBus(m_identifier), secondOnBus);
    }

    // Only a live process that holds the lock keeps a start out, and only such a process is
    // named. Without a bus, so the lock alone decides.
    void theLockFile_data()
    {
        QTest::addColumn<QByteArray>("contents"); // null: no file
        QTest::addColumn<int>("mode");            // -1: as written
        QTest::addColumn<int>("mask");
        QTest::addColumn<bool>("fullDisk");
        QTest::addColumn<bool>("held");  // by a copy in a second process
        QTest::addColumn<bool>("named"); // the message names the holder's process

        const QByteArray host = QSysInfo::machineHostName().toUtf8();
        const QByteArray gone = "4194305\nMarrowick\n" + host + '\n'; // above any pid the kernel gives
        const QByteArray unlocked = "1\nMarrowick\n" + host + '\n'; // alive, but holds nothing
        QTest::newRow("no file") << QByteArray() << -1 << 022 << false << false << true;
        QTest::newRow("empty file") << QByteArray("") << -1 << 022 << false << false << true;
        QTest::newRow("garbage") << QByteArray("\xff\x00garbage\n\n") << -1 << 022 << false << false << true;
        QTest::newRow("names a process that is gone") << gone << -1 << 022 << false << false << true;
        QTest::newRow("names a live process that holds nothing") << unlocked << -1 << 022 << false << false << true;
        // Root reads it all the same; for a user the file is made readable again.
        QTest::newRow("unreadable") << unlocked << 0 << 022 << false << false << true;
        QTest::newRow("created under umask 000") << QByteArray() << -1 << 0 << false << false << true;
        QTest::newRow("held by a running copy") << QByteArray() << -1 << 022 << false << true << true;
        // A new file gets no line on a full disk, an old one keeps its page for it.
        QTest::newRow("full disk, held, new file") << QByteArray() << -1 << 022 << true << true << false;
        QTest::newRow("full disk, held, old file") << gone << -1 << 022 << true << true << true;
    }
    void theLockFile()
    {
        QFETCH(QByteArray, contents);
        QFETCH(int, mode);
        QFETCH(int, mask);
        QFETCH(bool, fullDisk);
        QFETCH(bool, held);
        QFETCH(bool, named);

        std::optional<test::SmallFilesystem> disk;
        QTemporaryDir scratch;
        QString folder = scratch.path();
        if (fullDisk) {
            disk.emplace(64 * 1024);
            if (!disk->isMounted())
                QSKIP("mounting a small file system needs root");
            folder = disk->path();
        }
        const QString lock = QDir(folder).filePath(SingleInstance::lockFileName);
        if (!contents.isNull())
            QVERIFY(test::writeFile(lock, contents));
        if (mode >= 0)
            QCOMPARE(::chmod(QFile::encodeName(lock).constData(), mode_t(mode)), 0);
        if (fullDisk)
            QVERIFY(disk->fill(0));
        QProcess second;
        if (held) {
            second.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(holdArgument), folder});
            QVERIFY(second.waitForReadyRead(30000));
            QCOMPARE(second.readLine(), QByteArray("held\n"));
        }

        const mode_t maskBefore = ::umask(mode_t(mask));
        SingleInstance instance(m_identifier, folder, QDBusConnection(QStringLiteral("no bus")));
        const Claim claimed = instance.claim();
        ::umask(maskBefore);
        QCOMPARE(claimed, held ? Claim::alreadyRunning : Claim::owner);
        QCOMPARE(test::modeOf(lock), 0600);
        // A copy that runs holds the lock for real: the next start is kept out and told who.
        std::optional<SingleInstance> later;
        if (!held) {
            later.emplace(m_identifier, folder, QDBusConnection(QStringLiteral("no bus")));
            QCOMPARE(later->claim(), Claim::alreadyRunning);
        }
        const qint64 holder = held ? second.processId() : QCoreApplication::applicationPid();
        const QString who = named ? QStringLiteral(" (process %1 on %2)").arg(holder).arg(QSysInfo::machineHostName())
                                  : QString();
        QCOMPARE(held ? instance.error() : later->error(),
                 QStringLiteral("Marrowick is already running%1 and uses the data folder %2.").arg(who, folder));
        second.closeWriteChannel();
        QVERIFY(!held || second.waitForFinished(30000));
    }

    // A data folder that cannot take the lock file does not keep the program from running, and
    // the warning gives the cause: the first one met, not that of a later attempt.
    void anUnwritableFolderIsToldWhy_data()
    {
        QTest::addColumn<bool>("readOnlyDisk"); // else a folder of another user
        QTest::addColumn<bool>("folderExists");
        QTest::addColumn<QString>("cause");
        const QString denied = QStringLiteral("Permission denied");
        const QString readOnly = QStringLiteral("Read-only file system");
        QTest::newRow("another user's folder") << false << true << denied;
        QTest::newRow("in another user's folder") << false << false << denied;
        QTest::newRow("read-only disk") << true << true << readOnly;
        QTest::newRow("on a read-only disk") << true << false << readOnly;
    }
    void anUnwritableFolderIsToldWhy()
    {
        QFETCH(bool, readOnlyDisk);
        QFETCH(bool, folderExists);
        QFETCH(QString, cause);
        QTemporaryDir scratch;
        std::optional<test::SmallFilesystem> disk;
        QString top = scratch.path();
        if (readOnlyDisk) {
            disk.emplace(64 * 1024);
            if (!disk->isMounted())
                QSKIP("mounting a small file system needs root");
            top = disk->path();
        }
        const QString folder = QDir(top).filePath(QStringLiteral("Marrowick"));
        QVERIFY(!folderExists || QDir().mkdir(folder));
        if (readOnlyDisk)
            QVERIFY(disk->makeReadOnly());
        else // closed to the user the test runs as; root is made "nobody" for it below
            QVERIFY(QFile::setPermissions(folderExists ? folder : top, QFile::ReadOwner | QFile::ExeOwner
                                              | QFile::ReadOther | QFile::ExeOther));

        QTest::ignoreMessage(QtWarningMsg,
                             qPrintable(QStringLiteral("Marrowick could not lock its data folder %1 (%2); it runs "
                                                       "without the lock.").arg(folder, cause)));
        std::optional<Claim> claimed;
        const auto claim = [&] {
            claimed = SingleInstance(m_identifier, folder, QDBusConnection(QStringLiteral("no bus"))).claim();
        };
        if (readOnlyDisk)
            claim();
        else
            QVERIFY(test::asUnprivilegedUser(top, top, claim));
        QCOMPARE(claimed, std::optional<Claim>(Claim::owner));
        QVERIFY(!QFile::exists(QDir(folder).filePath(SingleInstance::lockFileName)));
        QFile::setPermissions(top, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void programStartedTwiceAndAfterACrash()
    {
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("no session bus");
        if (isOnBus(programIdentifier))
            QSKIP("a copy of the program already runs on this bus");
        QTemporaryDir home;
        QVERIFY(home.isValid());

        ProgramRun first(home);
        QVERIFY(first.process.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(isOnBus(programIdentifier), 30000);

        ProgramRun second(home);
        QVERIFY(second.process.waitForFinished(30000));
        QCOMPARE(second.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.process.exitCode(), 0);
        QCOMPARE(first.process.state(), QProcess::Running);

        // Killed: its lock file stays behind, naming a process that is gone, and is not locked.
        const qint64 crashed = first.process.processId();
        first.process.kill();
        QVERIFY(first.process.waitForFinished());
        const QString lock = QDir(home.filePath(QStringLiteral("data/Marrowick"))).filePath(SingleInstance::lockFileName);
        QCOMPARE(lockHolder(lock), crashed);
        QTRY_VERIFY_WITH_TIMEOUT(!isOnBus(programIdentifier), 30000);

        // It runs: it took over the lock, and the name.
        ProgramRun third(home);
        QTRY_VERIFY_WITH_TIMEOUT(lockHolder(lock) == third.process.processId()
                                     || third.process.state() == QProcess::NotRunning,
                                 30000);
        QCOMPARE(third.process.state(), QProcess::Running);
        QVERIFY(isOnBus(programIdentifier));
    }
};

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], holdArgument) == 0)
        return holdLock(QFile::decodeName(argv[2]));
    TestSingleInstance test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_SingleInstance.moc"
