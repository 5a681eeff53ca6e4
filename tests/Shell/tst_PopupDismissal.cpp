#include "Marrowick/Shell/PopupDismissal.h"
#include "Marrowick/Popover/PopoverToolbar.h"
#include "Marrowick/Popover/PopoverView.h"
#include "Marrowick/Settings/SettingsWindowFront.h"

#include "Popover/PopoverRig.h"
#include "support/PrivateDisplay.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

using namespace marrowick;
using namespace marrowick::test;

namespace {

// The events go on meanwhile: while the popup is open each press waits for it to look.
bool xdotool(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    return QTest::qWaitFor([&process] { return process.state() == QProcess::NotRunning; }, 10000)
           && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// A real click, through the X server, at a point of the screen.
bool clickAt(QPoint point)
{
    // A move with --sync waits for the pointer to move, for ever where it is already there.
    if (QCursor::pos() != point
        && !xdotool({"mousemove", "--sync", QString::number(point.x()), QString::number(point.y())}))
        return false;
    return xdotool({"click", "1"});
}

QPoint centreOf(const QWidget *widget)
{
    return widget->mapToGlobal(widget->rect().center());
}

// The window that has the X focus, as another client of the display sees it.
xcb_window_t focusedWindow(xcb_connection_t *connection)
{
    xcb_get_input_focus_reply_t *reply = xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr);
    const xcb_window_t focus = reply ? reply->focus : XCB_NONE;
    std::free(reply);
    return focus;
}

// A window of another program, drawn by an X client that sets no focus on a click (as xmessage
// does). It counts the presses and keys it is given.
class ForeignWindow {
public:
    explicit ForeignWindow(QRect geometry) : m_connection(xcb_connect(nullptr, nullptr))
    {
        if (xcb_connection_has_error(m_connection))
            return;
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        m_root = screen->root;
        m_window = xcb_generate_id(m_connection);
        const std::uint32_t values[] = {screen->white_pixel, XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_KEY_PRESS};
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, screen->root, std::int16_t(geometry.x()),
                          std::int16_t(geometry.y()), std::uint16_t(geometry.width()), std::uint16_t(geometry.height()),
                          0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK,
                          values);
        // Input wanted, so a window manager gives it the focus on a click.
        const std::uint32_t hints[] = {1, 1, 0, 0, 0, 0, 0, 0, 0};
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, m_window, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 32, 9,
                            hints);
        xcb_map_window(m_connection, m_window);
        xcb_flush(m_connection);
    }
    ~ForeignWindow() { xcb_disconnect(m_connection); }
    ForeignWindow(const ForeignWindow &) = delete;
    ForeignWindow &operator=(const ForeignWindow &) = delete;

    bool isFramed() const
    {
        xcb_query_tree_reply_t *reply = xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, m_window), nullptr);
        const bool framed = reply && reply->parent != m_root;
        std::free(reply);
        return framed && isViewable();
    }
    void mapAgain()
    {
        xcb_unmap_window(m_connection, m_window);
        xcb_map_window(m_connection, m_window);
        xcb_flush(m_connection);
    }
    bool isViewable() const
    {
        xcb_get_window_attributes_reply_t *reply =
            xcb_get_window_attributes_reply(m_connection, xcb_get_window_attributes(m_connection, m_window), nullptr);
        const bool viewable = reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(reply);
        return viewable;
    }
    // Where it is on the screen, wherever a window manager put it.
    QPoint centre() const
    {
        xcb_translate_coordinates_reply_t *reply = xcb_translate_coordinates_reply(
            m_connection, xcb_translate_coordinates(m_connection, m_window, m_root, 0, 0), nullptr);
        xcb_get_geometry_reply_t *size =
            xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, m_window), nullptr);
        const QPoint point = reply && size ? QPoint(reply->dst_x + size->width / 2, reply->dst_y + size->height / 2)
                                           : QPoint();
        std::free(reply);
        std::free(size);
        return point;
    }
    void takeFocus()
    {
        xcb_set_input_focus(m_connection, XCB_INPUT_FOCUS_PARENT, m_window, XCB_CURRENT_TIME);
        xcb_flush(m_connection);
    }
    bool hasFocus() const { return focusedWindow(m_connection) == m_window; }
    int presses()
    {
        drain();
        return m_presses;
    }
    int keys()
    {
        drain();
        return m_keys;
    }

