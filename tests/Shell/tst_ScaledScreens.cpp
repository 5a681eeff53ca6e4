#include "Marrowick/Onboarding/OnboardingView.h"
#include "Marrowick/Settings/SettingsView.h"
#include "Marrowick/Shell/PopupPlacement.h"
#include "Marrowick/Popover/PopoverToolbar.h"
#include "Marrowick/Style/PillButton.h"
#include "Marrowick/Style/WindowFit.h"

#include "Popover/PopoverRig.h"
#include "Shell/ShellWindows.h"

#include <QApplication>
#include <QFileDialog>
#include <QScreen>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>
#include <QWindow>

using namespace marrowick;
using namespace marrowick::test;

namespace {

// Screens side by side, in device pixels: two laptops whose scaling leaves less room than
// the designed window sizes (853x533 and 1093x614 device-independent pixels), and a desk screen.
const char screensConfig[] = R"({"screens": [
    {"name": "laptop150", "x": 0, "y": 0, "width": 1280, "height": 800, "logicalDpi": 144, "logicalBaseDpi": 96},
    {"name": "laptop125", "x": 1280, "y": 0, "width": 1366, "height": 768, "logicalDpi": 120, "logicalBaseDpi": 96},
    {"name": "desk", "x": 2646, "y": 0, "width": 1920, "height": 1080, "logicalDpi": 96, "logicalBaseDpi": 96}
]})";

QString rectText(const QRect &rect)
{
    return QStringLiteral("%1x%2+%3+%4").arg(rect.width()).arg(rect.height()).arg(rect.x()).arg(rect.y());
}

// Whole on the screen's available area and not cut by anything around it in its window.
bool wholeInView(const QWidget *widget, const QRect &area)
{
    return widget->isVisible() && area.contains(QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size()))
           && widget->visibleRegion() == QRegion(widget->rect());
}

} // namespace

class TestScaledScreens : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { closeTopLevelWindows(); }

    void everyWindowFitsItsScreen_data();
    void everyWindowFitsItsScreen();
    void thePopupFitsItsScreen_data();
    void thePopupFitsItsScreen();
    void roomForAWindow_data();
    void roomForAWindow();
    void aWindowPlacedOutOfTheAreaComesInside_data();
    void aWindowPlacedOutOfTheAreaComesInside();
};

void TestScaledScreens::everyWindowFitsItsScreen_data()
{
    QTest::addColumn<QString>("screen");
    QTest::addColumn<QString>("window");
    QTest::addColumn<QSize>("designed");
    QTest::addColumn<QStringList>("buttons"); // object names, in view whatever the room

    const QStringList sheetButtons{"editor.cancel", "editor.save"};
    const QStringList settingsTabs{"settings.tab.sources", "settings.tab.general"};
    for (const char *screen : {"laptop150", "laptop125", "desk"}) {
        const auto row = [screen](const char *window) -> QTestData & { return QTest::addRow("%s, %s", window, screen); };
        row("settings") << screen << "settings" << QSize(480, 540)
                        << (settingsTabs + QStringList{SettingsView::addButtonIdentifier});
        row("settings, general tab") << screen << "general" << QSize(480, 540) << settingsTabs;
        row("new source, type step") << screen << "type step" << QSize(480, 460)
                                     << QStringList{"editor.cancel", "editor.next"};
        row("new game server") << screen << "game server" << QSize(480, 460) << sheetButtons;
        row("new custom JSON") << screen << "jsonWidget" << QSize(480, 460) << sheetButtons;
        row("editing a source") << screen << "edit" << QSize(480, 580) << sheetButtons;
        row("editing a game server") << screen << "edit game server" << QSize(480, 580) << sheetButtons;
        row("first run") << screen << "onboarding" << QSize(520, 560) << QStringList{"onboarding.back", "onboarding.forward"};
    }
}

