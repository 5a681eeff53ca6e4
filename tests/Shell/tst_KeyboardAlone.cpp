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

// The source a widget belongs to: the name of its card in Settings or of its block in the popup.
QString sourceOf(const QWidget *widget)
{
    for (const QWidget *w = widget; w; w = w->parentWidget()) {
        if (const auto *block = qobject_cast<const SourceBlock *>(w))
            return block->source().displayName();
        if (const auto *card = qobject_cast<const SourceRow *>(w))
            return card->model().name;
    }
    return {};
}

// What a control is to a reader of the test: its source in a list, else its name.
QString label(const QWidget *widget)
{
    if (const QString source = sourceOf(widget); !source.isEmpty())
        return QStringLiteral("source ") + source;
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

// The accessibility tree below `root` in the order a screen reader walks it, as the sources
// whose card (in Settings) or block (in the popup) it meets.
QStringList treeOrder(QWidget *root)
{
    QStringList sources;
    QList<QAccessibleInterface *> pending{QAccessible::queryAccessibleInterface(root)};
    while (!pending.isEmpty()) {
        QAccessibleInterface *node = pending.takeFirst();
        if (qobject_cast<SourceRow *>(node->object()) || qobject_cast<SourceBlock *>(node->object())) {
            sources.append(sourceOf(static_cast<QWidget *>(node->object())));
            continue;
        }
        for (int i = node->childCount() - 1; i >= 0; --i)
            pending.prepend(node->child(i));
    }
    return sources;
}

} // namespace

