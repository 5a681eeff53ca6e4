#include "Marrowick/Shell/MarrowickApp.h"
#include "Marrowick/Shell/SystemTrayWatch.h"
#include "Marrowick/Popover/PopoverView.h"

#include "Shell/ShellWindows.h"
#include "support/PrivateDisplay.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QDBusMessage>
#include <QFile>
#include <QProcess>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <cstring>

#include <unistd.h>

using namespace marrowick;

namespace {

const char *const watcherScenario = "statusNotifierWatcher";

// A StatusNotifierWatcher as a panel runs it, in a process of its own: Qt asks it questions that
// block until answered. Checked against gtk-sni-tray-standalone's watcher; of its interface
// only what the program uses is here. It starts without a host (as a desktop whose panel comes after the
// watcher) unless told "with host"; a line "host" on its standard input registers one. For
// each item that registers it prints "item <service> <the item's Status property>".
class FakeStatusNotifierWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isStatusNotifierHostRegistered)

public:
    explicit FakeStatusNotifierWatcher(bool host) : m_host(host) {}

    bool isStatusNotifierHostRegistered() const { return m_host; }

    void registerHost()
    {
        m_host = true;
        emit StatusNotifierHostRegistered();
    }

public slots:
    void RegisterStatusNotifierItem(const QString &service)
    {
        // Asked without blocking, as a panel does: the program may be asking this watcher
        // something meanwhile.
        QDBusMessage get = QDBusMessage::createMethodCall(service, QStringLiteral("/StatusNotifierItem"),
                                                          QStringLiteral("org.freedesktop.DBus.Properties"),
                                                          QStringLiteral("Get"));
        get << QStringLiteral("org.kde.StatusNotifierItem") << QStringLiteral("Status");
        auto *call = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(get), this);
        connect(call, &QDBusPendingCallWatcher::finished, this, [call, service] {
            call->deleteLater();
            const QDBusPendingReply<QDBusVariant> status = *call;
            std::printf("item %s %s\n", qPrintable(service),
                        status.isError() ? "no status" : qPrintable(status.value().variant().toString()));
            std::fflush(stdout);
        });
    }
    void RegisterStatusNotifierHost(const QString &) { registerHost(); }

signals:
    void StatusNotifierHostRegistered();

private:
    bool m_host;
};

int runFakeWatcher(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    FakeStatusNotifierWatcher watcher(argc > 3 && std::strcmp(argv[3], "with host") == 0);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                                QDBusConnection::ExportAllProperties) ||
        !bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")))
        return 1;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &watcher, [&] {
        char line[64] = {};
        if (!std::fgets(line, sizeof line, stdin))
            QCoreApplication::quit();
        else if (std::strcmp(line, "host\n") == 0)
            watcher.registerHost();
    });
    std::printf("ready\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

} // namespace

class TestSystemTrayWatch : public QObject {
    Q_OBJECT

public:
    explicit TestSystemTrayWatch(bool hasDisplay) : m_hasDisplay(hasDisplay) {}

private:
    bool m_hasDisplay;
    QTemporaryDir m_home;
    QList<QProcess *> m_watchers;

    // A fake watcher process; empty once it owns its name.
    QProcess *startWatcher(const QString &host)
    {
        auto *watcher = new QProcess(this);
        m_watchers.append(watcher);
        watcher->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        watcher->start(QCoreApplication::applicationFilePath(), {"--child", watcherScenario, host});
        return watcher->waitForReadyRead(10000) && watcher->readLine() == "ready\n" ? watcher : nullptr;
    }

    static void stopWatcher(QProcess *watcher)
    {
        watcher->closeWriteChannel();
        QVERIFY(watcher->waitForFinished(10000));
    }

    // The items that registered with `watcher` since last asked, each with its status.
    static QByteArrayList registeredItems(QProcess *watcher)
    {
        QByteArrayList items;
        while (watcher->canReadLine())
            items.append(watcher->readLine().trimmed());
        return items;
    }

