#include "Marrowick/Onboarding/OnboardingPages.h"
#include "Marrowick/Popover/CountBadge.h"
#include "Marrowick/Popover/GameRowView.h"
#include "Marrowick/Popover/LatencyPill.h"
#include "Marrowick/Popover/MetricRing.h"
#include "Marrowick/Popover/PopoverSummary.h"
#include "Marrowick/Popover/PopoverText.h"
#include "Marrowick/Popover/PopoverToolbar.h"
#include "Marrowick/Popover/RowCard.h"
#include "Marrowick/Style/RelativeTimeText.h"
#include "Marrowick/Popover/RowTrailing.h"
#include "Marrowick/Settings/SettingsTexts.h"
#include "MarrowickKit/Model/UuidText.h"

#include "Popover/PopoverRig.h"

#include <QDir>
#include <QFile>
#include <QGraphicsOpacityEffect>
#include <QHelpEvent>
#include <QLayout>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>

using namespace marrowick;
using namespace marrowick::test;

namespace {

using Widgets = QList<WidgetData>;

// Everything a row view shows, in order: its visible labels and pills, "|"-separated.
QString shownText(const QWidget &view)
{
    // As drawn: after the layout that a change asked for.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QStringList parts;
    for (const QWidget *child : view.findChildren<QWidget *>()) {
        if (!child->isVisible())
            continue;
        if (const auto *label = qobject_cast<const QLabel *>(child))
            parts.append(label->text());
        else if (const auto *pill = qobject_cast<const LatencyPill *>(child))
            parts.append(pill->text());
        else if (const auto *ring = qobject_cast<const MetricRing *>(child))
            parts.append(ring->label() + QLatin1Char(' ') + MetricRing::percentText(ring->pct()));
        else if (const auto *trailing = qobject_cast<const RowTrailing *>(child))
            parts.append(QStringList{trailing->statusText(), trailing->showsSparkline() ? QStringLiteral("~") : QString(),
                                     trailing->latencyText()}
                             .filter(QRegularExpression(QStringLiteral("."))));
    }
    return parts.join(QLatin1Char('|'));
}

// Where each drawn row's card lies in the popup, top to bottom, as far as the list shows.
QList<QRect> rowGeometries(const QWidget &popover)
{
    const QWidget *viewport = find<QScrollArea>(popover, "popover.list")->viewport();
    QList<QRect> cards;
    for (const RowCard *card : popover.findChildren<RowCard *>()) {
        const QRect inViewport(card->mapTo(viewport, QPoint()), card->size());
        if (card->isVisible() && inViewport.intersects(viewport->rect()))
            cards.append(QRect(card->mapTo(&popover, QPoint()), card->size()));
    }
    std::sort(cards.begin(), cards.end(), [](const QRect &a, const QRect &b) { return a.top() < b.top(); });
    return cards;
}

SymbolButton *toolbarButton(const QWidget &popover, const char *identifier)
{
    return find<SymbolButton>(popover, QString::fromLatin1(identifier));
}

Widgets checks(int count, ServiceStatus status = ServiceStatus::up)
{
    Widgets widgets;
    for (int i = 0; i < count; ++i)
        widgets.append(checkWidget(QStringLiteral("c%1").arg(i), status));
    return widgets;
}

} // namespace

class TestPopoverView : public QObject {
    Q_OBJECT

private slots:
    void cleanup()
    {
        for (QWidget *window : QApplication::topLevelWidgets())
            window->hide();
    }

    void withoutSourcesTheEmptyStateInvitesToAddOne()
    {
        PopoverRig rig;
        PopoverView &popover = rig.open({});
        QVERIFY(find(popover, "popover.empty")->isVisible());
        QVERIFY(!find(popover, "popover.list")->isVisible());
        QCOMPARE(visibleTexts(popover, "popover.summary"), QStringList{"No sources yet"});
        QVERIFY(!find(popover, "popover.statusWord")->isVisible());

        // Pausing still works, and with no list there is no banner.
        toolbarButton(popover, "popover.pause")->click();
        popover.flushPendingChanges();
        QVERIFY(rig.state->isPaused());
        QVERIFY(!find(popover, "popover.pausedBanner")->isVisible());
    }

    void sourcesThatHaveNotAnsweredShowNoRow()
    {
        PopoverRig rig;
        PopoverView &popover = rig.open({tcp("Router")}, true, false);
        QVERIFY(find(popover, "popover.list")->isVisible());
        QCOMPARE(popover.rowCount(), 0);
        QCOMPARE(visibleTexts(popover, "popover.summary"), QStringList{"No data yet"});
        QCOMPARE(visibleTexts(popover, "popover.statusWord"), QStringList{"Waiting for data"});
        QVERIFY(!find(popover, "popover.age")->isVisible());
    }