// Where the screen has room, a window has its designed size and cannot be resized; where it
// has not, the window fits the available area, its content scrolls and its buttons stay in view.
void TestScaledScreens::everyWindowFitsItsScreen()
{
    QFETCH(QString, screen);
    QFETCH(QString, window);
    QFETCH(QSize, designed);
    QFETCH(QStringList, buttons);

    QScreen *target = screenNamed(screen);
    QVERIFY(target);
    const QRect area = target->availableGeometry();
    AppStateRig rig;
    AppState &state = rig.build(true);
    state.addSource(tcpSource(QUuid::createUuid()));
    state.addSource(GameServerConfig(QUuid::createUuid(), QStringLiteral("Valheim"), QStringLiteral("valheim"),
                                     QStringLiteral("127.0.0.1"), 2456, std::nullopt, std::nullopt, false));

    QWidget *shown = nullptr;
    if (window == QLatin1String("onboarding")) {
        auto *onboarding = new OnboardingView(&state);
        shown = onboarding;
        onboarding->backButton()->setObjectName(QStringLiteral("onboarding.back"));
        onboarding->forwardButton()->setObjectName(QStringLiteral("onboarding.forward"));
    } else {
        shown = new SettingsView(&state);
    }
    // Where a window manager would put it: in the middle of the free area.
    shown->setScreen(target);
    shown->move(area.center() - shown->rect().center());
    shown->show();
    QVERIFY(QTest::qWaitForWindowExposed(shown));
    QWidget *checked = shown;
    if (auto *settings = qobject_cast<SettingsView *>(shown); settings && window != QLatin1String("settings")) {
        if (window == QLatin1String("general")) {
            settings->setTab(SettingsView::SettingsTab::general);
        } else {
            if (window.startsWith(QLatin1String("edit")))
                settings->editSource(state.sources().at(window.endsWith(QLatin1String("game server")) ? 1 : 0).id());
            else
                settings->showAddSource();
            AddSourceView *sheet = settings->sheet();
            QVERIFY(sheet);
            if (window == QLatin1String("game server"))
                sheet->session().selectType(SourceFormState::SourceType::gameServer);
            else if (window == QLatin1String("jsonWidget"))
                sheet->session().selectType(SourceFormState::SourceType::jsonWidget);
            if (!window.startsWith(QLatin1String("edit")) && window != QLatin1String("type step"))
                sheet->session().continueToForm();
            QVERIFY(QTest::qWaitForWindowExposed(sheet));
            checked = sheet;
        }
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);

    QCOMPARE(checked->screen(), target);
    QVERIFY2(area.contains(checked->frameGeometry()),
             qPrintable(QStringLiteral("%1 outside %2").arg(rectText(checked->frameGeometry()), rectText(area))));
    // This platform's window frame is a pixel or two.
    const bool room = designed.height() + 8 <= area.height();
    if (room) {
        QCOMPARE(checked->size(), designed);
        QCOMPARE(checked->minimumSize(), designed);
        QCOMPARE(checked->maximumSize(), designed);
    } else {
        QCOMPARE(checked->width(), designed.width());
        QVERIFY(checked->height() < designed.height());
        QCOMPARE(checked->maximumSize(), designed);
    }
    for (const QString &name : std::as_const(buttons)) {
        QWidget *button = nullptr;
        for (QWidget *candidate : checked->findChildren<QWidget *>(name)) {
            if (candidate->isVisible())
                button = candidate;
        }
        QVERIFY2(button, qPrintable(name));
        QVERIFY2(wholeInView(button, area), qPrintable(name));
    }
}

void TestScaledScreens::thePopupFitsItsScreen_data()
{
    QTest::addColumn<QString>("screen");
    QTest::addColumn<bool>("bottomPanel");
    for (const char *screen : {"laptop150", "laptop125", "desk"}) {
        QTest::addRow("above a bottom panel, %s", screen) << screen << true;
        QTest::addRow("under a top panel, %s", screen) << screen << false;
    }
}

// Nine sources and a notice: about the tallest popup that does not scroll by its row count.
void TestScaledScreens::thePopupFitsItsScreen()
{
    QFETCH(QString, screen);
    QFETCH(bool, bottomPanel);

    QScreen *target = screenNamed(screen);
    QVERIFY(target);
    const QRect area = target->availableGeometry();
    PopoverRig rig;
    QList<AnySourceConfig> sources;
    for (int i = 0; i < PopoverView::scrollingRowCount - 1; ++i) {
        sources.append(tcp(QStringLiteral("Source %1").arg(i)));
        rig.answers.insert(sources.last().id(), QList<WidgetData>{checkWidget(QStringLiteral("c"), ServiceStatus::up)});
    }
    PopoverView &popover = rig.open(sources, false);
    popover.setNotice(QStringLiteral("No system tray was found, so Marrowick shows this window instead. "
                                     "Closing it quits Marrowick."));
    popover.setWindowFlags(PopoverView::popupWindowFlags);
    popover.setScreen(target);
    const QRect icon(area.center().x(), bottomPanel ? area.bottom() + 1 : area.top() - 22, 22, 22);
    popover.setHeightLimit(popupHeightLimit(area));
    popover.syncWithState();
    PopupPlacer placer(&popover);
    placer.place({icon, QPoint(), area});
    popover.show();
    QVERIFY(QTest::qWaitForWindowExposed(&popover));
    rig.clock.settle();
    popover.flushPendingChanges();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);

    QVERIFY2(area.contains(popover.geometry()),
             qPrintable(QStringLiteral("%1 outside %2").arg(rectText(popover.geometry()), rectText(area))));
    // Taller than the small screens leave, unscrolled, where there is room.
    if (screen == QLatin1String("desk")) {
        QVERIFY(!popover.isScrolling());
        QVERIFY(popover.height() > screenNamed(QStringLiteral("laptop150"))->availableGeometry().height());
    }
    for (QAbstractButton *button : popover.findChild<PopoverToolbar *>()->findChildren<QAbstractButton *>())
        QVERIFY2(wholeInView(button, area), qPrintable(button->toolTip()));
}