private:
    void drain()
    {
        while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection)) {
            const int type = event->response_type & 0x7f;
            m_presses += type == XCB_BUTTON_PRESS ? 1 : 0;
            m_keys += type == XCB_KEY_PRESS ? 1 : 0;
            std::free(event);
        }
    }

    xcb_connection_t *m_connection;
    xcb_window_t m_root = XCB_WINDOW_NONE;
    xcb_window_t m_window = XCB_WINDOW_NONE;
    int m_presses = 0;
    int m_keys = 0;
};

// A real window manager on the test's display, for as long as this lives.
class WindowManager {
public:
    explicit WindowManager(const QString &program)
    {
        if (program.isEmpty())
            return;
        m_process.start(program, {});
        if (!m_process.waitForStarted())
            return;
        // It runs once it frames a new window; a window mapped while it starts may be lost
        // (openbox), so the probe is mapped again until one is framed.
        ForeignWindow probe(QRect(0, 0, 10, 10));
        for (int tries = 0; tries < 100 && !m_ready; ++tries) {
            m_ready = QTest::qWaitFor([&probe] { return probe.isFramed(); }, 100);
            if (!m_ready)
                probe.mapAgain();
        }
    }
    ~WindowManager()
    {
        m_process.terminate();
        m_process.waitForFinished();
    }
    WindowManager(const WindowManager &) = delete;
    WindowManager &operator=(const WindowManager &) = delete;

    bool isReady() const { return m_ready; }

private:
    QProcess m_process;
    bool m_ready = false;
};

// Counts the presses a window is given, on any of its widgets.
class PressCounter : public QObject {
public:
    int presses = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        presses += event->type() == QEvent::MouseButtonPress ? 1 : 0;
        return false;
    }
};

} // namespace

// On the test's own X server: without a window manager, where nothing but the programs moves
// the focus, and under icewm (which counts the window that had the focus before the popup
// opened as active all along, and lets a click into it through without setting the focus)
// and openbox.
class TestPopupDismissal : public QObject {
    Q_OBJECT

public:
    explicit TestPopupDismissal(QString missing) : m_missing(std::move(missing)) {}

private:
    QString m_missing;
    QString m_managerName;
    std::unique_ptr<WindowManager> m_manager;

    // The manager of the row, started when it differs from the last row's.
    bool useManager(const QString &name)
    {
        if (!m_manager || name != m_managerName) {
            m_manager.reset();
            m_managerName = name;
            m_manager = std::make_unique<WindowManager>(name);
        }
        return name.isEmpty() || m_manager->isReady();
    }

    // A click where a window manager runs (it focuses the window); else the window takes it.
    static bool focus(ForeignWindow &window, bool managed)
    {
        if (managed && !clickAt(window.centre()))
            return false;
        if (!managed)
            window.takeFocus();
        return QTest::qWaitFor([&window] { return window.hasFocus(); });
    }

private slots:
    void initTestCase()
    {
        if (!m_missing.isEmpty())
            QSKIP(qPrintable(m_missing));
    }
    void cleanupTestCase() { m_manager.reset(); }