    // What is wrong with the window for the tray being there or not; empty when nothing is.
    static QString windowMismatch(PopoverView *window, bool withoutTray)
    {
        if (!QTest::qWaitFor([&] { return window->isVisible() == withoutTray; }, 10000))
            return QStringLiteral("visible: %1").arg(window->isVisible());
        if (window->windowType() != (withoutTray ? Qt::Window : Qt::Tool))
            return QStringLiteral("window type %1").arg(window->windowType());
        if ((test::visibleLabelsStartingWith(*window, QStringLiteral("No system tray was found")) > 0) != withoutTray)
            return QStringLiteral("the notice is wrong");
        // Without a tray the window is the only way back in, so closing it quits; with one,
        // closing only hides.
        if (!withoutTray)
            window->show();
        if (window->close() == withoutTray || window->isVisible() != withoutTray)
            return QStringLiteral("closing it %1").arg(withoutTray ? "did not quit" : "did not only hide");
        return QString();
    }

private slots:
    void initTestCase()
    {
        if (!m_hasDisplay)
            QSKIP("Xvfb is not installed (scripts/setup-deps.sh --with-test-tools installs it)");
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("no session bus");
        if (QDBusConnection::sessionBus().interface()->isServiceRegistered(SystemTrayWatch::watcherService))
            QSKIP("this session bus has a tray already");
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.filePath(QStringLiteral("data"))));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.filePath(QStringLiteral("config"))));
        QCoreApplication::setOrganizationName(QStringLiteral("tobrin"));
        QCoreApplication::setApplicationName(QStringLiteral("MarrowickTest"));
    }

    void cleanup()
    {
        for (QProcess *watcher : std::as_const(m_watchers)) {
            watcher->kill();
            watcher->waitForFinished();
        }
        qDeleteAll(m_watchers);
        m_watchers.clear();
    }

    // The panel starts after the program, its watcher before its host, as at a login that the
    // program's autostart wins: the icon registers once the host is there and the window goes.
    // A panel that goes away for longer than the grace brings the window back, and its return
    // the icon, registered again.
    void aTrayThatComesAfterTheProgramTakesItIn()
    {
        MarrowickApp app({QStringLiteral("marrowick"), QStringLiteral("-uiTestDemoSources")});
        app.setTrayLossGrace(std::chrono::milliseconds(0));
        app.start();
        PopoverView *window = test::popover();
        QVERIFY(window);
        QString wrong = windowMismatch(window, true);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));

        QProcess *panel = startWatcher(QStringLiteral("without host"));
        QVERIFY(panel);
        panel->write("host\n");
        QTRY_VERIFY_WITH_TIMEOUT(panel->canReadLine(), 10000);
        const QByteArrayList registered = registeredItems(panel);
        QCOMPARE(registered.size(), 1);
        QVERIFY2(registered.first().startsWith("item :") && registered.first().endsWith(" Active"),
                 registered.first().constData());
        // Qt registers the item under the unique name of a connection of its own.
        const QString item = QString::fromUtf8(registered.first().split(' ').at(1));
        QCOMPARE(QDBusConnection::sessionBus().interface()->servicePid(item).value(),
                 uint(QCoreApplication::applicationPid()));
        wrong = windowMismatch(window, false);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));

        stopWatcher(panel);
        wrong = windowMismatch(window, true);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));

        QProcess *restarted = startWatcher(QStringLiteral("with host"));
        QVERIFY(restarted);
        QTRY_VERIFY_WITH_TIMEOUT(restarted->canReadLine(), 10000);
        QCOMPARE(registeredItems(restarted), registered);
        wrong = windowMismatch(window, false);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    }
};

int main(int argc, char *argv[])
{
    if (argc > 2 && std::strcmp(argv[1], "--child") == 0 && std::strcmp(argv[2], watcherScenario) == 0)
        return runFakeWatcher(argc, argv);
    test::PrivateDisplay display;
    QApplication app(argc, argv);
    TestSystemTrayWatch tests(display.isReady());
    return QTest::qExec(&tests, argc, argv);
}

#include "tst_SystemTrayWatch.moc"