void TestScaledScreens::roomForAWindow_data()
{
    QTest::addColumn<QSize>("area");
    QTest::addColumn<qreal>("scale");
    QTest::addColumn<QSize>("fitted");

    QTest::newRow("room to spare") << QSize(1920, 1054) << 1.0 << QSize(480, 580);
    QTest::newRow("just enough") << QSize(488, 603) << 1.0 << QSize(480, 580);
    QTest::newRow("short") << QSize(1366, 500) << 1.0 << QSize(480, 477);
    QTest::newRow("short, integral scale") << QSize(683, 371) << 2.0 << QSize(480, 348);
    // Rounded area and frame may hide a device pixel or two of the window on a fractional scale.
    QTest::newRow("short, fractional scale") << QSize(1093, 594) << 1.25 << QSize(480, 569);
    QTest::newRow("narrow, fractional scale") << QSize(400, 594) << 1.5 << QSize(390, 569);
    QTest::newRow("no room") << QSize(5, 10) << 1.5 << QSize(1, 1);
}

// The designed size where the available area has room for it and the window's frame, else
// what the area leaves.
void TestScaledScreens::roomForAWindow()
{
    QFETCH(QSize, area);
    QFETCH(qreal, scale);
    QFETCH(QSize, fitted);
    QCOMPARE(WindowFit::fittedSize(QSize(480, 580), area, QMargins(4, 19, 4, 4), scale), fitted);
}

// A window manager places a dialog where it likes, which may put its title bar above the
// screen: that first placement is corrected, a move the user makes later is not.
void TestScaledScreens::aWindowPlacedOutOfTheAreaComesInside_data()
{
    QTest::addColumn<QString>("window");
    QTest::newRow("edit sheet") << "sheet";
    // Qt places a dialog by its frame; some window managers take that for the window's place.
    QTest::newRow("export dialog") << "export";
    QTest::newRow("import dialog") << "import";
}

// The window manager's placement of a window partly outside the area is corrected once; where
// the user moves it later, it stays.
void TestScaledScreens::aWindowPlacedOutOfTheAreaComesInside()
{
    QFETCH(QString, window);
    QScreen *target = screenNamed(QStringLiteral("laptop125"));
    QVERIFY(target);
    const QRect area = target->availableGeometry();
    AppStateRig rig;
    AppState &state = rig.build(true);
    state.addSource(tcpSource(QUuid::createUuid()));
    auto *settings = new SettingsView(&state);
    settings->setScreen(target);
    settings->move(area.topLeft());
    settings->show();
    QVERIFY(QTest::qWaitForWindowExposed(settings));

    const QPoint outside(area.left() - 5, area.top() - 12);
    struct Placements {
        QRect placed;
        QRect movedByTheUser;
    };
    const auto place = [&](QWidget *placed) {
        // Waited for here and compared once a dialog is closed again.
        Placements seen;
        placed->windowHandle()->setFramePosition(outside);
        static_cast<void>(QTest::qWaitFor([&] { return placed->frameGeometry().topLeft() == area.topLeft(); }));
        seen.placed = placed->frameGeometry();
        // The platform's answer to the correction first, as it comes long before the user's drag.
        QCoreApplication::processEvents();
        placed->windowHandle()->setFramePosition(outside);
        static_cast<void>(QTest::qWaitFor([&] { return placed->frameGeometry().topLeft() == outside; }));
        QCoreApplication::processEvents();
        seen.movedByTheUser = placed->frameGeometry();
        return seen;
    };
    Placements seen;
    if (window == QLatin1String("sheet")) {
        settings->editSource(state.sources().constFirst().id());
        AddSourceView *sheet = settings->sheet();
        QVERIFY(sheet);
        QVERIFY(QTest::qWaitForWindowExposed(sheet));
        seen = place(sheet);
    } else {
        settings->setTab(SettingsView::SettingsTab::general);
        // The dialog runs its own loop: looked at from inside it, then closed.
        bool shown = false;
        QTimer::singleShot(0, settings, [&] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            shown = QTest::qWaitForWindowExposed(dialog);
            if (shown)
                seen = place(dialog);
            dialog->reject();
        });
        if (window == QLatin1String("export"))
            settings->generalTab()->exportSources();
        else
            settings->generalTab()->importSources();
        QVERIFY(shown);
    }
    QCOMPARE(seen.placed.topLeft(), area.topLeft());
    QVERIFY(area.contains(seen.placed));
    QCOMPARE(seen.movedByTheUser.topLeft(), outside);
}

int main(int argc, char **argv)
{
    QTemporaryFile config;
    if (!config.open() || config.write(screensConfig) != qint64(sizeof screensConfig - 1) || !config.flush())
        qFatal("cannot write the screens' configuration");
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.fileName().toLocal8Bit());
    QApplication app(argc, argv);
    TestScaledScreens test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_ScaledScreens.moc"