    void layoutFollowsTheRowsAndTheHeight_data()
    {
        QTest::addColumn<int>("sources");
        QTest::addColumn<int>("fields");
        QTest::addColumn<bool>("scrolling");
        QTest::newRow("9 rows") << 9 << 0 << false;
        QTest::newRow("10 rows") << 10 << 0 << true;
        // One row, but far taller than the limit: it must scroll, not be cut off.
        QTest::newRow("one very tall row") << 1 << 60 << true;
    }
    void layoutFollowsTheRowsAndTheHeight()
    {
        QFETCH(int, sources);
        QFETCH(int, fields);
        QFETCH(bool, scrolling);
        PopoverRig rig;
        QList<AnySourceConfig> configs;
        for (int i = 0; i < sources; ++i) {
            configs.append(tcp(QStringLiteral("S%1").arg(i)));
            Widgets widgets{checkWidget("c", ServiceStatus::up)};
            if (fields > 0) {
                QList<JSONFieldValue> values;
                for (int f = 0; f < fields; ++f)
                    values.append({QStringLiteral("field %1").arg(f), QStringLiteral("%1").arg(f)});
                widgets = {WidgetData::keyValues("Stats", values)};
            }
            rig.answers.insert(configs.last().id(), widgets);
        }
        PopoverView &popover = rig.open(configs);
        QCOMPARE(popover.rowCount(), sources);
        QCOMPARE(popover.isScrolling(), scrolling);
        if (scrolling)
            QCOMPARE(popover.height(), PopoverView::scrollingHeight);
        QVERIFY(popover.height() <= PopoverView::maximumHeight);
    }

    void collapsingSwitchesLayoutsAndIsRemembered()
    {
        PopoverRig rig;
        const AnySourceConfig source = tcp("Rack");
        rig.answers.insert(source.id(), checks(11));
        PopoverView &popover = rig.open({source});
        QCOMPARE(popover.rowCount(), 12);
        QVERIFY(popover.isScrolling());

        auto *header = find<QAbstractButton>(popover, "groupHeaderRow");
        QCOMPARE(header->accessibleDescription(), QStringLiteral("Press Space to collapse"));
        header->click();
        popover.flushPendingChanges();
        QCOMPARE(popover.rowCount(), 1);
        QVERIFY(!popover.isScrolling());
        QVERIFY(rig.state->widgetLayout().collapsed.contains(uuidText(source.id())));

        // A popup over the stored layout starts collapsed.
        const WidgetLayout reloaded = WidgetLayout::load(*rig.settings);
        QVERIFY(reloaded.collapsed.contains(uuidText(source.id())));
        header = find<QAbstractButton>(popover, "groupHeaderRow");
        QCOMPARE(header->accessibleDescription(), QStringLiteral("Press Space to expand"));
        header->click();
        popover.flushPendingChanges();
        QCOMPARE(popover.rowCount(), 12);
    }

    void aSingleWidgetIsOneCardUnderTheSourceName()
    {
        PopoverRig rig;
        const AnySourceConfig source = tcp("<b>Lab</b>");
        rig.answers.insert(source.id(), Widgets{checkWidget("port", ServiceStatus::up, 12.9)});
        PopoverView &popover = rig.open({source});
        QCOMPARE(popover.width(), PopoverView::popoverWidth);
        QVERIFY(!find(popover, "groupHeaderRow"));
        QCOMPARE(visibleTexts(popover, "name"), QStringList{"<b>Lab</b>"});
        // Server and user text is never read as markup.
        for (const QLabel *label : popover.findChildren<QLabel *>())
            QCOMPARE(label->textFormat(), Qt::PlainText);
    }

    void pausingShowsTheBannerAndDimsTheList()
    {
        PopoverRig rig;
        const AnySourceConfig source = tcp("Router");
        PopoverView &popover = rig.open({source});
        SymbolButton *pause = toolbarButton(popover, "popover.pause");
        QCOMPARE(pause->toolTip(), QStringLiteral("Pause monitoring"));
        pause->click();
        popover.flushPendingChanges();
        QVERIFY(find(popover, "popover.pausedBanner")->isVisible());
        auto *dim = qobject_cast<QGraphicsOpacityEffect *>(find(popover, "popover.groups")->graphicsEffect());
        QVERIFY(dim);
        QCOMPARE(dim->opacity(), 0.4);
        QCOMPARE(pause->symbol(), Symbol::play);
        QCOMPARE(pause->toolTip(), QStringLiteral("Resume monitoring"));
        QCOMPARE(visibleTexts(popover, "popover.pausedWord"), QStringList{"Paused"});
        QCOMPARE(visibleTexts(popover, "popover.counts"), QStringList());

        pause->click();
        popover.flushPendingChanges();
        QVERIFY(!rig.state->isPaused());
        QVERIFY(!find(popover, "popover.pausedBanner")->isVisible());
        QCOMPARE(pause->symbol(), Symbol::pause);
    }

