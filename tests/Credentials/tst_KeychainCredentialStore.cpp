#include "MarrowickKit/Credentials/KeychainCredentialStore.h"
#include "MarrowickKit/Model/ProviderError.h"

#include "support/ChildRun.h"
#include "support/ScriptedKeyring.h"
#include "support/TestSupport.h"
#include "support/VirtualClock.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <cstdio>

using namespace marrowick;
using namespace marrowick::test;

Q_DECLARE_METATYPE(std::optional<QString>)
Q_DECLARE_METATYPE(Keyring::Outcome)

namespace {

using Outcome = Keyring::Outcome;

// scripts/with-test-services.sh starts a private Secret Service and sets this. Without it the
// tests of the real keyring skip rather than touch the user's own.
#define SKIP_WITHOUT_SECRET_SERVICE()                                                                  \
    do {                                                                                               \
        if (!qEnvironmentVariableIsSet("MARROWICK_TEST_SECRET_SERVICE"))                               \
            QSKIP("no private Secret Service; run the tests through scripts/with-test-services.sh"); \
    } while (false)

const QString childScenario = QStringLiteral("keyring-causes");

QString freshName()
{
    return QStringLiteral("kuma-") + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

// What a call ended with: the secret, "nothing", "done", or the error's text.
struct Ending {
    bool over = false;
    QString text;
};

QCoro::Task<void> readInto(KeychainCredentialStore &store, QString name, std::shared_ptr<Ending> ending)
{
    try {
        const auto secret = co_await store.secret(std::move(name));
        ending->text = secret.value_or(QStringLiteral("nothing"));
    } catch (const std::exception &error) {
        ending->text = QString::fromUtf8(error.what());
    }
    ending->over = true;
}

QList<std::shared_ptr<Ending>> startReads(KeychainCredentialStore &store, int count)
{
    QList<std::shared_ptr<Ending>> endings;
    for (int i = 0; i < count; ++i) {
        endings.append(std::make_shared<Ending>());
        [[maybe_unused]] auto read = readInto(store, QStringLiteral("ref-") + QString::number(i), endings.last());
    }
    VirtualClock::settle();
    return endings;
}

QStringList textsOf(const QList<std::shared_ptr<Ending>> &endings)
{
    QStringList texts;
    for (const auto &ending : endings)
        texts.append(ending->over ? ending->text : QStringLiteral("(waiting)"));
    return texts;
}

// The three calls of a store, each as "<call>: <ending>", as the child prints them. With
// `eachAsked`, the user acts before each, so each shows the keyring's own answer.
QStringList callEndings(KeychainCredentialStore &store, bool eachAsked = false)
{
    const auto ending = [&store, eachAsked](const std::function<QString()> &call) {
        if (eachAsked)
            store.askAgain();
        try {
            return call();
        } catch (const std::exception &error) {
            return QString::fromUtf8(error.what());
        }
    };
    const QString name = freshName();
    return {
        QStringLiteral("read: ")
            + ending([&] { return await(store.secret(name)).value_or(QStringLiteral("nothing")); }),
        QStringLiteral("write: ") + ending([&] {
            await(store.setSecret(QStringLiteral("s"), name));
            return QStringLiteral("done");
        }),
        QStringLiteral("remove: ") + ending([&] {
            await(store.removeSecret(name));
            return QStringLiteral("done");
        }),
    };
}

bool startKeyringDaemon(QProcess &daemon, const QString &folder, QProcessEnvironment environment,
                        const QDBusConnection &bus);

// Watches `store` for a few seconds of the keyring's signals: "told" once it was, else "not told".
QString toldWhile(KeychainCredentialStore &store, const std::function<void()> &meanwhile)
{
    bool told = false;
    QObject watcher;
    store.watchAvailability(&watcher, [&told] { told = true; });
    meanwhile();
    for (QDeadlineTimer deadline(5000); !told && !deadline.hasExpired();)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return told ? QStringLiteral("told") : QStringLiteral("not told");
}

int unlockedElsewhereInChild(const QString &service);

// With "then a service": a keyring service starts after the calls, and the store says so unasked.
// With "unlocked elsewhere" and a service name: see unlockedElsewhereInChild().
int callEndingsInChild(const QStringList &arguments)
{
    if (arguments.value(0) == QStringLiteral("unlocked elsewhere"))
        return unlockedElsewhereInChild(arguments.value(1));
    KeychainCredentialStore store(QStringLiteral("dev.tobrin.marrowick.test-child"));
    QStringList lines = callEndings(store, true);
    if (arguments.contains(QStringLiteral("then a service"))) {
        QTemporaryDir folder;
        QProcess daemon;
        lines.append(toldWhile(store, [&] {
            startKeyringDaemon(daemon, folder.path(), QProcessEnvironment::systemEnvironment(),
                               QDBusConnection::sessionBus());
        }));
        lines.append(callEndings(store).first());
        daemon.kill();
        daemon.waitForFinished();
    }
    std::fputs(qPrintable(lines.join(QLatin1Char('\n'))), stdout);
    return 0;
}

// The running Secret Service of the test bus, driven the way a user or the session would.
namespace secretService {

const QString path = QStringLiteral("/org/freedesktop/secrets");
const QString serviceInterface = QStringLiteral("org.freedesktop.Secret.Service");

QDBusMessage call(const QString &objectPath, const QString &interface, const QString &method,
                  const QVariantList &arguments)
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.secrets"), objectPath, interface, method);
    message.setArguments(arguments);
    return QDBusConnection::sessionBus().call(message);
}

QString defaultCollection()
{
    const QDBusMessage reply = call(path, serviceInterface, QStringLiteral("ReadAlias"), {QStringLiteral("default")});
    return reply.arguments().value(0).value<QDBusObjectPath>().path();
}

bool lock()
{
    const QList<QDBusObjectPath> collections{QDBusObjectPath(defaultCollection())};
    const QDBusMessage reply = call(path, serviceInterface, QStringLiteral("Lock"), {QVariant::fromValue(collections)});
    return reply.type() == QDBusMessage::ReplyMessage;
}

// With the keyring's password and no prompt, as the session's login does.
bool unlock(const QString &password)
{
    const QDBusMessage session = call(path, serviceInterface, QStringLiteral("OpenSession"),
                                      {QStringLiteral("plain"), QVariant::fromValue(QDBusVariant(QString()))});
    if (session.type() != QDBusMessage::ReplyMessage)
        return false;
    QDBusArgument secret;
    secret.beginStructure();
    secret << session.arguments().value(1).value<QDBusObjectPath>() << QByteArray() << password.toUtf8()
           << QStringLiteral("text/plain");
    secret.endStructure();
    const QVariantList arguments{QVariant::fromValue(QDBusObjectPath(defaultCollection())), QVariant::fromValue(secret)};
    const QDBusMessage reply = call(path, QStringLiteral("org.gnome.keyring.InternalUnsupportedGuiltRiddenInterface"),
                                    QStringLiteral("UnlockWithMasterPassword"), arguments);
    return reply.type() == QDBusMessage::ReplyMessage;
}

} // namespace secretService

// A locked keyring that another program unlocks, heard of by a store made before anything else
// of D-Bus is known to this process, as at the program's start.
int unlockedElsewhereInChild(const QString &service)
{
    KeychainCredentialStore store(service);
    const QString name = freshName();
    const auto read = [&store, &name] {
        QString secret;
        const QString error = errorText([&] { secret = await(store.secret(name)).value_or(QStringLiteral("nothing")); });
        return QStringLiteral("read: ") + (error.isEmpty() ? secret : error);
    };
    await(store.setSecret(QStringLiteral("behind the lock"), name));
    secretService::lock();
    QStringList lines{read()};
    lines.append(toldWhile(store, [] { secretService::unlock(qEnvironmentVariable("MARROWICK_TEST_KEYRING_PASSWORD")); }));
    lines.append(read());
    errorText([&] { await(store.removeSecret(name)); });
    std::fputs(qPrintable(lines.join(QLatin1Char('\n'))), stdout);
    return 0;
}

// Starts a keyring daemon that has never made a keyring, its folders in `folder`, on the bus that
// `environment` names and `bus` reaches; true once it holds its name there.
bool startKeyringDaemon(QProcess &daemon, const QString &folder, QProcessEnvironment environment,
                        const QDBusConnection &bus)
{
    for (const QString &name : {QStringLiteral("home"), QStringLiteral("data"), QStringLiteral("runtime")})
        QDir(folder).mkdir(name);
    QFile::setPermissions(folder + QStringLiteral("/runtime"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    environment.insert(QStringLiteral("HOME"), folder + QStringLiteral("/home"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), folder + QStringLiteral("/data"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder + QStringLiteral("/runtime"));
    daemon.setProcessEnvironment(environment);
    daemon.start(QStringLiteral("gnome-keyring-daemon"), {QStringLiteral("--foreground"), QStringLiteral("--components=secrets")});
    if (!daemon.waitForStarted())
        return false;
    for (int tries = 0; tries < 200 && daemon.state() == QProcess::Running; ++tries) {
        if (bus.interface() && bus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.secrets")))
            return true;
        QTest::qWait(25);
    }
    qWarning().noquote() << "the keyring daemon did not start:" << daemon.readAllStandardError();
    return false;
}

// A session bus of a test's own, with nothing that starts on demand, and on request a keyring
// daemon that has never made a keyring.
class PrivateBus {
public:
    ~PrivateBus()
    {
        for (QProcess *process : {&m_keyring, &m_bus}) {
            process->kill();
            process->waitForFinished();
        }
    }

    bool start(bool withKeyringDaemon)
    {
        if (!m_folder.isValid() || !QDir(m_folder.path()).mkdir(QStringLiteral("services")))
            return false;
        QFile config(m_folder.filePath(QStringLiteral("session.conf")));
        if (!config.open(QIODevice::WriteOnly))
            return false;
        config.write(QStringLiteral("<busconfig><type>session</type><listen>unix:tmpdir=%1</listen>"
                                    "<auth>EXTERNAL</auth><servicedir>%1/services</servicedir>"
                                    "<policy context='default'><allow send_destination='*' eavesdrop='true'/>"
                                    "<allow eavesdrop='true'/><allow own='*'/></policy></busconfig>")
                         .arg(m_folder.path())
                         .toUtf8());
        config.close();
        m_bus.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--config-file=") + config.fileName(),
                                                    QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        if (!m_bus.waitForReadyRead(10000))
            return false;
        m_address = QString::fromUtf8(m_bus.readLine()).trimmed();
        if (!withKeyringDaemon)
            return true;
        const QString connection = QStringLiteral("keyring-test-bus");
        const auto disconnect = qScopeGuard([&connection] { QDBusConnection::disconnectFromBus(connection); });
        return startKeyringDaemon(m_keyring, m_folder.path(), childEnvironment(),
                                  QDBusConnection::connectToBus(m_address, connection));
    }

    // The child sees only this bus, and picks the Secret Service whatever the desktop.
    QProcessEnvironment childEnvironment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION",
                                 "KDE_FULL_SESSION", "KDE_SESSION_VERSION"}) {
            environment.remove(QString::fromLatin1(name));
        }
        const QString noBus = QStringLiteral("unix:path=") + m_folder.filePath(QStringLiteral("no-bus"));
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address.isEmpty() ? noBus : m_address);
        return environment;
    }

private:
    QTemporaryDir m_folder;
    QProcess m_bus;
    QProcess m_keyring;
    QString m_address;
};

} // namespace

