#include "Marrowick/State/DBusAlertCenter.h"
#include "Marrowick/Style/Symbol.h"

#include "support/TestSupport.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace marrowick;

Q_DECLARE_METATYPE(marrowick::AlertCenter::EventKind)

namespace {

const QString serverConnectionName = QStringLiteral("fake-notification-server");

QVariant unwrapped(const QVariant &value)
{
    return value.canConvert<QDBusVariant>() ? value.value<QDBusVariant>().variant() : value;
}

// The hints of the Notify calls in dbus-monitor's output, as key and printed value.
QMap<QString, QString> hintsIn(const QString &monitorOutput)
{
    static const QRegularExpression entry(
        QStringLiteral("dict entry\\(\\s*string \"([^\"]*)\"\\s*variant\\s+\\w+ (\"[^\"]*\"|\\S+)"));
    QMap<QString, QString> hints;
    for (const QRegularExpressionMatch &match : entry.globalMatch(monitorOutput))
        hints.insert(match.captured(1), match.captured(2).remove(QLatin1Char('"')));
    return hints;
}

// The "image-data" hint's picture, checked against its own description; null when that
// does not hold together.
QImage imageIn(const QVariant &hint)
{
    if (!hint.canConvert<QDBusArgument>())
        return {};
    const QDBusArgument argument = hint.value<QDBusArgument>();
    qint32 width = 0, height = 0, stride = 0, bitsPerSample = 0, channels = 0;
    bool alpha = false;
    QByteArray bytes;
    argument.beginStructure();
    argument >> width >> height >> stride >> alpha >> bitsPerSample >> channels >> bytes;
    argument.endStructure();
    if (!alpha || bitsPerSample != 8 || channels != 4 || stride < width * 4 || bytes.size() != stride * height)
        return {};
    return QImage(reinterpret_cast<const uchar *>(bytes.constData()), width, height, stride, QImage::Format_RGBA8888)
        .copy();
}

} // namespace

// A real notification server on the private session bus: dunst on an X display of its own,
// and dbus-monitor recording the calls that reach it, since dunst keeps no hints.
class RealNotificationServer {
public:
    static bool isInstalled()
    {
        for (const char *program : {"dunst", "Xvfb", "dbus-monitor"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty())
                return false;
        }
        return true;
    }

    ~RealNotificationServer()
    {
        for (QProcess *process : {&m_server, &m_monitor, &m_display}) {
            process->terminate();
            process->waitForFinished();
        }
    }

    // Empty once the server owns its name on the bus; otherwise why it did not start.
    QString start()
    {
        m_display.start(QStringLiteral("Xvfb"), {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "640x480x24"});
        const QDeadlineTimer deadline(10000);
        while (!m_displayName.endsWith('\n') && m_display.waitForReadyRead(int(deadline.remainingTime())))
            m_displayName += m_display.readAllStandardOutput();
        if (!m_displayName.endsWith('\n'))
            return QStringLiteral("Xvfb did not start: ") + QString::fromLocal8Bit(m_display.readAllStandardError());

        // Only this process's calls: other tests may post on the same bus meanwhile.
        m_monitor.start(QStringLiteral("dbus-monitor"),
                        {"--session", QStringLiteral("type='method_call',interface='org.freedesktop.Notifications',"
                                                     "member='Notify',sender='%1'")
                                          .arg(QDBusConnection::sessionBus().baseService())});
        // It tells itself that it lost its name once it only watches.
        while (!m_monitorOutput.contains("member=NameLost") && m_monitor.waitForReadyRead(int(deadline.remainingTime())))
            m_monitorOutput += m_monitor.readAllStandardOutput();
        if (!m_monitorOutput.contains("member=NameLost"))
            return QStringLiteral("dbus-monitor did not start: ") + QString::fromLocal8Bit(m_monitor.readAllStandardError());

        QFile config(m_home.filePath(QStringLiteral("dunstrc")));
        if (!config.open(QIODevice::WriteOnly) || config.write("[global]\n") < 0)
            return QStringLiteral("cannot write dunst's configuration");
        config.close();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), QLatin1Char(':') + QString::fromLatin1(m_displayName.trimmed()));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.insert(QStringLiteral("HOME"), m_home.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.path());
        m_server.setProcessEnvironment(environment);
        m_server.start(QStringLiteral("dunst"), {QStringLiteral("-config"), config.fileName()});
        while (!owned() && m_server.state() != QProcess::NotRunning && !deadline.hasExpired())
            m_server.waitForFinished(20);
        if (!owned())
            return QStringLiteral("dunst did not take the notification service: ") +
                   QString::fromLocal8Bit(m_server.readAllStandardError());
        return {};
    }

    // What dunst has been asked to show by this process so far: it closes everything shown,
    // then reads its history.
    QList<QVariantMap> shown()
    {
        call(QStringLiteral("NotificationCloseAll"));
        const QDBusMessage reply = call(QStringLiteral("NotificationListHistory"));
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return {};
        QList<QVariantMap> ours = qdbus_cast<QList<QVariantMap>>(reply.arguments().first());
        ours.removeIf([](const QVariantMap &notification) {
            return unwrapped(notification.value(QStringLiteral("appname"))).toString() !=
                   QCoreApplication::applicationName();
        });
        return ours;
    }

    QString monitorOutput()
    {
        m_monitorOutput += m_monitor.readAllStandardOutput();
        return QString::fromUtf8(m_monitorOutput);
    }

