#include "Editor/EditorRig.h"
#include "Popover/PopoverRig.h"

#include "Marrowick/Onboarding/OnboardingView.h"
#include "Marrowick/Popover/SourceBlock.h"
#include "Marrowick/Settings/GeneralSettingsView.h"
#include "Marrowick/Settings/SettingsView.h"
#include "Marrowick/Settings/SourceRow.h"
#include "Marrowick/Style/MarrowickProxyStyle.h"
#include "Marrowick/Style/MarrowickStyle.h"

#include "support/AccessibilityBus.h"
#include "support/PrivateDisplay.h"

#include <QAccessible>
#include <QApplication>
#include <QListWidget>
#include <QProcess>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTest>
#include <QToolButton>

using namespace marrowick;

namespace {

// Keys as a user types them: through the X server, to the window that has its focus.
bool type(const QStringList &keys)
{
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"), QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("0")} + keys);
    return xdotool.waitForFinished(10000) && xdotool.exitStatus() == QProcess::NormalExit && xdotool.exitCode() == 0;
}

// What a control is to a reader of the test: its source's name in a list, else its name.
QString label(const QWidget *widget)
{
    for (const QWidget *w = widget; w; w = w->parentWidget()) {
        if (const auto *block = qobject_cast<const SourceBlock *>(w))
            return QStringLiteral("source ") + block->source().displayName();
        if (const auto *card = qobject_cast<const SourceRow *>(w))
            return QStringLiteral("source ") + card->model().name;
    }
    if (!widget->objectName().isEmpty())
        return widget->objectName();
    if (!widget->accessibleName().isEmpty())
        return widget->accessibleName();
    if (const auto *button = qobject_cast<const QAbstractButton *>(widget))
        return button->text();
    return QString::fromLatin1(widget->metaObject()->className());
}

// `widget` and what lies 14 pixels around it (a card whose outline shows the focus of the
// button inside) on the screen: as the X server shows it, what effects draw included (the
// rows of the widgets list, at full or half opacity).
QImage around(QWidget *widget)
{
    QWidget *window = widget->window();
    window->repaint();
    const QRect area = QRect(widget->mapTo(window, QPoint()), widget->size()).adjusted(-14, -14, 14, 14);
    return window->screen()->grabWindow(window->winId(), area.x(), area.y(), area.width(), area.height()).toImage();
}

// The most a pixel changes between two pictures of one place, as a contrast ratio.
double strongestChange(const QImage &a, const QImage &b)
{
    double strongest = 1;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x)
            strongest = std::max(strongest, contrastRatio(a.pixelColor(x, y), b.pixelColor(x, y)));
    }
    return strongest;
}

// Whether `next` comes after `previous` in reading order: inside it (a list, then its rows'
// buttons), below it, or on its line and right of it.
bool readsAfter(const QRect &previous, const QRect &next)
{
    if (previous.contains(next))
        return true;
    const int line = std::min(previous.height(), next.height()) / 2;
    if (std::abs(previous.center().y() - next.center().y()) <= line)
        return next.left() > previous.left();
    return next.center().y() > previous.center().y();
}

QRect inWindow(const QWidget *widget)
{
    return QRect(widget->mapTo(widget->window(), QPoint()), widget->size());
}

// What Qt tells assistive technology: with record() installed, each event reaches it instead
// of the platform's bridge.
struct Told {
    QAccessible::Event type;
    QPointer<QObject> object;
    QString name;
    QString description;
};
QList<Told> told;

void record(QAccessibleEvent *event)
{
    // The element it is about: the object's, or its child's (a list's row).
    const QAccessibleInterface *about = event->accessibleInterface();
    told.append({event->type(), event->object(), about ? about->text(QAccessible::Name) : QString(),
                 about ? about->text(QAccessible::Description) : QString()});
}

// The accessibility tree below `root` in the order a screen reader walks it, as the names of
// the sources whose card (T) it meets.
template<typename T, typename Name>
QStringList treeOrder(QWidget *root, Name name)
{
    QStringList names;
    QList<QAccessibleInterface *> pending{QAccessible::queryAccessibleInterface(root)};
    while (!pending.isEmpty()) {
        QAccessibleInterface *node = pending.takeFirst();
        if (const auto *card = qobject_cast<const T *>(node->object())) {
            names.append(name(card));
            continue;
        }
        QList<QAccessibleInterface *> children;
        for (int i = 0; i < node->childCount(); ++i)
            children.append(node->child(i));
        pending = children + pending;
    }
    return names;
}

} // namespace

