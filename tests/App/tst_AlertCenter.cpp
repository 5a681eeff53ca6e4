#include "Marrowick/App/DBusAlertCenter.h"

#include "support/TestSupport.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusVariant>
#include <QTest>

using namespace marrowick;

Q_DECLARE_METATYPE(marrowick::AlertCenter::EventKind)

namespace {

const QString serverConnectionName = QStringLiteral("fake-notification-server");

QVariant unwrapped(const QVariant &value)
{
    return value.canConvert<QDBusVariant>() ? value.value<QDBusVariant>().variant() : value;
}

} // namespace

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
    QString GetServerInfo(QString &vendor, QString &version, QString &specVersion)
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
    QString GetServerInfo(QString &, QString &, QString &)
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
        const Instant now = Instant::fromUnix(1.8e9);
        const std::optional<Instant> since =
            std::isinf(elapsed) ? std::nullopt : std::optional<Instant>(now.advanced(-elapsed));
        QCOMPARE(AlertCenter::bodyText(kind, since, now), body);
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
        startServer();
        QCOMPARE(test::await(center.authorizationStatus()), AuthorizationStatus::authorized);
        QCOMPARE(test::await(center.requestAuthorization()), true);
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
};

QTEST_MAIN(TestAlertCenter)
#include "tst_AlertCenter.moc"
