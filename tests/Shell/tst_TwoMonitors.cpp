#include "Marrowick/Onboarding/OnboardingView.h"
#include "Marrowick/Popover/PopoverView.h"
#include "Marrowick/Settings/SettingsView.h"
#include "Marrowick/Shell/PopupDismissal.h"
#include "Marrowick/Shell/ScreenWorkArea.h"
#include "Marrowick/Style/WindowFit.h"

#include "Shell/ShellWindows.h"
#include "State/AppStateRig.h"
#include "support/PrivateDisplay.h"

#include <QApplication>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

#include <xcb/randr.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <cstdlib>

using namespace marrowick;
using marrowick::test::screenNamed;

namespace {

// A docked laptop at 150 %: its own screen beside a larger one, in device pixels, on one X
// screen split into two monitors.
const QSize rootSize(3286, 1080);
const QRect laptop(0, 0, 1366, 768);
const QRect external(1366, 0, 1920, 1080);
constexpr qreal scaleFactor = 1.5;

// What the window manager and the monitors' owner do to the X server, from a connection of
// their own: monitors plugged, changed and unplugged, windows placed, panels' strips published.
class Desktop {
public:
    // Monitors by name, each with its area in device pixels; an empty one is unplugged.
    using Monitors = QList<std::pair<QByteArray, QRect>>;

    Desktop() : m_connection(xcb_connect(nullptr, nullptr))
    {
        if (xcb_connection_has_error(m_connection))
            return;
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        auto *resources = xcb_randr_get_screen_resources_current_reply(
            m_connection, xcb_randr_get_screen_resources_current(m_connection, m_root), nullptr);
        if (resources && xcb_randr_get_screen_resources_current_outputs_length(resources) > 0)
            m_output = xcb_randr_get_screen_resources_current_outputs(resources)[0];
        std::free(resources);
    }
    ~Desktop() { xcb_disconnect(m_connection); }
    Desktop(const Desktop &) = delete;
    Desktop &operator=(const Desktop &) = delete;

    bool isReady() const { return m_output != XCB_NONE; }

    // Both monitors as docked, the laptop's on the X server's one output, as a real one is.
    void dock() { setMonitors({{"laptop", laptop}, {"external", external}}); }

    // Replaces the named monitors. Qt on X11 does not see a monitor that changes its size but
    // keeps its name here; it is unplugged and plugged again, as `xrandr --setmonitor` does.
    void setMonitors(const Monitors &monitors)
    {
        for (const auto &[name, area] : monitors) {
            const xcb_atom_t monitor = atom(name);
            xcb_randr_delete_monitor(m_connection, m_root, monitor);
            if (area.isEmpty())
                continue;
            // The monitor's description, followed by its outputs.
            struct {
                xcb_randr_monitor_info_t info;
                xcb_randr_output_t output;
            } description{};
            description.info.name = monitor;
            description.info.nOutput = name == "laptop" ? 1 : 0;
            description.info.x = std::int16_t(area.x());
            description.info.y = std::int16_t(area.y());
            description.info.width = std::uint16_t(area.width());
            description.info.height = std::uint16_t(area.height());
            description.info.width_in_millimeters = std::uint32_t(area.width() * 254 / 960);
            description.info.height_in_millimeters = std::uint32_t(area.height() * 254 / 960);
            description.output = m_output;
            // xcb_randr_set_monitor() of this libxcb-randr leaves the length of the padding after
            // the outputs unset, so a stray value may make the request too long: its parts are
            // given here, the two slots before them free for libxcb.
            static const xcb_protocol_request_t setMonitor{4, &xcb_randr_id, XCB_RANDR_SET_MONITOR, 1};
            xcb_randr_set_monitor_request_t request{};
            request.window = m_root;
            const std::size_t length = std::size_t(xcb_randr_monitor_info_sizeof(&description.info));
            iovec parts[6] = {{}, {}, {&request, sizeof request}, {nullptr, 0}, {&description, length}, {nullptr, 0}};
            xcb_send_request(m_connection, 0, parts + 2, &setMonitor);
        }
        sync();
    }

    // As a window manager that puts a window on the pointer's monitor moves it there.
    void moveWindow(const QWidget *window, QPoint position)
    {
        const std::uint32_t values[] = {std::uint32_t(position.x()), std::uint32_t(position.y())};
        xcb_configure_window(m_connection, xcb_window_t(window->winId()), XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y,
                             values);
        sync();
    }