    void toolbarAsksForSettingsAndQuits()
    {
        PopoverRig rig;
        PopoverView &popover = rig.open({});
        QSignalSpy settings(&popover, &PopoverView::settingsRequested);
        toolbarButton(popover, "popover.settings")->click();
        QCOMPARE(settings.count(), 1);
        find<QAbstractButton>(popover, "popover.addFirstSource")->click();
        QCOMPARE(settings.count(), 2);

        QSignalSpy quit(&popover, &PopoverView::quitRequested);
        toolbarButton(popover, "popover.quit")->click();
        QCOMPARE(quit.count(), 1);
        QCOMPARE(toolbarButton(popover, "popover.quit")->toolTip(), QStringLiteral("Quit Marrowick"));
    }

    void headerCountsAndAge()
    {
        PopoverRig rig;
        const AnySourceConfig healthy = tcp("Healthy");
        const AnySourceConfig failing = tcp("Failing");
        rig.answers.insert(healthy.id(), checks(3));
        rig.answers.insert(failing.id(), checks(2, ServiceStatus::down));
        PopoverView &popover = rig.open({healthy, failing});
        QCOMPARE(visibleTexts(popover, "popover.counts"), QStringList{"2 services affected"});
        QCOMPARE(visibleTexts(popover, "popover.age"), QStringList{"just now"});

        // The failed source counts once, its old widgets not at all.
        rig.answers.insert(failing.id(), QStringLiteral("timed out"));
        rig.pollAll();
        QCOMPARE(visibleTexts(popover, "popover.counts"), QStringList{"1 service affected"});
        QCOMPARE(visibleTexts(popover, "popover.statusWord"), QStringList{"Incident"});

        rig.clock.advance(12);
        popover.findChild<RelativeTimeTicker *>()->refreshAll();
        QCOMPARE(visibleTexts(popover, "popover.age"), QStringList{"10s ago"});
        find<QAbstractButton>(popover, "popover.refresh")->click();
        rig.clock.settle();
        popover.flushPendingChanges();
        QCOMPARE(visibleTexts(popover, "popover.age"), QStringList{"just now"});

        // While paused every widget of every snapshot is inactive, and no age shows.
        rig.state->setPaused(true);
        popover.flushPendingChanges();
        QCOMPARE(visibleTexts(popover, "popover.counts"), QStringList{"5 services inactive"});
        QVERIFY(!find(popover, "popover.refresh")->isVisible());
    }

