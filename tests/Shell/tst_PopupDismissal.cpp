#include "Marrowick/Shell/PopupDismissal.h"
#include "Marrowick/Popover/PopoverView.h"

#include "support/PrivateDisplay.h"

#include <QApplication>
#include <QProcess>
#include <QTest>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>

using namespace marrowick;

namespace {

// A real click, through the X server, at a point of the screen.
bool clickAt(QPoint point)
{
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"), {"mousemove", "--sync", QString::number(point.x()), QString::number(point.y()),
                                              "click", "1"});
    return xdotool.waitForFinished(10000) && xdotool.exitStatus() == QProcess::NormalExit && xdotool.exitCode() == 0;
}

// A window of another program, as an X client that sets no focus on a click draws it (xmessage).
class ForeignWindow {
public:
    explicit ForeignWindow(QRect geometry) : m_connection(xcb_connect(nullptr, nullptr))
    {
        if (xcb_connection_has_error(m_connection))
            return;
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        m_window = xcb_generate_id(m_connection);
        const std::uint32_t values[] = {screen->white_pixel, XCB_EVENT_MASK_BUTTON_PRESS};
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, screen->root, std::int16_t(geometry.x()),
                          std::int16_t(geometry.y()), std::uint16_t(geometry.width()), std::uint16_t(geometry.height()),
                          0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK,
                          values);
        xcb_map_window(m_connection, m_window);
        xcb_set_input_focus(m_connection, XCB_INPUT_FOCUS_PARENT, m_window, XCB_CURRENT_TIME);
        hasFocus(); // a round trip: mapped and focused from here on
    }
    ~ForeignWindow() { xcb_disconnect(m_connection); }
    ForeignWindow(const ForeignWindow &) = delete;
    ForeignWindow &operator=(const ForeignWindow &) = delete;

    bool hasFocus() const
    {
        xcb_get_input_focus_reply_t *reply = xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr);
        const bool focused = reply && reply->focus == m_window;
        std::free(reply);
        return focused;
    }

private:
    xcb_connection_t *m_connection;
    xcb_window_t m_window = XCB_WINDOW_NONE;
};

// Counts the presses a widget is given.
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

// On an X server without a window manager, where nothing but the program moves the focus: the
// case that also stands for window managers that let a click through to the window they count
// as active without setting the focus again (icewm).
class TestPopupDismissal : public QObject {
    Q_OBJECT

public:
    explicit TestPopupDismissal(QString missing) : m_missing(std::move(missing)) {}

private:
    QString m_missing;

private slots:
    void initTestCase()
    {
        if (!m_missing.isEmpty())
            QSKIP(qPrintable(m_missing));
    }

    // The popup opens while another program's window has the focus. It closes when the user
    // turns elsewhere, and a click that closed it gives the focus back; a click inside leaves
    // it open.
    void thePopupClosesWhenTheUserTurnsElsewhere_data()
    {
        QTest::addColumn<QString>("gesture");
        QTest::addColumn<bool>("closes");
        QTest::newRow("a click into another program's window") << QStringLiteral("foreign") << true;
        QTest::newRow("a click on the desktop") << QStringLiteral("desktop") << true;
        QTest::newRow("a window of the program takes the focus") << QStringLiteral("focus") << true;
        QTest::newRow("a click inside the popup") << QStringLiteral("inside") << false;
    }
    void thePopupClosesWhenTheUserTurnsElsewhere()
    {
        QFETCH(QString, gesture);
        QFETCH(bool, closes);
        const QRect foreignArea(100, 100, 300, 200);
        ForeignWindow foreign(foreignArea);
        QVERIFY(foreign.hasFocus());
        QWidget settings;
        settings.setGeometry(100, 500, 300, 200);
        settings.show();
        QWidget popup(nullptr, PopoverView::popupWindowFlags);
        popup.setGeometry(700, 300, 340, 300);
        PressCounter pressed;
        popup.installEventFilter(&pressed);
        auto *dismissal = new PopupDismissal(&popup);
        dismissal->setEnabled(true);

        popup.show();
        popup.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &popup);
        QVERIFY(!foreign.hasFocus());
        QCoreApplication::processEvents(); // the pointer is held once the popup is mapped

        if (gesture == QLatin1String("foreign"))
            QVERIFY(clickAt(foreignArea.center()));
        else if (gesture == QLatin1String("desktop"))
            QVERIFY(clickAt(QPoint(1200, 50)));
        else if (gesture == QLatin1String("inside"))
            QVERIFY(clickAt(popup.geometry().center()));
        else
            settings.activateWindow();

        if (!closes) {
            QTRY_COMPARE(pressed.presses, 1);
            QVERIFY(popup.isVisible());
            QCOMPARE(QApplication::activeWindow(), &popup);
            return;
        }
        QTRY_VERIFY(!popup.isVisible());
        QVERIFY(dismissal->justDismissed());
        if (gesture == QLatin1String("focus"))
            QCOMPARE(QApplication::activeWindow(), &settings);
        else
            QTRY_VERIFY(foreign.hasFocus());
    }
};

int main(int argc, char *argv[])
{
    test::PrivateDisplay display;
    QApplication app(argc, argv);
    TestPopupDismissal tests(display.missingForInput());
    return QTest::qExec(&tests, argc, argv);
}

#include "tst_PopupDismissal.moc"