    // Panels, each a window with the strip it reserves (_NET_WM_STRUT_PARTIAL, or the older
    // _NET_WM_STRUT), in the window manager's client list; and the per-monitor work areas some
    // window managers publish.
    void setPanels(const QList<QList<std::uint32_t>> &struts, const QList<std::uint32_t> &workAreas = {})
    {
        for (const xcb_window_t panel : std::as_const(m_panels))
            xcb_destroy_window(m_connection, panel);
        m_panels.clear();
        for (const QList<std::uint32_t> &strut : struts) {
            const xcb_window_t panel = xcb_generate_id(m_connection);
            xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, panel, m_root, 0, 0, 26, 26, 0,
                              XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
            setCardinals(panel, strut.size() == 12 ? "_NET_WM_STRUT_PARTIAL" : "_NET_WM_STRUT", strut);
            m_panels.append(panel);
        }
        const QList<std::uint32_t> clients(m_panels.cbegin(), m_panels.cend());
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, m_root, atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW, 32,
                            std::uint32_t(clients.size()), clients.constData());
        setCardinals(m_root, "_GTK_WORKAREAS_D0", workAreas);
        sync();
    }

    // Whether another program could take the pointer and its clicks now: nothing holds the
    // pointer, and nothing watches the presses on the root window (as the open popup does).
    bool pointerIsFree()
    {
        auto *reply = xcb_grab_pointer_reply(m_connection,
                                             xcb_grab_pointer(m_connection, false, m_root, 0, XCB_GRAB_MODE_ASYNC,
                                                              XCB_GRAB_MODE_ASYNC, XCB_NONE, XCB_NONE, XCB_CURRENT_TIME),
                                             nullptr);
        bool free = reply && reply->status == XCB_GRAB_STATUS_SUCCESS;
        std::free(reply);
        xcb_ungrab_pointer(m_connection, XCB_CURRENT_TIME);
        xcb_generic_error_t *taken = xcb_request_check(
            m_connection, xcb_grab_button_checked(m_connection, false, m_root, XCB_EVENT_MASK_BUTTON_PRESS,
                                                  XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC, XCB_NONE, XCB_NONE, 1,
                                                  XCB_MOD_MASK_ANY));
        free = free && !taken;
        std::free(taken);
        xcb_ungrab_button(m_connection, 1, m_root, XCB_MOD_MASK_ANY);
        sync();
        return free;
    }

private:
    xcb_atom_t atom(const QByteArray &name)
    {
        auto *reply = xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, false, std::uint16_t(name.size()), name.constData()), nullptr);
        const xcb_atom_t found = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return found;
    }

    void setCardinals(xcb_window_t window, const QByteArray &property, const QList<std::uint32_t> &values)
    {
        if (values.isEmpty())
            xcb_delete_property(m_connection, window, atom(property));
        else
            xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, window, atom(property), XCB_ATOM_CARDINAL, 32,
                                std::uint32_t(values.size()), values.constData());
    }

    void sync() { std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr)); }

    xcb_connection_t *m_connection;
    xcb_window_t m_root = XCB_NONE;
    xcb_randr_output_t m_output = XCB_NONE;
    QList<xcb_window_t> m_panels;
};

// A monitor's area as Qt gives it at the test's scale: its corner stays in device pixels.
QRect deviceIndependent(const QRect &monitor)
{
    return QRect(monitor.topLeft(), QSize(qRound(monitor.width() / scaleFactor), qRound(monitor.height() / scaleFactor)));
}

// Whether Qt knows a screen of that name and area.
bool seen(const QByteArray &name, const QRect &monitor)
{
    const QScreen *screen = screenNamed(QString::fromLatin1(name));
    return screen && screen->geometry() == deviceIndependent(monitor);
}

// Whether Qt has both monitors as docked.
bool docked()
{
    return QGuiApplication::screens().size() == 2 && seen("laptop", laptop) && seen("external", external);
}

// Lets the window system's answers to everything asked so far arrive and be handled, a few
// times over: a window that moves itself in reply keeps moving through these.
void letTheWindowSystemAnswer(int rounds)
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    for (int round = 0; round < rounds; ++round) {
        std::free(xcb_get_input_focus_reply(x11->connection(), xcb_get_input_focus(x11->connection()), nullptr));
        QTest::qWait(5);
    }
}

} // namespace