// Every window by the keyboard alone, keys sent through the X server (no window manager).
class TestKeyboardAlone : public QObject {
    Q_OBJECT

public:
    TestKeyboardAlone(bool hasDisplay, bool hasAccessibilityBus)
        : m_hasDisplay(hasDisplay), m_hasAccessibilityBus(hasAccessibilityBus)
    {
    }

private:
    bool m_hasDisplay;
    bool m_hasAccessibilityBus;
    std::unique_ptr<test::PopoverRig> m_popoverRig;
    std::unique_ptr<test::EditorRig> m_editorRig;
    std::unique_ptr<test::AppStateRig> m_rig;
    std::unique_ptr<QWidget> m_window;

    // Sources "S0"... with two widgets each, so each is a group with a header.
    QList<AnySourceConfig> groups(int count)
    {
        QList<AnySourceConfig> sources;
        for (int i = 0; i < count; ++i) {
            sources.append(test::tcp(QStringLiteral("S%1").arg(i)));
            m_popoverRig->answers.insert(sources.last().id(), QList<WidgetData>{test::checkWidget("a", ServiceStatus::up),
                                                                               test::checkWidget("b", ServiceStatus::down)});
        }
        return sources;
    }

    // From here on, what assistive technology is told is recorded.
    void listen()
    {
        if (!m_hasAccessibilityBus)
            QSKIP("at-spi2-core is not installed (scripts/setup-deps.sh --with-test-tools installs it)");
        QVERIFY(QTest::qWaitFor([] { return QAccessible::isActive(); }));
        told.clear();
    }

    // One of the program's windows, shown and holding the keyboard.
    QWidget *open(const QString &window)
    {
        QWidget *shown = nullptr;
        if (window.startsWith(QLatin1String("popup"))) {
            m_popoverRig = std::make_unique<test::PopoverRig>();
            const int count = window == QLatin1String("popup") ? 3 : window == QLatin1String("popup, long") ? 30 : 0;
            shown = &m_popoverRig->open(groups(count));
        } else if (window.startsWith(QLatin1String("settings"))) {
            m_rig = std::make_unique<test::AppStateRig>();
            m_rig->build(true);
            for (const QString name : {"A", "B", "C"})
                m_rig->state->addSource(test::tcpSource(QUuid::createUuid(), name));
            auto *settings = new SettingsView(m_rig->state.get(), {}, {});
            if (window == QLatin1String("settings, general"))
                settings->setTab(SettingsView::SettingsTab::general);
            m_window.reset(settings);
        } else if (window.startsWith(QLatin1String("sheet"))) {
            m_editorRig = std::make_unique<test::EditorRig>();
            m_editorRig->buildEditorState();
            if (window == QLatin1String("sheet, editing")) {
                const AnySourceConfig source = test::tcpSource(QUuid::createUuid());
                m_editorRig->state->addSource(source);
                test::VirtualClock::settle();
                shown = &m_editorRig->open(source);
            } else {
                shown = &m_editorRig->open();
                if (window == QLatin1String("sheet, form")) {
                    m_editorRig->click(QStringLiteral("editor.type.tcpPort"));
                    m_editorRig->click(QStringLiteral("editor.next"));
                }
            }
        } else {
            m_rig = std::make_unique<test::AppStateRig>();
            m_window = std::make_unique<OnboardingView>(&m_rig->build(true));
        }
        if (!shown) {
            shown = m_window.get();
            shown->show();
        }
        shown->activateWindow();
        if (!QTest::qWaitForWindowActive(shown) || !QTest::qWaitFor([] { return QApplication::focusWidget() != nullptr; }))
            return nullptr;
        return shown;
    }

private slots:
    void initTestCase()
    {
        if (!m_hasDisplay)
            QSKIP("Xvfb is not installed (scripts/setup-deps.sh --with-test-tools installs it)");
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            QSKIP("xdotool is not installed (scripts/setup-deps.sh --with-test-tools installs it)");
        MarrowickProxyStyle::install();
        QAccessible::installUpdateHandler(record);
    }

    void cleanup()
    {
        m_window.reset();
        m_popoverRig.reset();
        m_editorRig.reset();
        m_rig.reset();
        told.clear();
    }