// Every window by the keyboard alone, keys sent through the X server (no window manager).
class TestKeyboardAlone : public QObject {
    Q_OBJECT

public:
    explicit TestKeyboardAlone(QString missing) : m_missing(std::move(missing)) {}

private:
    QString m_missing;
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
        if (!test::AccessibilityBus::isReady())
            QSKIP("no accessibility bus on the session bus (scripts/setup-deps.sh --with-test-tools installs at-spi2-core)");
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
        if (!m_missing.isEmpty())
            QSKIP(qPrintable(m_missing));
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
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected"); // "end", "lower" or "closed"
        QTest::newRow("End in the popup") << "popup, long" << "popover.refresh" << "End" << "end";
        QTest::newRow("End on a row of the popup") << "popup, long" << "source S1" << "End" << "end";
        QTest::newRow("Page Down in the popup") << "popup, long" << "popover.refresh" << "Next" << "lower";
        QTest::newRow("Escape closes Settings") << "settings" << "settings.tab.sources" << "Escape" << "closed";
        QTest::newRow("Ctrl+W closes Settings") << "settings" << "source B" << "ctrl+w" << "closed";
        QTest::newRow("Escape from the colour field") << "settings, general" << "Custom accent color hex"
                                                      << "Escape" << "closed";
        QTest::newRow("End in Settings' General tab") << "settings, general" << "Launch at login" << "End"
                                                      << "end";
    }
    void keysScrollAndCloseTheWindow()
    {
        QFETCH(QString, window);
        QFETCH(QString, focus);
        QFETCH(QString, key);
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
        const int before = bar ? bar->value() : 0;
        QVERIFY(type({key}));
        if (expected == QLatin1String("closed")) {
            QVERIFY(QTest::qWaitFor([shown] { return !shown->isVisible(); }));
            return;
        }
        QVERIFY(bar && bar->maximum() > 0);
        if (expected == QLatin1String("end"))
            QVERIFY(QTest::qWaitFor([bar] { return bar->value() > 0 && bar->value() == bar->maximum(); }));
        else
            QVERIFY(QTest::qWaitFor([bar, before] { return bar->value() == before + bar->pageStep(); }));
        QVERIFY(shown->isVisible());
    }

    // Alt+Up and Alt+Down move a source's widget in the edit sheet (from its row or its eye)
    // and a card in Settings (from its edit or bell button) one place: the order is saved, the
    // focus stays on what moved, its new place is told there, and the accessibility trees of
    // Settings and of the popup list the sources as shown.
    void altArrowsMoveOnePlaceAndTellIt_data()
    {
        QTest::addColumn<QString>("on"); // a widget's "row" or "eye", a card's "edit" or "bell"
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QStringList>("order");
        QTest::addColumn<QString>("place"); // empty: nothing moved and nothing is told
        const QStringList widgets{"CPU", "Disk", "Memory"};
        QTest::newRow("Alt+Down on a widget's row") << "row" << 0 << "alt+Down" << QStringList{"Disk", "CPU", "Memory"}
                                                    << "Position 2 of 3";
        QTest::newRow("Alt+Up on a widget's eye") << "eye" << 2 << "alt+Up" << QStringList{"CPU", "Memory", "Disk"}
                                                  << "Position 2 of 3";
        QTest::newRow("Alt+Up on the first widget") << "row" << 0 << "alt+Up" << widgets << "";
        QTest::newRow("Alt+Down on the last widget's eye") << "eye" << 2 << "alt+Down" << widgets << "";
        QTest::newRow("Alt+Up on a card") << "edit" << 2 << "alt+Up" << QStringList{"A", "C", "B"} << "Position 2 of 3";
        QTest::newRow("Alt+Down on a card's bell") << "bell" << 0 << "alt+Down" << QStringList{"B", "A", "C"}
                                                   << "Position 2 of 3";
    }
    void altArrowsMoveOnePlaceAndTellIt()
    {
        QFETCH(QString, on);
        QFETCH(int, index);
        QFETCH(QString, key);
        QFETCH(QStringList, order);
        QFETCH(QString, place);
        const bool card = on == QLatin1String("edit") || on == QLatin1String("bell");
        QWidget *focus = nullptr;
        QWidget *stays = nullptr; // where the focus is afterwards
        QString moved;
        QListWidget *list = nullptr;
        PopoverView *popover = nullptr;
        AppState *state = nullptr;
        if (card) {
            m_popoverRig = std::make_unique<test::PopoverRig>();
            popover = &m_popoverRig->open({test::tcp(QStringLiteral("A")), test::tcp(QStringLiteral("B")), test::tcp(QStringLiteral("C"))});
            state = m_popoverRig->state.get();
            m_window = std::make_unique<SettingsView>(state, QStringList(), GeneralSettingsServices());
            m_window->show();
            m_window->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
            SourceRow *row = static_cast<SettingsView *>(m_window.get())->cards().at(index);
            focus = on == QLatin1String("edit") ? static_cast<QWidget *>(row->editButton()) : row->bellButton();
            stays = row->editButton();
        } else {
            QVERIFY(open(QStringLiteral("sheet, editing")));
            state = m_editorRig->state.get();
            list = m_editorRig->find<QListWidget>(QStringLiteral("editor.widgetList"));
            QVERIFY(list && list->count() == 3);
            moved = list->item(index)->data(Qt::AccessibleTextRole).toString();
            list->setCurrentRow(index);
            focus = list;
            if (on == QLatin1String("eye"))
                focus = list->itemWidget(list->item(index))->findChild<QToolButton *>();
            stays = focus;
        }
        const auto saved = [&] {
            QStringList names;
            if (card) {
                for (const QUuid &id : state->widgetLayout().orderedSources(state->sources()))
                    names.append(state->source(id)->displayName());
                return names;
            }
            const AnySourceConfig &source = state->sources().first();
            QList<WidgetEntry> entries;
            for (const WidgetData &widget : state->snapshots().find(source.id())->widgets)
                entries.append({widget.scopedID(source.id()), widget});
            for (const WidgetEntry &entry : state->widgetLayout().orderedEntries(entries))
                names.append(entry.widget.displayName());
            return names;
        };
        focus->setFocus(Qt::TabFocusReason);
        listen();

        QVERIFY(type({key}));
        (void)QTest::qWaitFor([&] { return saved() == order; }, place.isEmpty() ? 300 : 5000);
        QCOMPARE(saved(), order);
        QCOMPARE(QApplication::focusWidget(), stays);
        // A row of the list is told anew, as when it became current; a button, by its description.
        const auto saysPlace = [&](const Told &event) {
            return event.description == place
                   && (on == QLatin1String("row") ? event.type == QAccessible::Focus && event.name == moved
                                                  : event.object == stays);
        };
        if (place.isEmpty())
            QVERIFY(std::none_of(told.cbegin(), told.cend(), [](const Told &event) { return !event.description.isEmpty(); }));
        else
            QVERIFY2(std::any_of(told.cbegin(), told.cend(), saysPlace), qPrintable(QString::number(told.size())));
        if (list) {
            QCOMPARE(WidgetLayout::load(*m_editorRig->settings), state->widgetLayout());
            QCOMPARE(list->currentItem()->data(Qt::AccessibleTextRole).toString(), moved);
            return;
        }
        QCOMPARE(treeOrder(m_window.get()), order);
        popover->flushPendingChanges();
        QCOMPARE(treeOrder(popover), order);
        // Told only while the focus stays.
        QVERIFY(type({"Tab"}));
        QVERIFY(QTest::qWaitFor([&] { return !stays->hasFocus(); }));
        QCOMPARE(stays->accessibleDescription(), QString());
    }
};

int main(int argc, char *argv[])
{
    test::PrivateDisplay display;
    const test::AccessibilityBus accessibility;
    QApplication app(argc, argv);
    TestKeyboardAlone tests(display.missingForInput());
    return QTest::qExec(&tests, argc, argv);
}

#include "tst_KeyboardAlone.moc"