class TestTwoMonitors : public QObject {
    Q_OBJECT

public:
    TestTwoMonitors(Desktop *desktop) : m_desktop(desktop) {}

private:
    Desktop *m_desktop;

private slots:
    void initTestCase()
    {
        if (!m_desktop)
            QSKIP("Xvfb is not installed (scripts/setup-deps.sh --with-test-tools installs it)");
        QVERIFY(docked());
    }
    void cleanup()
    {
        for (QWidget *window : QApplication::topLevelWidgets())
            delete window;
        m_desktop->setPanels({});
        for (const auto &[name, area] : Desktop::Monitors{{"laptop", laptop}, {"external", external}}) {
            if (seen(name, area))
                continue;
            m_desktop->setMonitors({{name, QRect()}});
            QTRY_VERIFY(!screenNamed(QString::fromLatin1(name)));
            m_desktop->setMonitors({{name, area}});
            QTRY_VERIFY(seen(name, area));
        }
        QVERIFY(docked());
    }

    void aWindowMovedToTheOtherMonitorSettlesThere_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        for (const char *window : {"first run", "settings"}) {
            QTest::addRow("%s, onto the external monitor", window) << window << "laptop" << "external";
            QTest::addRow("%s, onto the laptop", window) << window << "external" << "laptop";
        }
    }
    // The window is fitted once for the monitor it was moved to, and stays there: a fit for the
    // monitor it has just left would move it back, and that move would bring another.
    void aWindowMovedToTheOtherMonitorSettlesThere()
    {
        QFETCH(QString, window);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QScreen *start = screenNamed(from);
        QScreen *target = screenNamed(to);
        test::AppStateRig rig;
        AppState &state = rig.build(true);
        QWidget *shown = nullptr;
        QSize designed;
        if (window == QLatin1String("first run")) {
            shown = new OnboardingView(&state);
            designed = OnboardingView::windowSize;
        } else {
            shown = new SettingsView(&state);
            designed = SettingsView::windowSize;
        }
        shown->setScreen(start);
        shown->move(start->availableGeometry().topLeft() + QPoint(20, 20));
        shown->show();
        QVERIFY(QTest::qWaitForWindowExposed(shown));
        QTRY_COMPARE(shown->screen(), start);
        letTheWindowSystemAnswer(5);
        QSignalSpy changes(shown->windowHandle(), &QWindow::screenChanged);

        m_desktop->moveWindow(shown, (to == QLatin1String("laptop") ? laptop : external).topLeft() + QPoint(150, 60));
        QTRY_COMPARE(shown->screen(), target);
        letTheWindowSystemAnswer(20);

        QCOMPARE(changes.count(), 1);
        QCOMPARE(shown->screen(), target);
        QCOMPARE(shown->size(), designed.boundedTo(WindowFit::room(shown)));
        QVERIFY(target->availableGeometry().contains(shown->geometry()));
    }

    void thePopupClosesWithItsMonitor_data()
    {
        QTest::addColumn<QList<Desktop::Monitors>>("steps");
        QTest::addColumn<bool>("closes");
        const Desktop::Monitors unplugged{{"external", QRect()}};
        QTest::newRow("its monitor unplugged") << QList<Desktop::Monitors>{unplugged} << true;
        QTest::newRow("its monitor from 1920x1080 to 1600x900")
            << QList<Desktop::Monitors>{unplugged, {{"external", QRect(external.topLeft(), QSize(1600, 900))}}} << true;
        QTest::newRow("the other monitor from 1366x768 to 1280x720")
            << QList<Desktop::Monitors>{{{"laptop", QRect()}}, {{"laptop", QRect(0, 0, 1280, 720)}}} << false;
    }
    // Left open, it would stay where no monitor shows it, holding the pointer, or lie over the
    // panel of a smaller one.
    void thePopupClosesWithItsMonitor()
    {
        QFETCH(QList<Desktop::Monitors>, steps);
        QFETCH(bool, closes);
        QScreen *screen = screenNamed(QStringLiteral("external"));
        const QRect area = screen->availableGeometry();
        auto *popup = new QWidget(nullptr, PopoverView::popupWindowFlags);
        popup->setScreen(screen);
        popup->setGeometry(area.right() - 400, area.bottom() - 330, 340, 300);
        auto *dismissal = new PopupDismissal(popup);
        dismissal->setEnabled(true);
        popup->show();
        popup->activateWindow();
        QVERIFY(QTest::qWaitForWindowExposed(popup));
        QTRY_VERIFY(!m_desktop->pointerIsFree());

        for (const Desktop::Monitors &step : std::as_const(steps)) {
            QSignalSpy removed(qApp, &QGuiApplication::screenRemoved);
            QSignalSpy added(qApp, &QGuiApplication::screenAdded);
            m_desktop->setMonitors(step);
            QTRY_VERIFY(!removed.isEmpty() || !added.isEmpty());
        }
        letTheWindowSystemAnswer(3);
        QCOMPARE(popup->isVisible(), !closes);
        QCOMPARE(m_desktop->pointerIsFree(), closes);
    }

    void eachMonitorLeavesOutItsPanels_data()
    {
        QTest::addColumn<QList<QList<std::uint32_t>>>("struts");
        QTest::addColumn<QList<std::uint32_t>>("workAreas");
        QTest::addColumn<QRect>("onTheLaptop");
        QTest::addColumn<QRect>("onTheExternal");
        // Qt gives the laptop 911 pixels, half a device pixel more than it has.
        const QRect wholeLaptop(0, 0, 910, 512);
        const QRect wholeExternal(1366, 0, 1280, 720);
        using Struts = QList<QList<std::uint32_t>>;
        // left, right, top, bottom, then the start and end of each along its edge.
        QTest::newRow("no panel") << Struts{} << QList<std::uint32_t>{} << wholeLaptop << wholeExternal;
        QTest::newRow("26 px on the laptop's left")
            << Struts{{26, 0, 0, 0, 0, 767, 0, 0, 0, 0, 0, 0}} << QList<std::uint32_t>{} << QRect(18, 0, 892, 512)
            << wholeExternal;
        QTest::newRow("26 px on the external's right")
            << Struts{{0, 26, 0, 0, 0, 0, 0, 1079, 0, 0, 0, 0}} << QList<std::uint32_t>{} << wholeLaptop
            << QRect(1366, 0, 1262, 720);
        QTest::newRow("at the top of the external only")
            << Struts{{0, 0, 30, 0, 0, 0, 0, 0, 1366, 3285, 0, 0}} << QList<std::uint32_t>{} << wholeLaptop
            << QRect(1366, 20, 1280, 700);
        // Measured from the bottom of the X screen, which the taller monitor reaches.
        QTest::newRow("at the bottom of the laptop only")
            << Struts{{0, 0, 0, 338, 0, 0, 0, 0, 0, 0, 0, 1365}} << QList<std::uint32_t>{} << QRect(0, 0, 910, 494)
            << wholeExternal;
        QTest::newRow("a left one without ranges and a right one")
            << Struts{{26, 0, 0, 0}, {0, 26, 0, 0, 0, 0, 0, 1079, 0, 0, 0, 0}} << QList<std::uint32_t>{}
            << QRect(18, 0, 892, 512) << QRect(1366, 0, 1262, 720);
        QTest::newRow("work areas published per monitor")
            << Struts{} << QList<std::uint32_t>{0, 0, 1366, 742, 1366, 30, 1920, 1050} << QRect(0, 0, 910, 494)
            << QRect(1366, 20, 1280, 700);
    }
    // Qt takes each monitor whole once there are two; the popup is kept clear of what the
    // panels reserve on its monitor, and of nothing on the other.
    void eachMonitorLeavesOutItsPanels()
    {
        QFETCH(QList<QList<std::uint32_t>>, struts);
        QFETCH(QList<std::uint32_t>, workAreas);
        QFETCH(QRect, onTheLaptop);
        QFETCH(QRect, onTheExternal);
        m_desktop->setPanels(struts, workAreas);
        QCOMPARE(screenWorkArea(screenNamed(QStringLiteral("laptop"))), onTheLaptop);
        QCOMPARE(screenWorkArea(screenNamed(QStringLiteral("external"))), onTheExternal);
    }
};

int main(int argc, char **argv)
{
    test::PrivateDisplay display(rootSize);
    std::unique_ptr<Desktop> desktop;
    if (display.isReady()) {
        desktop = std::make_unique<Desktop>();
        if (desktop->isReady())
            desktop->dock();
        else
            desktop.reset();
    }
    qputenv("QT_SCALE_FACTOR", QByteArray::number(scaleFactor));
    // A window that keeps moving itself keeps the event loop busy for good, so no wait in a
    // test returns: the watchdog ends such a test.
    if (qEnvironmentVariableIsEmpty("QTEST_FUNCTION_TIMEOUT"))
        qputenv("QTEST_FUNCTION_TIMEOUT", "60000");
    QApplication app(argc, argv);
    TestTwoMonitors test(desktop.get());
    return QTest::qExec(&test, argc, argv);
}

#include "tst_TwoMonitors.moc"