    // The first focus lands on the first control; Tab then visits every control once, as the
    // eye reads them, and each one's focus changes its pixels by 3:1 at least, so it shows.
    void tabFollowsTheEyeAndShowsWhereItIs_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("first");
        QTest::newRow("popup") << "popup" << "popover.refresh";
        QTest::newRow("popup of a long list, scrolled to its end and back") << "popup, long" << "popover.refresh";
        QTest::newRow("popup without sources") << "popup, empty" << "popover.refresh";
        QTest::newRow("settings") << "settings" << "settings.tab.sources";
        QTest::newRow("settings, general tab") << "settings, general" << "settings.tab.sources";
        QTest::newRow("add sheet, type step") << "sheet" << "editor.type.kuma";
        QTest::newRow("add sheet, form") << "sheet, form" << "Name";
        QTest::newRow("edit sheet with its widgets") << "sheet, editing" << "Name";
        QTest::newRow("first-run window") << "first run" << "Skip";
    }
    void tabFollowsTheEyeAndShowsWhereItIs()
    {
        QFETCH(QString, window);
        QFETCH(QString, first);
        QWidget *shown = open(window);
        QVERIFY(shown);
        if (window == QLatin1String("popup, long")) {
            // Rows made while scrolling up are made after those below them.
            QScrollBar *bar = shown->findChild<QScrollArea *>()->verticalScrollBar();
            QVERIFY(type({"End"}));
            QVERIFY(QTest::qWaitFor([bar] { return bar->value() > 0 && bar->value() == bar->maximum(); }));
            QVERIFY(type({"Home"}));
            QVERIFY(QTest::qWaitFor([bar] { return bar->value() == 0; }));
        }
        QWidget *start = QApplication::focusWidget();
        QCOMPARE(label(start), first);

        QStringList visited;
        QStringList faint;
        int backwards = 0;
        QPointer<QWidget> previous;
        for (QWidget *focus = start; visited.size() < 80;) {
            if (previous && !readsAfter(inWindow(previous), inWindow(focus)))
                ++backwards;
            if (focus == start && previous)
                break;
            visited.append(label(focus));
            const QImage focused = around(focus);
            focus->clearFocus();
            const double change = strongestChange(focused, around(focus));
            focus->setFocus(Qt::TabFocusReason);
            if (change < 3)
                faint.append(QStringLiteral("%1 %2:1").arg(label(focus)).arg(change, 0, 'f', 2));
            previous = focus;
            QVERIFY(type({"Tab"}));
            QVERIFY2(QTest::qWaitFor([focus] { return QApplication::focusWidget() != focus; }), qPrintable(label(focus)));
            focus = QApplication::focusWidget();
            QVERIFY(focus);
        }
        QVERIFY2(faint.isEmpty(), qPrintable(faint.join(QStringLiteral(", "))));
        // Once round the window, from the last control back to the first.
        QVERIFY2(backwards == 1, qPrintable(QString::number(backwards) + QStringLiteral(": ") + visited.join(QStringLiteral(", "))));
        if (window == QLatin1String("popup, long")) {
            QStringList headers;
            for (int i = 0; i < 30; ++i)
                headers.append(QStringLiteral("source S%1").arg(i));
            QCOMPARE(visited.mid(1, 30), headers);
        }
    }

    // Keys that move the view or close the window do it from wherever the focus is.
    void keysScrollAndCloseTheWindow_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("focus"); // the control that holds the focus first
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QString>("expected"); // "end", "top", "lower" or "closed"
        QTest::newRow("End in the popup") << "popup, long" << "popover.refresh" << QStringList{"End"} << "end";
        QTest::newRow("End on a row of the popup") << "popup, long" << "source S1" << QStringList{"End"} << "end";
        QTest::newRow("End, then Home") << "popup, long" << "popover.settings" << QStringList{"End", "Home"} << "top";
        QTest::newRow("Page Down in the popup") << "popup, long" << "popover.refresh" << QStringList{"Next"} << "lower";
        QTest::newRow("Escape closes Settings") << "settings" << "settings.tab.sources" << QStringList{"Escape"} << "closed";
        QTest::newRow("Ctrl+W closes Settings") << "settings" << "source B" << QStringList{"ctrl+w"} << "closed";
        QTest::newRow("Escape from the colour field") << "settings, general" << "Custom accent color hex"
                                                      << QStringList{"Escape"} << "closed";
        QTest::newRow("End in Settings' General tab") << "settings, general" << "Launch at login" << QStringList{"End"}
                                                      << "end";
    }
    void keysScrollAndCloseTheWindow()
    {
        QFETCH(QString, window);
        QFETCH(QString, focus);
        QFETCH(QStringList, keys);
        QFETCH(QString, expected);
        QWidget *shown = open(window);
        QVERIFY(shown);
        QWidget *target = nullptr;
        for (QWidget *widget : shown->findChildren<QWidget *>()) {
            if (widget->isVisible() && widget->focusPolicy() & Qt::TabFocus && label(widget) == focus)
                target = target ? target : widget;
        }
        QVERIFY2(target, qPrintable(focus));
        target->setFocus(Qt::TabFocusReason);
        QScrollBar *bar = nullptr;
        for (QScrollArea *area : shown->findChildren<QScrollArea *>()) {
            if (area->isVisible())
                bar = area->verticalScrollBar();
        }
        QVERIFY(keys.size() == 1 || type(keys.mid(0, keys.size() - 1)));
        QVERIFY(QTest::qWaitFor([] { return true; }, 100));
        const int before = bar ? bar->value() : 0;
        QVERIFY(type({keys.last()}));
        if (expected == QLatin1String("closed")) {
            QVERIFY(QTest::qWaitFor([shown] { return !shown->isVisible(); }));
            return;
        }
        QVERIFY(bar && bar->maximum() > 0);
        if (expected == QLatin1String("end"))
            QVERIFY(QTest::qWaitFor([bar] { return bar->value() > 0 && bar->value() == bar->maximum(); }));
        else if (expected == QLatin1String("top"))
            QVERIFY(QTest::qWaitFor([bar] { return bar->value() == 0; }));
        else
            QVERIFY(QTest::qWaitFor([bar, before] { return bar->value() == before + bar->pageStep(); }));
        QVERIFY(shown->isVisible());
    }

    // Alt+Up and Alt+Down move a source's widget in the edit sheet, from its row or its eye:
    // the focus stays on it, the layout is saved in the new order, and the new place is told.
    void altArrowsMoveAWidgetOfTheSource_data()
    {
        QTest::addColumn<QString>("on");       // "list": its row in the list, or "eye"
        QTest::addColumn<int>("row");          // the widget's row before
        QTest::addColumn<QString>("key");
        QTest::addColumn<QStringList>("order"); // the widgets' order afterwards
        QTest::addColumn<QString>("place");    // what a screen reader is told; empty: nothing
        const QStringList unmoved{"CPU", "Disk", "Memory"};
        QTest::newRow("Alt+Down on a row") << "list" << 0 << "alt+Down" << QStringList{"Disk", "CPU", "Memory"}
                                           << "Position 2 of 3";
        QTest::newRow("Alt+Up on an eye") << "eye" << 2 << "alt+Up" << QStringList{"CPU", "Memory", "Disk"}
                                          << "Position 2 of 3";
        QTest::newRow("Alt+Up at the top") << "list" << 0 << "alt+Up" << unmoved << "";
        QTest::newRow("Alt+Down at the end") << "eye" << 2 << "alt+Down" << unmoved << "";
    }
    void altArrowsMoveAWidgetOfTheSource()
    {
        QFETCH(QString, on);
        QFETCH(int, row);
        QFETCH(QString, key);
        QFETCH(QStringList, order);
        QFETCH(QString, place);
        QWidget *sheet = open(QStringLiteral("sheet, editing"));
        QVERIFY(sheet);
        auto *list = m_editorRig->find<QListWidget>(QStringLiteral("editor.widgetList"));
        QVERIFY(list && list->count() == 3);
        QWidget *focus = list;
        if (on == QLatin1String("eye"))
            focus = list->itemWidget(list->item(row))->findChild<QToolButton *>();
        else
            list->setCurrentRow(row);
        focus->setFocus(Qt::TabFocusReason);
        const QString moved = list->item(row)->data(Qt::AccessibleTextRole).toString();
        listen();

        QVERIFY(type({key}));
        const AnySourceConfig &source = m_editorRig->state->sources().first();
        const auto layoutOrder = [&] {
            QList<WidgetEntry> entries;
            for (const WidgetData &widget : m_editorRig->state->snapshots().find(source.id())->widgets)
                entries.append({widget.scopedID(source.id()), widget});
            QStringList names;
            for (const WidgetEntry &entry : m_editorRig->state->widgetLayout().orderedEntries(entries))
                names.append(entry.widget.displayName());
            return names;
        };
        QVERIFY(QTest::qWaitFor([&] { return layoutOrder() == order; }, place.isEmpty() ? 300 : 5000));
        QCOMPARE(layoutOrder(), order);
        QCOMPARE(WidgetLayout::load(*m_editorRig->settings), m_editorRig->state->widgetLayout());
        QStringList shown;
        for (int i = 0; i < list->count(); ++i)
            shown.append(list->item(i)->data(Qt::AccessibleTextRole).toString());
        QCOMPARE(shown, order);
        // Still on the moved widget, in the list or on its eye.
        QCOMPARE(QApplication::focusWidget(), focus);
        if (on == QLatin1String("list"))
            QCOMPARE(list->currentItem()->data(Qt::AccessibleTextRole).toString(), moved);
        // On the list its row is told anew, as when it became current; on the eye, its new description.
        const auto saysPlace = [&](const Told &event) {
            if (event.description != place)
                return false;
            return on == QLatin1String("list") ? event.type == QAccessible::Focus && event.name == moved
                                               : event.type == QAccessible::DescriptionChanged && event.object == focus;
        };
        if (place.isEmpty())
            QVERIFY(std::none_of(told.cbegin(), told.cend(), [](const Told &event) { return !event.description.isEmpty(); }));
        else
            QVERIFY2(std::any_of(told.cbegin(), told.cend(), saysPlace), qPrintable(QString::number(told.size())));
    }

    // Alt+Up and Alt+Down on a Settings card: the focus stays on it and its new place is told,
    // and the accessibility trees of Settings and of the popup list the sources as shown.
    void aCardMovedByKeysIsToldAndTheTreesFollow_data()
    {
        QTest::addColumn<QString>("on"); // the card's control that has the focus: "edit" or "bell"
        QTest::addColumn<int>("card");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("Alt+Up on the edit button") << "edit" << 2 << "alt+Up" << QStringList{"A", "C", "B"};
        QTest::newRow("Alt+Down on the bell") << "bell" << 0 << "alt+Down" << QStringList{"B", "A", "C"};
    }
    void aCardMovedByKeysIsToldAndTheTreesFollow()
    {
        QFETCH(QString, on);
        QFETCH(int, card);
        QFETCH(QString, key);
        QFETCH(QStringList, order);
        m_popoverRig = std::make_unique<test::PopoverRig>();
        QList<AnySourceConfig> sources;
        for (const QString name : {"A", "B", "C"})
            sources.append(test::tcp(name));
        PopoverView &popover = m_popoverRig->open(sources);
        m_window = std::make_unique<SettingsView>(m_popoverRig->state.get(), QStringList(), GeneralSettingsServices());
        auto *settings = static_cast<SettingsView *>(m_window.get());
        settings->show();
        settings->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(settings));
        SourceRow *moved = settings->cards().at(card);
        (on == QLatin1String("edit") ? static_cast<QWidget *>(moved->editButton()) : moved->bellButton())->setFocus(Qt::TabFocusReason);
        listen();

        QVERIFY(type({key}));
        QVERIFY(QTest::qWaitFor([&] { return settings->sourceLines().value(1).startsWith(order[1]); }));
        QCOMPARE(QApplication::focusWidget(), moved->editButton());
        const auto saysPlace = [&](const Told &event) {
            return event.object == moved->editButton() && event.description == QStringLiteral("Position 2 of 3")
                   && (event.type == QAccessible::DescriptionChanged || event.type == QAccessible::Focus);
        };
        QVERIFY2(std::any_of(told.cbegin(), told.cend(), saysPlace), qPrintable(moved->editButton()->accessibleDescription()));

        QStringList onScreen;
        for (const SourceRow *shown : settings->cards())
            onScreen.append(shown->model().name);
        QCOMPARE(onScreen, order);
        QCOMPARE(treeOrder<SourceRow>(settings, [](const SourceRow *row) { return row->model().name; }), order);
        popover.flushPendingChanges();
        QCOMPARE(treeOrder<SourceBlock>(&popover, [](const SourceBlock *block) { return block->source().displayName(); }),
                 order);
        // Told only while the focus stays.
        QVERIFY(type({"Tab"}));
        QVERIFY(QTest::qWaitFor([&] { return !moved->editButton()->hasFocus(); }));
        QCOMPARE(moved->editButton()->accessibleDescription(), QString());
    }
};

int main(int argc, char *argv[])
{
    test::PrivateDisplay display;
    const test::AccessibilityBus accessibility;
    QApplication app(argc, argv);
    TestKeyboardAlone tests(display.isReady(), accessibility.isReady());
    return QTest::qExec(&tests, argc, argv);
}

#include "tst_KeyboardAlone.moc"
