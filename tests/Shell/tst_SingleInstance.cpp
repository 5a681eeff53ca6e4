#include "Marrowick/Shell/SingleInstance.h"

#include <QDBusConnectionInterface>
#include <QDir>
#include <QLockFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace marrowick;

namespace {

using Claim = SingleInstance::Claim;

// The real program's bus name; the copies started below claim it on the tests' private bus.
const QString programIdentifier = QStringLiteral("dev.tobrin.marrowick");

bool isOnBus(const QString &name)
{
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(name).value();
}

qint64 lockHolder(const QString &path)
{
    qint64 pid = 0;
    QString host;
    QString application;
    QLockFile(path).getLockInfo(&pid, &host, &application);
    return pid;
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
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("no session bus");
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

    void programStartedTwiceAndAfterACrash()
    {
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

        // Killed: its lock file stays behind, naming a process that is gone.
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

QTEST_MAIN(TestSingleInstance)
#include "tst_SingleInstance.moc"