private:
    static bool owned()
    {
        return QDBusConnection::sessionBus().interface()->isServiceRegistered(DBusAlertCenter::service).value();
    }

    static QDBusMessage call(const QString &method)
    {
        return QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(
            DBusAlertCenter::service, DBusAlertCenter::path, QStringLiteral("org.dunstproject.cmd0"), method));
    }

    QTemporaryDir m_home;
    QProcess m_display;
    QProcess m_monitor;
    QProcess m_server;
    QByteArray m_displayName;
    QByteArray m_monitorOutput;
};

// Stands in for the desktop's notification server on the private session bus and records
// what it is asked to show.
class FakeNotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Call {
        QString appName;
        QString summary;
        QString body;
        QVariantMap hints;
    };
    QList<Call> calls;

public slots:
    uint Notify(const QString &appName, uint, const QString &, const QString &summary, const QString &body,
                const QStringList &, const QVariantMap &hints, int)
    {
        calls.append(Call{appName, summary, body, hints});
        return uint(calls.size());
    }
    QStringList GetCapabilities() { return {QStringLiteral("body"), QStringLiteral("sound")}; }
    QString GetServerInformation(QString &vendor, QString &version, QString &specVersion)
    {
        vendor = QStringLiteral("test");
        version = QStringLiteral("1");
        specVersion = QStringLiteral("1.2");
        return QStringLiteral("fake");
    }
};

// A server that takes every call and never answers, as a hung notification daemon does.
class SilentNotificationServer : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public slots:
    QString GetServerInformation(QString &, QString &, QString &)
    {
        setDelayedReply(true);
        return {};
    }
};

class TestAlertCenter : public QObject {
    Q_OBJECT

private:
    FakeNotificationServer m_server;

    QDBusConnection serverBus() { return QDBusConnection(serverConnectionName); }

    void startServer()
    {
        QVERIFY(serverBus().registerObject(DBusAlertCenter::path, &m_server, QDBusConnection::ExportAllSlots));
        QVERIFY(serverBus().registerService(DBusAlertCenter::service));
    }