    // Windows A and B of another program, and the settings window; one of them has the focus
    // when the popup opens. However the popup closes, the window the user clicked gets the
    // focus and the keys typed next; any other way of closing gives them back to the window
    // that had them. A click inside leaves the popup open.
    void theFocusGoesWhereTheUserTurns_data()
    {
        QTest::addColumn<QString>("manager");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("gesture");
        QTest::addColumn<QString>("after");
        for (const QString &manager : {QString(), QStringLiteral("icewm"), QStringLiteral("openbox")}) {
            const QString name = manager.isEmpty() ? QStringLiteral("no window manager") : manager;
            const auto row = [&](const char *what, const char *before, const char *gesture, const char *after) {
                QTest::addRow("%s: %s", qPrintable(name), what) << manager << before << gesture << after;
            };
            // Without a window manager a click focuses nothing: the focus goes back.
            row("a click into another window", "A", "click B", manager.isEmpty() ? "A" : "B");
            row("a click into the window that had the focus", "A", "click A", "A");
            row("Escape", "A", "Escape", "A");
            row("the tray icon", "A", "hide", "A");
            row("the popup's settings button", "A", "settings button", "settings");
            row("Escape while the settings window had the focus", "settings", "Escape", "settings");
            row("the popup's settings button while the settings window had the focus", "settings",
                "settings button", "settings");
            row("a click inside the popup", "A", "click inside", "popup");
            if (manager.isEmpty())
                row("a click on the desktop", "A", "click desktop", "A");
        }
    }
    void theFocusGoesWhereTheUserTurns()
    {
        QFETCH(QString, manager);
        QFETCH(QString, before);
        QFETCH(QString, gesture);
        QFETCH(QString, after);
        if (!manager.isEmpty() && QStandardPaths::findExecutable(manager).isEmpty())
            QSKIP("The window manager is not installed (scripts/setup-deps.sh --with-test-tools installs it)");
        QVERIFY(useManager(manager));
        const bool managed = !manager.isEmpty();
        xcb_connection_t *connection = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();

        ForeignWindow a(QRect(40, 60, 300, 200));
        ForeignWindow b(QRect(400, 60, 300, 200));
        QTRY_VERIFY(a.isViewable() && b.isViewable());
        QWidget settings;
        settings.setObjectName(settingsWindowIdentifier);
        settings.setGeometry(40, 420, 300, 200);
        settings.show();
        QVERIFY(QTest::qWaitForWindowExposed(&settings));
        if (before == QLatin1String("A")) {
            QVERIFY(focus(a, managed));
        } else {
            if (managed)
                QVERIFY(clickAt(centreOf(&settings)));
            else
                settings.activateWindow();
            QTRY_COMPARE(focusedWindow(connection), xcb_window_t(settings.winId()));
        }

        PopoverRig rig;
        PopoverView &popup = rig.open({}, false);
        popup.setWindowFlags(PopoverView::popupWindowFlags);
        popup.setGeometry(880, 300, 340, 300);
        auto *dismissal = new PopupDismissal(&popup);
        dismissal->setEnabled(true);
        connect(&popup, &PopoverView::settingsRequested, &settings, [&settings] {
            settings.show();
            bringSettingsWindowToFront();
        });
        popup.show();
        popup.raise();
        popup.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &popup);
        QTRY_COMPARE(focusedWindow(connection), xcb_window_t(popup.winId()));
        PressCounter pressed;
        popup.windowHandle()->installEventFilter(&pressed);
        const int pressesOnA = a.presses();

        if (gesture == QLatin1String("click B"))
            QVERIFY(clickAt(b.centre()));
        else if (gesture == QLatin1String("click A"))
            QVERIFY(clickAt(a.centre()));
        else if (gesture == QLatin1String("click desktop"))
            QVERIFY(clickAt(QPoint(800, 700)));
        else if (gesture == QLatin1String("click inside"))
            QVERIFY(clickAt(centreOf(&popup)));
        else if (gesture == QLatin1String("Escape"))
            QVERIFY(xdotool({"key", "Escape"}));
        else if (gesture == QLatin1String("hide"))
            popup.hide();
        else
            QVERIFY(clickAt(centreOf(popup.findChild<PopoverToolbar *>()->settingsButton())));

        if (after == QLatin1String("popup")) {
            QTRY_COMPARE(pressed.presses, 1);
            QVERIFY(popup.isVisible());
            QCOMPARE(focusedWindow(connection), xcb_window_t(popup.winId()));
            return;
        }
        QTRY_VERIFY(!popup.isVisible());
        // The click goes on to the window under the pointer.
        if (gesture == QLatin1String("click B"))
            QTRY_COMPARE(b.presses(), 1);
        if (gesture == QLatin1String("click A"))
            QTRY_COMPARE(a.presses(), pressesOnA + 1);
        if (after == QLatin1String("settings")) {
            QTRY_COMPARE(focusedWindow(connection), xcb_window_t(settings.winId()));
            return;
        }
        ForeignWindow &focused = after == QLatin1String("A") ? a : b;
        ForeignWindow &other = after == QLatin1String("A") ? b : a;
        QTRY_VERIFY(focused.hasFocus());
        QVERIFY(xdotool({"key", "x"}));
        QTRY_COMPARE(focused.keys(), 1);
        QCOMPARE(other.keys(), 0);
    }
};

int main(int argc, char *argv[])
{
    PrivateDisplay display;
    QApplication app(argc, argv);
    TestPopupDismissal tests(display.missingForInput());
    return QTest::qExec(&tests, argc, argv);
}

#include "tst_PopupDismissal.moc"