class TestKeychainCredentialStore : public QObject {
    Q_OBJECT

private:
    // A service name of its own per run, so runs never see each other's items.
    const QString m_service =
        QStringLiteral("dev.tobrin.marrowick.test-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    KeychainCredentialStore m_store{m_service};

private slots:
    // A keyring waiting on its unlock prompt holds every other call: one prompt, whose answer
    // serves them all; a declined prompt is not put up again until the user acts.
    void onePromptForAllCallers_data()
    {
        QTest::addColumn<Outcome>("answer");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("unlocked") << Outcome::done << QString();
        QTest::newRow("unlock declined") << Outcome::locked << CredentialError::locked().errorDescription();
        QTest::newRow("access refused") << Outcome::refused << CredentialError::refused().errorDescription();
        QTest::newRow("creation declined") << Outcome::noKeyring << CredentialError::noKeyring().errorDescription();
    }

    void onePromptForAllCallers()
    {
        QFETCH(Outcome, answer);
        QFETCH(QString, refusal);
        VirtualClock clock;
        auto keyring = std::make_shared<ScriptedKeyring>();
        KeychainCredentialStore store(m_service, 60, keyring, clock.sleepFunction());

        const auto endings = startReads(store, 4);
        QCOMPARE(keyring->asked.size(), 1);
        QCOMPARE(keyring->asked.first().referenceName, QStringLiteral("ref-0"));
        QCOMPARE(keyring->asked.first().service, m_service);
        clock.advance(30);
        QCOMPARE(textsOf(endings), QStringList(4, QStringLiteral("(waiting)")));

        keyring->answerHeld(ScriptedKeyring::reply(answer, "secret"));
        if (answer == Outcome::done) {
            // The others follow, one at a time, without a prompt of their own.
            keyring->answer = ScriptedKeyring::reply(Outcome::done, "secret");
            clock.advance(0);
            QCOMPARE(textsOf(endings), QStringList(4, QStringLiteral("secret")));
            QCOMPARE(keyring->asked.size(), 4);
            QCOMPARE(keyring->mostAtOnce, 1);
            return;
        }
        clock.advance(0);
        QCOMPARE(textsOf(endings), QStringList(4, refusal));
        QCOMPARE(keyring->asked.size(), 1);

        // Later polls fail at once, without asking.
        clock.advance(600);
        QCOMPARE(textsOf(startReads(store, 2)), QStringList(2, refusal));
        QCOMPARE(keyring->asked.size(), 1);

        // The user acted: asked again, once.
        store.askAgain();
        const auto again = startReads(store, 2);
        QCOMPARE(keyring->asked.size(), 2);
        keyring->answerHeld(ScriptedKeyring::reply(Outcome::done, "secret"));
        keyring->answer = ScriptedKeyring::reply(Outcome::done, "secret");
        clock.advance(0);
        QCOMPARE(textsOf(again), QStringList(2, QStringLiteral("secret")));
        QCOMPARE(keyring->mostAtOnce, 1);
    }

    // A prompt nobody answers: each caller waits the time-out from its own submission; once one
    // has waited it out, no other waits behind it or puts up a second prompt, until it ends.
    void unansweredPrompt()
    {
        VirtualClock clock;
        auto keyring = std::make_shared<ScriptedKeyring>();
        KeychainCredentialStore store(m_service, 60, keyring, clock.sleepFunction());
        const QString timedOut = CredentialError::timedOut().errorDescription();

        const auto first = startReads(store, 1);
        clock.advance(20);
        const auto behind = startReads(store, 2);
        clock.advance(39);
        QCOMPARE(textsOf(first + behind), QStringList(3, QStringLiteral("(waiting)")));
        clock.advance(1);
        QCOMPARE(textsOf(first + behind), QStringList(3, timedOut));

        store.askAgain();
        QCOMPARE(textsOf(startReads(store, 2)), QStringList(2, timedOut));
        QCOMPARE(keyring->asked.size(), 1);

        // Answered at last: the keyring is asked again.
        keyring->answerHeld(ScriptedKeyring::reply(Outcome::done, "late"));
        keyring->answer = ScriptedKeyring::reply(Outcome::done, "secret");
        clock.advance(0);
        const auto after = startReads(store, 1);
        clock.advance(0);
        QCOMPARE(textsOf(after), QStringList{QStringLiteral("secret")});
        QCOMPARE(keyring->asked.size(), 2);
        QCOMPARE(keyring->mostAtOnce, 1);
    }

    // Each keyring answer becomes what the caller sees; only the user's answers stick.
    void answersToCallers_data()
    {
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("endings");
        QTest::addColumn<bool>("sticks");
        const QString noService = CredentialError::noService().errorDescription();
        const QString locked = CredentialError::locked().errorDescription();
        QTest::newRow("stored") << Outcome::done << QString()
                                << QStringList{"read: stored", "write: done", "remove: done"} << false;
        QTest::newRow("absent") << Outcome::absent << QString()
                                << QStringList{"read: nothing", "write: Keychain error 7", "remove: done"} << false;
        QTest::newRow("no service") << Outcome::noService << QString()
                                    << QStringList{"read: " + noService, "write: " + noService, "remove: " + noService}
                                    << false;
        QTest::newRow("locked") << Outcome::locked << QString()
                                << QStringList{"read: " + locked, "write: " + locked, "remove: " + locked} << true;
        QTest::newRow("other") << Outcome::failed << QStringLiteral("Unknown error")
                               << QStringList{"read: keyring error: Unknown error", "write: keyring error: Unknown error",
                                              "remove: keyring error: Unknown error"}
                               << false;
    }

    void answersToCallers()
    {
        QFETCH(Outcome, outcome);
        QFETCH(QString, message);
        QFETCH(QStringList, endings);
        QFETCH(bool, sticks);
        VirtualClock clock;
        auto keyring = std::make_shared<ScriptedKeyring>();
        keyring->answer = Keyring::Reply{outcome, "stored", 7, message};
        KeychainCredentialStore store(m_service, 60, keyring, clock.sleepFunction());
        QCOMPARE(callEndings(store), endings);
        QCOMPARE(keyring->asked.size(), sticks ? 1 : 3);
    }

    // The same causes from a real keyring daemon, in a child process on a bus of its own.
    void causesFromTheDesktop_data()
    {
        QTest::addColumn<int>("bus"); // 0: none, 1: without keyring daemon, 2: a daemon with no keyring
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("endings");
        const QString noService = CredentialError::noService().errorDescription();
        const QStringList nothingRuns{"read: " + noService, "write: " + noService, "remove: " + noService};
        QTest::newRow("no session bus") << 0 << QStringList() << nothingRuns;
        QTest::newRow("no keyring service") << 1 << QStringList() << nothingRuns;
        QTest::newRow("no keyring service, then one starts")
            << 1 << QStringList{"then a service"} << nothingRuns + QStringList{"told", "read: nothing"};
        QTest::newRow("no keyring, none can be made")
            << 2 << QStringList()
            << QStringList{"read: nothing", "write: " + CredentialError::noKeyring().errorDescription(), "remove: done"};
    }

    void causesFromTheDesktop()
    {
        QFETCH(int, bus);
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, endings);
        for (const char *program : {"dbus-daemon", "gnome-keyring-daemon"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty())
                QSKIP("dbus-daemon or gnome-keyring-daemon is missing (Debian packages dbus-daemon, gnome-keyring)");
        }
        PrivateBus privateBus;
        if (bus > 0)
            QVERIFY(privateBus.start(bus == 2));
        const ChildRun run = runChild(childScenario, arguments, 0, false, privateBus.childEnvironment());
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(QString::fromUtf8(run.output).split(QLatin1Char('\n')), endings);
    }