    void stopServer()
    {
        if (!serverBus().isConnected())
            return;
        serverBus().unregisterService(DBusAlertCenter::service);
        serverBus().unregisterObject(DBusAlertCenter::path);
    }

private slots:
    void bodyTellsTheMinutes_data()
    {
        QTest::addColumn<AlertCenter::EventKind>("kind");
        QTest::addColumn<double>("elapsed"); // negative infinity: no start time
        QTest::addColumn<QString>("body");
        const auto down = AlertCenter::EventKind::down;
        const auto recovered = AlertCenter::EventKind::recovered;
        const double none = -qInf();
        QTest::newRow("down, no start") << down << none << "Unreachable";
        QTest::newRow("recovered, no start") << recovered << none << "Recovered";
        QTest::newRow("down 59.9 s") << down << 59.9 << "Unreachable for less than a minute";
        QTest::newRow("down 60 s") << down << 60.0 << "Unreachable for 1 minute";
        QTest::newRow("down 119 s") << down << 119.0 << "Unreachable for 1 minute";
        QTest::newRow("down 150 s") << down << 150.0 << "Unreachable for 2 minutes";
        QTest::newRow("recovered 30 s") << recovered << 30.0 << "Back in under a minute";
        QTest::newRow("recovered 3600 s") << recovered << 3600.0 << "Back after 60 minutes";
        QTest::newRow("recovered 7200 s") << recovered << 7200.0 << "Back after 120 minutes";
        QTest::newRow("clock went back") << down << -600.0 << "Unreachable for less than a minute";
        QTest::newRow("a year, no digit grouping") << recovered << 365 * 86400.0 << "Back after 525600 minutes";
    }
    void bodyTellsTheMinutes()
    {
        QFETCH(AlertCenter::EventKind, kind);
        QFETCH(double, elapsed);
        QFETCH(QString, body);
        QCOMPARE(AlertCenter::bodyText(kind, std::isinf(elapsed) ? std::nullopt : std::optional(elapsed)), body);
    }