    void rowViewsShowTheirValues_data()
    {
        QTest::addColumn<Widgets>("widgets");
        QTest::addColumn<QString>("view");
        QTest::addColumn<QString>("expected");
        const auto service = [](ServiceStatus status, std::optional<QString> detail) {
            return WidgetData::service(ServiceRow{"s", "s", status, 42.7, detail});
        };
        const auto game = [](bool online, QStringList names, QString detail) {
            return WidgetData::game(GameServerStatus{"g", "g", online, 3, 20, names, 30, detail});
        };
        QTest::newRow("service up") << Widgets{service(ServiceStatus::up, "v2")} << "serviceRow" << "Lab|v2|42ms";
        QTest::newRow("service down") << Widgets{service(ServiceStatus::down, std::nullopt)} << "serviceRow"
                                      << "Lab|Unreachable|42ms";
        QTest::newRow("check down with detail")
            << Widgets{checkWidget("c", ServiceStatus::down, 15, "timed out")} << "checkRow"
            << "Lab|timed out|Down|15ms";
        QTest::newRow("check down without detail")
            << Widgets{checkWidget("c", ServiceStatus::down, std::nullopt)} << "checkRow" << "Lab|Down|\u2014";
        QTest::newRow("game online with names")
            << Widgets{game(true, {"a", "b", "c", "d", "e"}, "motd")} << "gameRow"
            << "Lab|a, b, c +2|3/20 players|30ms";
        QTest::newRow("game online, nothing to add") << Widgets{game(true, {}, "")} << "gameRow"
                                                     << "Lab|3/20 players|30ms";
        QTest::newRow("game offline") << Widgets{game(false, {"a"}, "refused")} << "gameRow"
                                      << "Lab|refused|Offline|30ms";
        QTest::newRow("host with drives")
            << Widgets{WidgetData::host(HostStats{"h", "h", ServiceStatus::up, 90.5, 1e300, -5,
                                                  {{"sda", 41.9}, {"sdb", 55.2}}})}
            << "hostRow" << "Lab|CPU 90%|MEM 1000000000%|DISK -5%|55\u00B0C";
        QTest::newRow("host without values")
            << Widgets{WidgetData::host(HostStats{"h", "h", ServiceStatus::up, {}, {}, {}, {}})} << "hostRow"
            << "Lab|CPU \u2014|MEM \u2014|DISK \u2014";
        QTest::newRow("labelled values")
            << Widgets{WidgetData::keyValues("Stats", {{"<i>a</i>", "1"}, {"b", "2"}})} << "keyValuesRow"
            << "Lab|<i>a</i>|1|b|2";
        QTest::newRow("empty") << Widgets() << "sourceEmptyRow" << "Lab|No data reported";
        QTest::newRow("group header")
            << Widgets{checkWidget("a", ServiceStatus::up, 40), checkWidget("b", ServiceStatus::up, 41.8),
                       checkWidget("c", ServiceStatus::down, 43)}
            << "groupHeaderRow" << "Lab|1 down \u00B7 2 up|avg 41ms";
    }
    void rowViewsShowTheirValues()
    {
        QFETCH(Widgets, widgets);
        QFETCH(QString, view);
        QFETCH(QString, expected);
        PopoverRig rig;
        const AnySourceConfig source = tcp("Lab");
        rig.answers.insert(source.id(), widgets);
        PopoverView &popover = rig.open({source});
        QWidget *row = find(popover, view);
        QVERIFY(row);
        QCOMPARE(shownText(*row), expected);
    }

    void groupHeaderReadsAsOneElement()
    {
        PopoverRig rig;
        const AnySourceConfig source = tcp("Lab");
        rig.answers.insert(source.id(), Widgets{checkWidget("a", ServiceStatus::up, 40),
                                                checkWidget("b", ServiceStatus::up, 41.8),
                                                checkWidget("c", ServiceStatus::down, 43)});
        PopoverView &popover = rig.open({source});
        QCOMPARE(find(popover, "groupHeaderRow")->accessibleName(),
                 QStringLiteral("Lab, 3 widgets, 1 down \u00B7 2 up, average 41ms"));

        rig.answers.insert(source.id(), Widgets{WidgetData::keyValues("A", {}), WidgetData::keyValues("B", {})});
        rig.pollAll();
        QCOMPARE(find(popover, "groupHeaderRow")->accessibleName(), QStringLiteral("Lab, 2 widgets, 2 up"));
        QVERIFY(!find(popover, "groupHeaderRow")->findChild<LatencyPill *>()->isVisible());
    }

    void sparklinesNeedTwoSamplesAndAnUpRow()
    {
        PopoverRig rig;
        const AnySourceConfig source = tcp("Lab");
        rig.answers.insert(source.id(), Widgets{checkWidget("c", ServiceStatus::up)});
        PopoverView &popover = rig.open({source});
        const auto sparkline = [&popover] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
            return find<RowTrailing>(popover, "trailing")->showsSparkline();
        };
        QVERIFY(!sparkline());
        rig.pollAll();
        QVERIFY(sparkline());

        rig.settings->setShowSparklines(false);
        popover.flushPendingChanges();
        QVERIFY(!sparkline());
        rig.settings->setShowSparklines(true);
        rig.answers.insert(source.id(), Widgets{checkWidget("c", ServiceStatus::down)});
        rig.pollAll();
        QVERIFY(!sparkline());