    void neverStoredIsNothing()
    {
        SKIP_WITHOUT_SECRET_SERVICE();
        QCOMPARE(await(m_store.secret(freshName())), std::nullopt);
    }

    void setReadReplaceDelete_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::newRow("plain") << QStringLiteral("api-key-1") << QStringLiteral("api-key-2");
        QTest::newRow("empty text is a secret") << QString("") << QStringLiteral("x");
        QTest::newRow("non-ASCII") << QStringLiteral("pässwörd ✓") << QStringLiteral("パスワード");
    }

    void setReadReplaceDelete()
    {
        SKIP_WITHOUT_SECRET_SERVICE();
        QFETCH(QString, first);
        QFETCH(QString, second);
        const QString name = freshName();
        await(m_store.setSecret(first, name));
        QCOMPARE(await(m_store.secret(name)), std::optional(first));
        await(m_store.setSecret(second, name));
        QCOMPARE(await(m_store.secret(name)), std::optional(second));
        QCOMPARE(await(m_store.require(name)), second);
        await(m_store.removeSecret(name));
        QCOMPARE(await(m_store.secret(name)), std::nullopt);
        QCOMPARE(errorText([&] { await(m_store.require(name)); }), QStringLiteral("missing credential: ") + name);
    }

    void removingNothingSucceeds()
    {
        SKIP_WITHOUT_SECRET_SERVICE();
        await(m_store.removeSecret(freshName()));
    }

    void storesAreSeparatedByService()
    {
        SKIP_WITHOUT_SECRET_SERVICE();
        const QString name = freshName();
        await(m_store.setSecret(QStringLiteral("mine"), name));
        KeychainCredentialStore other(m_service + QStringLiteral(".other"));
        QCOMPARE(await(other.secret(name)), std::nullopt);
        KeychainCredentialStore same(m_service);
        QCOMPARE(await(same.secret(name)), std::optional(QStringLiteral("mine")));
        await(m_store.removeSecret(name));
    }

    void itemNotValidUTF8IsNothing_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<std::optional<QString>>("expected");
        QTest::newRow("valid") << QByteArray("ok-text") << std::optional(QStringLiteral("ok-text"));
        QTest::newRow("not UTF-8") << QByteArray("\xff\xfe\x80") << std::optional<QString>();
    }

    void itemNotValidUTF8IsNothing()
    {
        SKIP_WITHOUT_SECRET_SERVICE();
        QFETCH(QByteArray, stored);
        QFETCH(std::optional<QString>, expected);
        const QString secretTool = QStandardPaths::findExecutable(QStringLiteral("secret-tool"));
        if (secretTool.isEmpty())
            QSKIP("secret-tool is not installed (Debian package libsecret-tools)");
        // Written by another program, the way a keyring editor would.
        const QString name = freshName();
        QProcess store;
        store.start(secretTool, {"store", "--label=foreign", "user", name, "server", m_service, "type", "plaintext"});
        store.write(stored);
        store.closeWriteChannel();
        QVERIFY(store.waitForFinished());
        QCOMPARE(store.exitCode(), 0);
        QCOMPARE(await(m_store.secret(name)), expected);
        await(m_store.removeSecret(name));
    }

    // The test bus has no prompter, so the keyring's unlock prompt ends at once, as a declined
    // one does. A secret behind it is locked, not missing; a name never stored is still nothing.
    void lockedKeyring()
    {
        SKIP_WITHOUT_SECRET_SERVICE();
        const QString stored = freshName();
        await(m_store.setSecret(QStringLiteral("behind the lock"), stored));
        QVERIFY(secretService::lock());
        // Unlocked again whatever happens, for the tests after this one.
        const QString password = qEnvironmentVariable("MARROWICK_TEST_KEYRING_PASSWORD");
        const auto unlock = qScopeGuard([&password] { secretService::unlock(password); });
        const QString locked = CredentialError::locked().errorDescription();

        KeychainCredentialStore store(m_service);
        QCOMPARE(await(store.secret(freshName())), std::nullopt);
        QCOMPARE(errorText([&] { await(store.require(stored)); }), locked);
        // Not asked again until the user acts.
        QCOMPARE(errorText([&] { await(store.secret(freshName())); }), locked);
        store.askAgain();
        QCOMPARE(errorText([&] { await(store.setSecret(QStringLiteral("new"), freshName())); }), locked);

        QVERIFY(secretService::unlock(password));
        store.askAgain();
        QCOMPARE(await(store.secret(stored)), std::optional(QStringLiteral("behind the lock")));
        await(store.removeSecret(stored));
    }

    // Unlocked by another program, the keyring is read again without anyone asking.
    void unlockedByAnotherProgram()
    {
        SKIP_WITHOUT_SECRET_SERVICE();
        const auto unlock = qScopeGuard(
            [] { secretService::unlock(qEnvironmentVariable("MARROWICK_TEST_KEYRING_PASSWORD")); });
        const ChildRun run = runChild(childScenario, {QStringLiteral("unlocked elsewhere"), m_service}, 0);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(QString::fromUtf8(run.output).split(QLatin1Char('\n')),
                 (QStringList{"read: " + CredentialError::locked().errorDescription(), "told",
                              "read: behind the lock"}));
    }

    void promptTimeout()
    {
        SKIP_WITHOUT_SECRET_SERVICE();
        // A time-out shorter than any keyring round trip stands in for an unanswered prompt.
        KeychainCredentialStore impatient(m_service, 0.0);
        const QString name = freshName();
        const QString text = errorText([&] { await(impatient.secret(name)); });
        QCOMPARE(text, CredentialError::timedOut().errorDescription());
        QVERIFY_THROWS_EXCEPTION(CredentialError, await(impatient.require(name)));
    }
};

int main(int argc, char *argv[])
{
    return runTestsOrChild<TestKeychainCredentialStore>(argc, argv, childScenario, callEndingsInChild);
}

#include "tst_KeychainCredentialStore.moc"