    void initTestCase()
    {
        if (QDBusConnection::sessionBus().isConnected())
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, serverConnectionName);
    }

    void init()
    {
        const bool needsBus = !QByteArray(QTest::currentTestFunction()).startsWith("body");
        if (needsBus && !serverBus().isConnected())
            QSKIP("no session bus");
    }

    void cleanupTestCase() { QDBusConnection::disconnectFromBus(serverConnectionName); }

    void cleanup()
    {
        stopServer();
        m_server.calls.clear();
    }

    void authorisedExactlyWhenAServerAnswers()
    {
        DBusAlertCenter center;
        QCOMPARE(test::await(center.authorizationStatus()), AuthorizationStatus::denied);
        QCOMPARE(test::await(center.requestAuthorization()), false);
        QCOMPARE(center.serverName(), QString());
        startServer();
        QCOMPARE(test::await(center.authorizationStatus()), AuthorizationStatus::authorized);
        QCOMPARE(center.serverName(), QStringLiteral("fake"));
        QCOMPARE(test::await(center.requestAuthorization()), true);
        stopServer();
        QCOMPARE(test::await(center.authorizationStatus()), AuthorizationStatus::denied);
        QCOMPARE(center.serverName(), QString());
    }

    void postsTitleBodyAndSoundChoice_data()
    {
        QTest::addColumn<bool>("sound");
        QTest::newRow("with sound") << true;
        QTest::newRow("silent") << false;
    }
    void postsTitleBodyAndSoundChoice()
    {
        QFETCH(bool, sound);
        startServer();
        DBusAlertCenter center;
        center.setMark(appMarkImage(DBusAlertCenter::imageSide));
        const QString title = QStringLiteral("<b>NAS</b> is down");
        center.post(AlertNotification{title, QStringLiteral("Unreachable for 2 minutes"), sound});
        QTRY_COMPARE(m_server.calls.size(), 1);
        const FakeNotificationServer::Call &call = m_server.calls.first();
        QCOMPARE(call.summary, title);
        QCOMPARE(call.body, QStringLiteral("Unreachable for 2 minutes"));
        QCOMPARE(unwrapped(call.hints.value(QStringLiteral("desktop-entry"))).toString(),
                 QStringLiteral("dev.tobrin.marrowick"));
        QCOMPARE(call.hints.contains(QStringLiteral("sound-name")), sound);
        QCOMPARE(unwrapped(call.hints.value(QStringLiteral("suppress-sound"))).toBool(), !sound);

        // The mark travels as pixels too, for servers that find no installed icon.
        const QImage image = imageIn(unwrapped(call.hints.value(QStringLiteral("image-data"))));
        QCOMPARE(image.size(), QSize(DBusAlertCenter::imageSide, DBusAlertCenter::imageSide));
        QCOMPARE(image.pixelColor(0, 0).alpha(), 0);
        QCOMPARE(image.pixelColor(image.width() / 2, 4), QColor(0x8B, 0xB8, 0xE8));
    }

    void aServerThatNeverAnswersIsNoServer()
    {
        SilentNotificationServer silent;
        QVERIFY(serverBus().registerObject(DBusAlertCenter::path, &silent, QDBusConnection::ExportAllSlots));
        QVERIFY(serverBus().registerService(DBusAlertCenter::service));
        DBusAlertCenter center(QDBusConnection::sessionBus(), QStringLiteral("dev.tobrin.marrowick"), 50);
        QCOMPARE(test::await(center.authorizationStatus()), AuthorizationStatus::denied);
    }

    void postingWithoutAServerFailsQuietly()
    {
        DBusAlertCenter center;
        center.post(AlertNotification{QStringLiteral("t"), QStringLiteral("b"), true});
        QCOMPARE(test::await(center.authorizationStatus()), AuthorizationStatus::denied);
        QVERIFY(m_server.calls.isEmpty());
    }

    void disconnectedBusIsDenied()
    {
        DBusAlertCenter center(QDBusConnection(QStringLiteral("never-connected")));
        center.post(AlertNotification{QStringLiteral("t"), QStringLiteral("b"), false});
        QCOMPARE(test::await(center.authorizationStatus()), AuthorizationStatus::denied);
    }

    // Last: the real server must not hold the name while the fake takes it.
    void aRealServerAuthorisesAndReceivesTheAlert_data() { postsTitleBodyAndSoundChoice_data(); }
    void aRealServerAuthorisesAndReceivesTheAlert()
    {
        QFETCH(bool, sound);
        if (!RealNotificationServer::isInstalled())
            QSKIP("dunst, Xvfb or dbus-monitor is not installed (scripts/setup-deps.sh --with-test-tools installs them)");
        {
            RealNotificationServer server;
            const QString failure = server.start();
            QVERIFY2(failure.isEmpty(), qPrintable(failure));

            DBusAlertCenter center;
            center.setMark(appMarkImage(DBusAlertCenter::imageSide));
            QCOMPARE(test::await(center.authorizationStatus()), AuthorizationStatus::authorized);
            QCOMPARE(center.serverName(), QStringLiteral("dunst"));
            QCOMPARE(test::await(center.requestAuthorization()), true);

            const QString title = QStringLiteral("NAS is down");
            center.post(AlertNotification{title, QStringLiteral("Unreachable for 2 minutes"), sound});
            QTRY_COMPARE(server.shown().size(), 1);
            const QVariantMap shown = server.shown().first();
            QCOMPARE(unwrapped(shown.value(QStringLiteral("summary"))).toString(), title);
            QCOMPARE(unwrapped(shown.value(QStringLiteral("body"))).toString(), QStringLiteral("Unreachable for 2 minutes"));

            QTRY_VERIFY(server.monitorOutput().contains(QStringLiteral("member=Notify")));
            const QMap<QString, QString> hints = hintsIn(server.monitorOutput());
            QCOMPARE(hints.value(QStringLiteral("desktop-entry")), QStringLiteral("dev.tobrin.marrowick"));
            QCOMPARE(hints.value(QStringLiteral("sound-name")), sound ? DBusAlertCenter::soundName : QString());
            QCOMPARE(hints.value(QStringLiteral("suppress-sound")), sound ? QString() : QStringLiteral("true"));
            QVERIFY(hints.contains(QStringLiteral("image-data")));
        }
        QTRY_VERIFY(!QDBusConnection::sessionBus().interface()->isServiceRegistered(DBusAlertCenter::service).value());
    }
};

QTEST_MAIN(TestAlertCenter)
#include "tst_AlertCenter.moc"