        rig.settings->setCompactMode(true);
        popover.flushPendingChanges();
        QCOMPARE(find(popover, "checkRow")->layout()->contentsMargins(), QMargins(12, 4, 12, 4));
    }

    void namesGetTheirRoomBeforeTheSparkline_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Widgets>("widgets");
        QTest::addColumn<QString>("view");
        QTest::addColumn<bool>("wholeName");
        QTest::addColumn<int>("sparkline"); // 1 shown, 0 not, -1 as the font's widths allow
        const Widgets game{WidgetData::game(GameServerStatus{"g", "g", true, 12, 20, {}, 30, ""})};
        const Widgets check{checkWidget("c", ServiceStatus::up, 30, "HTTP 200")};
        const Widgets service{WidgetData::service(ServiceRow{"s", "s", ServiceStatus::up, 30, "v2"})};
        const QString longName = QStringLiteral("A game server with a name far too long for any popup row");
        QTest::newRow("game") << "Minecraft" << game << "gameRow" << true << -1;
        QTest::newRow("check") << "Home Assistant" << check << "checkRow" << true << -1;
        QTest::newRow("service") << "Home Assistant" << service << "serviceRow" << true << -1;
        QTest::newRow("check, short name") << "Lab" << check << "checkRow" << true << 1;
        QTest::newRow("game, long name") << longName << game << "gameRow" << false << 0;
        QTest::newRow("check, long name") << longName << check << "checkRow" << false << 0;
    }
    void namesGetTheirRoomBeforeTheSparkline()
    {
        QFETCH(QString, name);
        QFETCH(Widgets, widgets);
        QFETCH(QString, view);
        QFETCH(bool, wholeName);
        QFETCH(int, sparkline);
        PopoverRig rig;
        const AnySourceConfig source = tcp(name);
        rig.answers.insert(source.id(), widgets);
        PopoverView &popover = rig.open({source});
        rig.pollAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);

        QWidget *row = find(popover, view);
        auto *label = find<LimitedLabel>(*row, "name");
        auto *trailing = find<RowTrailing>(*row, "trailing");
        QCOMPARE(label->text(), name);
        const int natural = label->sizeHint().width();
        // The trailing block keeps its down text and pill whole, whatever the name.
        QVERIFY(trailing->width() >= trailing->sizeHint().width());
        QVERIFY(trailing->geometry().right() < row->width());
        // A name that cannot be whole takes all there is, before any sparkline.
        QCOMPARE(label->width() >= natural, wholeName);
        if (sparkline >= 0)
            QCOMPARE(trailing->showsSparkline(), sparkline == 1);
    }

    // Resting the pointer on a cut name shows it whole, as plain text; a whole name shows nothing.
    void cutNamesShowWholeOnHover_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QVariant>("answer"); // Widgets, or an error text
        QTest::addColumn<QString>("view");
        const QString longName = QStringLiteral("A game server with a name far too long for any popup row");
        const QVariant check = QVariant::fromValue(Widgets{checkWidget("c", ServiceStatus::up)});
        QTest::newRow("whole name") << "Lab" << check << "checkRow";
        QTest::newRow("cut name") << longName << check << "checkRow";
        QTest::newRow("markup stays text") << "<b>Lab</b> & " + longName << check << "checkRow";
        QTest::newRow("markup wider than the screen") << "<b>Lab</b> " + longName.repeated(4) << check << "checkRow";
        QTest::newRow("words wider than the screen") << longName.repeated(4) << check << "checkRow";
        QTest::newRow("one word wider than the screen")
            << QStringLiteral("Supercalifragilisticexpialidocious").repeated(8) << check << "checkRow";
        QTest::newRow("group header") << longName << QVariant::fromValue(checks(2)) << "groupHeaderRow";
        QTest::newRow("failing source") << longName << QVariant(QStringLiteral("refused")) << "sourceErrorRow";
    }
    void cutNamesShowWholeOnHover()
    {
        QFETCH(QString, name);
        QFETCH(QVariant, answer);
        QFETCH(QString, view);
        PopoverRig rig;
        const AnySourceConfig source = tcp(name);
        rig.answers.insert(source.id(), answer.canConvert<Widgets>() ? PopoverRig::Answer(answer.value<Widgets>())
                                                                     : PopoverRig::Answer(answer.toString()));
        PopoverView &popover = rig.open({source});
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        const auto *label = find<LimitedLabel>(*find(popover, view), "name");
        const QPoint at = label->mapTo(&popover, QPoint(2, label->height() / 2));
        QHelpEvent hover(QEvent::ToolTip, at, popover.mapToGlobal(at));
        QApplication::sendEvent(popover.childAt(at), &hover);
        const bool cut = name != QStringLiteral("Lab");
        QCOMPARE(hover.isAccepted(), cut);
        if (cut) {
            const QString wrong = toolTipShows(name);
            QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        }
        QToolTip::hideText();
    }

    void escapeDismissesThePopupButNotTheStandInWindow_data()
    {
        QTest::addColumn<bool>("popup");
        QTest::newRow("popup beside the tray") << true;
        QTest::newRow("window without a tray") << false;
    }
    void escapeDismissesThePopupButNotTheStandInWindow()
    {
        QFETCH(bool, popup);
        PopoverRig rig;
        const AnySourceConfig source = tcp("Lab");
        rig.answers.insert(source.id(), checks(2));
        PopoverView &popover = rig.open({source}, false);
        popover.setWindowFlags(popup ? PopoverView::popupWindowFlags : Qt::WindowFlags(Qt::Window));
        // The window manager leaves the popup alone: no taskbar button, no place in the switcher.
        QCOMPARE(popover.windowFlags().testFlag(Qt::BypassWindowManagerHint), popup);
        QCOMPARE(popover.windowFlags().testFlag(Qt::FramelessWindowHint), popup);
        popover.show();
        popover.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&popover));

        // Wherever the focus is inside it.
        auto *button = find<QAbstractButton>(popover, "popover.refresh");
        button->setFocus();
        QTest::keyClick(button, Qt::Key_Escape);
        QCOMPARE(popover.isVisible(), !popup);
    }

    // Return presses the focused button, as Space does.
    void returnPressesTheFocusedButton_data()
    {
        QTest::addColumn<QString>("button");
        QTest::newRow("a group header") << "groupHeaderRow";
        QTest::newRow("Settings") << "settings";
        QTest::newRow("Quit") << "quit";
    }
    void returnPressesTheFocusedButton()
    {
        QFETCH(QString, button);
        PopoverRig rig;
        const AnySourceConfig source = tcp("Lab");
        rig.answers.insert(source.id(), checks(2));
        PopoverView &popover = rig.open({source});
        QSignalSpy settings(&popover, &PopoverView::settingsRequested);
        QSignalSpy quit(&popover, &PopoverView::quitRequested);
        auto *toolbar = popover.findChild<PopoverToolbar *>();
        QWidget *pressed = button == "settings" ? toolbar->settingsButton()
                           : button == "quit"   ? toolbar->quitButton()
                                                : find<QAbstractButton>(popover, button);
        pressed->setFocus();
        QTest::keyClick(pressed, Qt::Key_Return);
        QCOMPARE(rig.state->widgetLayout().collapsed.contains(uuidText(source.id())), button == "groupHeaderRow");
        QCOMPARE(settings.size(), button == "settings" ? 1 : 0);
        QCOMPARE(quit.size(), button == "quit" ? 1 : 0);
    }

    // A row's height follows its content, whether it changes while the popup is shown or while
    // it is hidden: the popup then matches one opened afresh over the same state.
    void rowHeightsFollowTheirContent_data()
    {
        QTest::addColumn<int>("extraSources"); // one-row sources below the group, the single and the failing one
        QTest::addColumn<bool>("hidden");
        QTest::addColumn<QString>("change");
        for (const int extra : {0, 12}) {
            for (const bool hidden : {false, true}) {
                const char *where = hidden ? "hidden" : "shown";
                for (const char *change : {"compact on", "compact off", "longer error"})
                    QTest::addRow("%d more, %s while %s", extra, change, where) << extra << hidden << QString(change);
            }
        }
    }
    void rowHeightsFollowTheirContent()
    {
        QFETCH(int, extraSources);
        QFETCH(bool, hidden);
        QFETCH(QString, change);
        PopoverRig rig;
        rig.settings->setCompactMode(change == "compact off");
        const QList<AnySourceConfig> sources{tcp("Rack"), tcp("Router"), tcp("NAS")};
        rig.answers.insert(sources[0].id(), checks(3));
        rig.answers.insert(sources[1].id(), Widgets{checkWidget("c", ServiceStatus::up)});
        rig.answers.insert(sources[2].id(), QStringLiteral("refused"));
        QList<AnySourceConfig> all = sources;
        for (int i = 0; i < extraSources; ++i) {
            all.append(tcp(QStringLiteral("S%1").arg(i)));
            rig.answers.insert(all.last().id(), Widgets{checkWidget("c", ServiceStatus::up)});
        }
        PopoverView &popover = rig.open(all);
        rig.pollAll(); // two samples: the sparklines show

        if (hidden)
            popover.hide();
        if (change.startsWith("compact"))
            rig.settings->setCompactMode(change == "compact on");
        else
            rig.answers.insert(sources[2].id(), QStringLiteral("refused by the firewall of the rack in the attic, "
                                                               "which answers every port with a reset"));
        rig.clock.advance(60);
        int placedHeight = 0;
        if (hidden) {
            // As the tray opens it: read the state, size and place it, then show it.
            popover.syncWithState();
            popover.adjustSize();
            placedHeight = popover.height();
            popover.show();
        } else {
            popover.flushPendingChanges();
        }

        PopoverView fresh(rig.state.get());
        fresh.setClock(rig.clock.nowFunction());
        fresh.show();
        QTRY_COMPARE(rowGeometries(popover), rowGeometries(fresh));
        QCOMPARE(popover.height(), fresh.height());
        if (hidden)
            QCOMPARE(placedHeight, fresh.height());
    }

    // Every count the windows write, in the locale's digits grouping.
    void countsUseTheLocalesGrouping_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("count"); // 10000 as the locale writes it
        QTest::newRow("English") << "en_US" << "10,000";
        QTest::newRow("German") << "de_DE" << "10.000";
        QTest::newRow("C") << "C" << "10000";
    }
    void countsUseTheLocalesGrouping()
    {
        QFETCH(QString, locale);
        QFETCH(QString, count);
        const QLocale before;
        const auto restore = qScopeGuard([&before] { QLocale::setDefault(before); });
        QLocale::setDefault(QLocale(locale));
        constexpr qsizetype n = 10000;
        PopoverRows::StatusCounts counts{{ServiceStatus::up, n}};
        QCOMPARE(*PopoverSummary::affectedText(counts), count + " services online");
        counts.insert(ServiceStatus::down, n);
        QCOMPARE(PopoverRows::aggregateText(counts), count + " down \u00B7 " + count + " up");
        QCOMPARE(playersText(n, n), count + "/" + count + " players");
        QCOMPARE(playerNamesText(QStringList(n + 3, "a")), "a, a, a +" + count);
        QCOMPARE(CountBadge(n).text(), count);
        QCOMPARE(SettingsTexts::countPhrase(n), count + " sources");
        QCOMPARE(OnboardingPages::sourceCountText(n), count + " sources added");
    }

    void anErrorIsCutAfterTwoLines()
    {
        PopoverRig rig;
        const AnySourceConfig source = tcp("Lab");
        rig.answers.insert(source.id(), QStringLiteral("line one\nline two\nline three\nline four"));
        PopoverView &popover = rig.open({source});
        auto *error = find<LimitedLabel>(*find(popover, "sourceErrorRow"), "detail");
        QCOMPARE(error->text(), QStringLiteral("line one\nline two\nline three\nline four"));
        QCOMPARE(error->visibleLines(error->width()).size(), 2);
    }

    void updatesKeepTheScrollPositionAndSkipHiddenPopups()
    {
        PopoverRig rig;
        QList<AnySourceConfig> sources;
        for (int i = 0; i < 20; ++i) {
            sources.append(tcp(QStringLiteral("S%1").arg(i)));
            rig.answers.insert(sources.last().id(), Widgets{checkWidget("c", ServiceStatus::up)});
        }
        PopoverView &popover = rig.open(sources);
        QScrollBar *bar = find<QScrollArea>(popover, "popover.list")->verticalScrollBar();
        bar->setValue(100);
        QWidget *firstRow = find(popover, "checkRow");
        rig.pollAll();
        QCOMPARE(bar->value(), 100);
        QCOMPARE(find(popover, "checkRow"), firstRow); // updated in place, not rebuilt

        // Every row changing its kind at once (an outage) still keeps the place.
        for (const AnySourceConfig &source : sources)
            rig.answers.insert(source.id(), QStringLiteral("timed out"));
        rig.pollAll();
        QCOMPARE(bar->value(), 100);
        QCOMPARE(visibleTexts(popover, "detail").count(QStringLiteral("timed out")), 20);
        for (const AnySourceConfig &source : sources)
            rig.answers.insert(source.id(), Widgets{checkWidget("c", ServiceStatus::up)});
        rig.clock.advance(600); // past the back-off
        popover.flushPendingChanges();
        QCOMPARE(visibleTexts(popover, "detail").count(QStringLiteral("timed out")), 0);
        QCOMPARE(bar->value(), 100);

        // Hidden, the popup draws nothing; shown again, it reads the state afresh.
        popover.hide();
        rig.answers.insert(sources.first().id(), QStringLiteral("refused"));
        rig.clock.advance(60);
        QVERIFY(!find(popover, "sourceErrorRow"));
        popover.show();
        QVERIFY(find(popover, "sourceErrorRow"));
    }

    void longListsDrawTheRowsThatComeIntoView()
    {
        PopoverRig rig;
        QList<AnySourceConfig> sources;
        for (int i = 0; i < 300; ++i) {
            sources.append(tcp(QStringLiteral("S%1").arg(i)));
            rig.answers.insert(sources.last().id(), Widgets{checkWidget("c", ServiceStatus::up, i)});
        }
        PopoverView &popover = rig.open(sources);
        QCOMPARE(popover.rowCount(), 300);
        QVERIFY(popover.findChildren<QWidget *>(QStringLiteral("checkRow")).size() < 100);

        auto *list = find<QScrollArea>(popover, "popover.list");
        QScrollBar *bar = list->verticalScrollBar();
        // The row of a source, if it is drawn and at least partly inside the list's viewport.
        const auto rowInView = [&](const QString &name) -> QWidget * {
            for (QWidget *row : popover.findChildren<QWidget *>(QStringLiteral("checkRow"))) {
                if (!visibleTexts(*row, "name").contains(name))
                    continue;
                const QRect inViewport(row->mapTo(list->viewport(), QPoint(0, 0)), row->size());
                return inViewport.intersects(list->viewport()->rect()) ? row : nullptr;
            }
            return nullptr;
        };
        const auto scrollTo = [&](int value) {
            // Rows measured on the way change the list's length; the end is where it settles.
            for (int i = 0; i < 5; ++i) {
                QCoreApplication::sendPostedEvents();
                bar->setValue(value < 0 ? bar->maximum() : value);
            }
        };
        QVERIFY(rowInView("S0"));
        QVERIFY(!rowInView("S299"));

        // A change of a source out of sight shows once it is scrolled to.
        rig.answers.insert(sources.last().id(), Widgets{checkWidget("c", ServiceStatus::down, std::nullopt, "refused")});
        rig.pollAll();
        scrollTo(-1);
        QWidget *last = rowInView("S299");
        QVERIFY(last);
        // Beside the scroll bar, not under it.
        QVERIFY(last->mapTo(list->viewport(), QPoint(last->width(), 0)).x() <= list->viewport()->width());
        QCOMPARE(shownText(*last), QStringLiteral("S299|refused|Down|\u2014"));
        QVERIFY(!rowInView("S0"));

        // Updates keep the place at the end, and the top comes back when scrolled to.
        const int end = bar->value();
        rig.answers.insert(sources.last().id(), Widgets{checkWidget("c", ServiceStatus::up, 7)});
        rig.pollAll();
        QCOMPARE(bar->value(), end);
        QCOMPARE(shownText(*rowInView("S299")), QStringLiteral("S299|~|7ms"));
        scrollTo(0);
        QVERIFY(rowInView("S0"));
        QVERIFY(popover.findChildren<QWidget *>(QStringLiteral("checkRow")).size() < 100);
    }

    void noticesStayVisible()
    {
        PopoverRig rig;
        rig.alerts->status = AuthorizationStatus::denied;
        QVERIFY(QDir().mkpath(rig.folder()));
        QFile damaged(rig.folder() + QStringLiteral("/history.json"));
        QVERIFY(damaged.open(QIODevice::WriteOnly));
        damaged.write("{");
        damaged.close();
        PopoverView &popover = rig.open({});
        rig.clock.settle();
        QVERIFY(visibleTexts(popover, QString())
                    .contains(QStringLiteral("Alerts cannot be shown: no notification server answers.")));
        // The first visible text that contains `part`, or none.
        const auto textWith = [&popover](QLatin1String part) {
            for (const QString &text : visibleTexts(popover, QString()))
                if (text.contains(part))
                    return text;
            return QString();
        };
        const QLatin1String historyNotice("history.json was damaged. Marrowick started without it and kept it as ");
        QVERIFY(!textWith(historyNotice).isEmpty());
        // The empty list keeps its full height under the notices: nothing is squeezed.
        const auto *add = find<QAbstractButton>(popover, "popover.addFirstSource");
        QCOMPARE(add->height(), add->sizeHint().height());
        QCOMPARE(popover.height(), popover.layout()->totalHeightForWidth(popover.width()));

        // A file where the data folder should be makes every write fail.
        QVERIFY(QDir(rig.folder()).removeRecursively());
        QFile blocker(rig.folder());
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        rig.state->addSource(tcp("Router"));
        const QLatin1String sourcesNotice("Your sources could not be saved");
        QVERIFY(textWith(sourcesNotice).startsWith(sourcesNotice));
        QVERIFY(!textWith(historyNotice).isEmpty());
    }

    // One line says that this computer has no network while a source waits for it.
    void theNetworkNoticeFollowsTheSources()
    {
        PopoverRig rig;
        auto network = std::make_shared<test::FakeNetworkStatus>();
        rig.network = network;
        const AnySourceConfig router = tcp("Router");
        PopoverView &popover = rig.open({router});
        const auto noticed = [&popover] {
            return visibleTexts(popover, QStringLiteral("popover.networkNotice"));
        };
        QVERIFY(noticed().isEmpty());
        rig.answers.insert(router.id(), QStringLiteral("host not found"));
        network->offline = true;
        rig.pollAll();
        QCOMPARE(noticed(), QStringList{PopoverView::networkNoticeText});
        rig.answers.remove(router.id());
        network->set(false);
        rig.clock.settle();
        QVERIFY(noticed().isEmpty());
    }
};

QTEST_MAIN(TestPopoverView)
#include "tst_PopoverView.moc"
