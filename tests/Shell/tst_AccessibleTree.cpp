#include "Editor/EditorRig.h"
#include "Popover/PopoverRig.h"

#include "Marrowick/Editor/TestResultBadge.h"
#include "Marrowick/Onboarding/OnboardingView.h"
#include "Marrowick/Popover/RowTrailing.h"
#include "Marrowick/Settings/SettingsView.h"
#include "Marrowick/Settings/SourceRow.h"
#include "Marrowick/Style/PillButton.h"
#include "Marrowick/Style/StatusOrb.h"

#include "support/AccessibilityBus.h"
#include "support/PrivateDisplay.h"

#include <QAccessible>
#include <QComboBox>
#include <QListWidget>
#include <QPointer>
#include <QTest>
#include <QToolButton>

using namespace marrowick;
using namespace marrowick::test;

namespace {

// What a screen reader is told, as Qt hands it to the platform's bridge (AT-SPI here).
struct Told {
    QAccessible::Event type;
    QPointer<QObject> object;
    QAccessible::Role role;
    QString name;
};

QList<Told> told;

void record(QAccessibleEvent *event)
{
    QAccessibleInterface *iface = event->accessibleInterface();
    told.append({event->type(), event->object(), iface ? iface->role() : QAccessible::NoRole,
                 iface ? iface->text(QAccessible::Name) : QString()});
}

QAccessibleInterface *tree(QObject *object)
{
    return QAccessible::queryAccessibleInterface(object);
}

QString name(QObject *object)
{
    return tree(object)->text(QAccessible::Name);
}

// "<role> <name>" of every element below `root` that has a name, in the tree's order.
QStringList namedElements(QAccessibleInterface *root)
{
    QStringList names;
    for (int i = 0; i < root->childCount(); ++i) {
        QAccessibleInterface *child = root->child(i);
        if (!child)
            continue;
        if (!child->text(QAccessible::Name).isEmpty())
            names.append(child->text(QAccessible::Name));
        names += namedElements(child);
    }
    return names;
}

// The spoken announcements: a notification that showed, with what it said.
QStringList announcements()
{
    QStringList said;
    for (const Told &event : std::as_const(told)) {
        if (event.type == QAccessible::ObjectShow && event.role == QAccessible::Notification)
            said.append(event.name);
    }
    return said;
}

QStringList nameChanges()
{
    QStringList changed;
    for (const Told &event : std::as_const(told)) {
        if (event.type == QAccessible::NameChanged || event.type == QAccessible::DescriptionChanged)
            changed.append(event.name);
    }
    return changed;
}

WidgetData widgetOf(const QString &kind, ServiceStatus status)
{
    if (kind == QLatin1String("service"))
        return WidgetData::service(ServiceRow{QStringLiteral("w"), QStringLiteral("W"), status, 10, std::nullopt});
    if (kind == QLatin1String("host")) {
        HostStats host;
        host.id = host.name = QStringLiteral("w");
        host.status = status;
        return WidgetData::host(host);
    }
    if (kind == QLatin1String("game")) {
        GameServerStatus game;
        game.id = game.name = QStringLiteral("w");
        game.online = status == ServiceStatus::up;
        return WidgetData::game(game);
    }
    return checkWidget(QStringLiteral("w"), status, 10);
}

SourceRow *cardNamed(const SettingsView &view, const QString &source)
{
    for (SourceRow *card : view.cards()) {
        if (card->model().name == source)
            return card;
    }
    return nullptr;
}

} // namespace

// Read in the process, through the interfaces and events Qt gives its AT-SPI bridge. Qt's
// offscreen platform has no accessibility at all, so the windows are on an X server of the
// test's own.
class TestAccessibleTree : public QObject {
    Q_OBJECT

public:
    explicit TestAccessibleTree(bool ready) : m_ready(ready) {}

private slots:
    void initTestCase()
    {
        if (!m_ready)
            QSKIP("no Xvfb for a display of the test's own, or no accessibility bus on its session bus");
        QAccessible::installUpdateHandler(record);
        QTRY_VERIFY(QAccessible::isActive());
    }

    void init() { told.clear(); }

    // Every state that is not up says so on screen in a word; every orb says its state.
    void statesAreToldInWords_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<ServiceStatus>("status");
        QTest::addColumn<QString>("orb");
        QTest::addColumn<QString>("word");

        QTest::newRow("service up") << "service" << ServiceStatus::up << "Up" << "";
        QTest::newRow("service pending") << "service" << ServiceStatus::warn << "Warning" << "Warning";
        QTest::newRow("service unknown") << "service" << ServiceStatus::unknown << "Unknown" << "Unknown";
        QTest::newRow("service down") << "service" << ServiceStatus::down << "Down" << "Unreachable";
        QTest::newRow("check warn") << "check" << ServiceStatus::warn << "Warning" << "Warning";
        QTest::newRow("check down") << "check" << ServiceStatus::down << "Down" << "Down";
        QTest::newRow("game offline") << "game" << ServiceStatus::down << "Down" << "Offline";
        QTest::newRow("host up") << "host" << ServiceStatus::up << "Up" << "";
        QTest::newRow("host down") << "host" << ServiceStatus::down << "Down" << "Down";
        QTest::newRow("host unknown") << "host" << ServiceStatus::unknown << "Unknown" << "Unknown";
    }

    void statesAreToldInWords()
    {
        QFETCH(QString, kind);
        QFETCH(ServiceStatus, status);
        QFETCH(QString, orb);
        QFETCH(QString, word);

        PopoverRig rig;
        const QUuid id = QUuid::createUuid();
        rig.answers.insert(id, QList<WidgetData>{widgetOf(kind, status)});
        PopoverView &popover = rig.open({tcp(QStringLiteral("Lab"), id)});
        QWidget *row = find(popover, kind + QStringLiteral("Row"));
        QVERIFY(row);
        auto *dot = row->findChild<StatusOrb *>();
        QCOMPARE(tree(dot)->role(), QAccessible::Graphic);
        QCOMPARE(name(dot), orb);
        if (kind == QLatin1String("host")) {
            QCOMPARE(visibleTexts(*row, QStringLiteral("state")), word.isEmpty() ? QStringList() : QStringList{word});
        } else {
            auto *trailing = row->findChild<RowTrailing *>();
            QCOMPARE(trailing->statusText(), word);
            QVERIFY(name(trailing).startsWith(word));
        }

        // The settings card of the source: the word beside its name, the state in its names.
        SettingsView settings(rig.state.get(), {}, {});
        settings.show();
        SourceRow *card = cardNamed(settings, QStringLiteral("Lab"));
        QVERIFY(card);
        const QString sourceWord = status == ServiceStatus::up ? QString() : statusWord(status);
        QCOMPARE(card->stateText(), sourceWord);
        QCOMPARE(name(card->findChild<StatusOrb *>()), statusWord(status));
        QCOMPARE(name(card->editButton()), QStringLiteral("Lab, ") + statusWord(status));
    }

    void thePopupNamesItsWindowAndItsGroups()
    {
        PopoverRig rig;
        const QUuid id = QUuid::createUuid();
        rig.answers.insert(id, QList<WidgetData>{checkWidget(QStringLiteral("a"), ServiceStatus::up),
                                                 checkWidget(QStringLiteral("b"), ServiceStatus::down)});
        PopoverView &popover = rig.open({tcp(QStringLiteral("Lab"), id)});
        QCOMPARE(name(&popover), QStringLiteral("Marrowick"));

        auto *header = find<QAbstractButton>(popover, QStringLiteral("groupHeaderRow"));
        QAccessibleInterface *element = tree(header);
        QCOMPARE(element->role(), QAccessible::Button);
        QCOMPARE(element->childCount(), 0);
        QVERIFY(element->state().expandable && element->state().expanded && !element->state().collapsed);
        QCOMPARE(element->text(QAccessible::Description), QStringLiteral("Press Space to collapse"));
        QTest::keyClick(header, Qt::Key_Space);
        rig.popover->flushPendingChanges();
        header = find<QAbstractButton>(popover, QStringLiteral("groupHeaderRow"));
        element = tree(header);
        QVERIFY(element->state().collapsed && !element->state().expanded);
        QCOMPARE(element->text(QAccessible::Description), QStringLiteral("Press Space to expand"));
    }

    void settingsTabsAreTabs()
    {
        AppStateRig rig;
        SettingsView view(&rig.build(true), {}, {});
        view.show();
        QAbstractButton *sources = view.tabButton(SettingsView::SettingsTab::sources);
        QAbstractButton *general = view.tabButton(SettingsView::SettingsTab::general);
        QCOMPARE(tree(sources)->role(), QAccessible::PageTab);
        QCOMPARE(tree(sources)->parent()->role(), QAccessible::PageTabList);
        QVERIFY(tree(sources)->state().selected && !tree(general)->state().selected);
        // The empty list's message is in the tree.
        QVERIFY(namedElements(tree(&view)).contains(QStringLiteral("No Sources Yet")));

        general->click();
        QVERIFY(!tree(sources)->state().selected && tree(general)->state().selected);
        QStringList swatches;
        for (const QString &element : namedElements(tree(&view))) {
            if (element.startsWith(QLatin1String("Accent color ")))
                swatches.append(element);
        }
        QCOMPARE(swatches, (QStringList{"Accent color sky blue", "Accent color teal", "Accent color violet",
                                        "Accent color pink", "Accent color amber", "Accent color green",
                                        "Accent color red", "Accent color white"}));
    }

    void theEditorNamesItsControls()
    {
        EditorRig rig;
        rig.open();
        QWidget *card = rig.find(QStringLiteral("editor.type.gameServer"));
        QCOMPARE(tree(card)->role(), QAccessible::RadioButton);
        QVERIFY(!tree(card)->state().checked);
        rig.click(QStringLiteral("editor.type.gameServer"));
        QVERIFY(tree(card)->state().checked);
        QVERIFY(!tree(rig.find(QStringLiteral("editor.type.kuma")))->state().checked);
        rig.click(QStringLiteral("editor.next"));

        rig.fill({QStringLiteral("game=minecraft-java")});
        auto *picker = rig.find<QComboBox>(QStringLiteral("editor.gamePicker"));
        QAccessibleInterface *element = tree(picker);
        QCOMPARE(element->role(), QAccessible::ComboBox);
        QCOMPARE(element->text(QAccessible::Name), QStringLiteral("Game"));
        QCOMPARE(element->text(QAccessible::Value), picker->currentText());
        QVERIFY(element->textInterface());
        QCOMPARE(element->textInterface()->text(0, element->textInterface()->characterCount()), picker->currentText());

        rig.fill({QStringLiteral("game=rust")});
        auto *advanced = rig.find(QStringLiteral("editor.advanced"));
        QVERIFY(tree(advanced)->state().expandable && tree(advanced)->state().collapsed);
        rig.click(QStringLiteral("editor.advanced"));
        QVERIFY(tree(advanced)->state().expanded);
        QCOMPARE(tree(advanced)->text(QAccessible::Description), QStringLiteral("Press Space to collapse"));

        rig.click(QStringLiteral("editor.back"));
        rig.click(QStringLiteral("editor.type.jsonWidget"));
        rig.click(QStringLiteral("editor.next"));
        QCOMPARE(tree(rig.find(QStringLiteral("editor.jsonFields")))->text(QAccessible::Description),
                 QStringLiteral("label = dot.path, one per line"));
    }

    void theWidgetsListIsNamed()
    {
        EditorRig rig;
        AppState &state = rig.buildEditorState();
        const AnySourceConfig source = tcp(QStringLiteral("Lab"));
        state.addSource(source);
        rig.open(source);
        QCOMPARE(name(rig.find(QStringLiteral("editor.widgetList"))), QStringLiteral("Widgets"));
    }

    void thePageDotsGiveTheStep()
    {
        AppStateRig rig;
        OnboardingView window(&rig.build(true));
        window.show();
        QVERIFY(namedElements(tree(&window)).contains(QStringLiteral("Step 1 of 3")));
        window.forwardButton()->click();
        QVERIFY(namedElements(tree(&window)).contains(QStringLiteral("Step 2 of 3")));
    }

    // A test's result and a validation problem are spoken where they appear, every time.
    void resultsAndProblemsAreAnnounced()
    {
        EditorRig rig;
        rig.open();
        rig.click(QStringLiteral("editor.type.tcpPort"));
        rig.click(QStringLiteral("editor.next"));
        QCOMPARE(announcements(), QStringList());
        rig.fill({QStringLiteral("name=A"), QStringLiteral("host=nas")});
        for (int test = 1; test <= 2; ++test) {
            rig.click(QStringLiteral("editor.test"));
            QTRY_COMPARE(announcements().size(), test);
        }
        const auto *badge = rig.find<TestResultBadge>(QStringLiteral("editor.testBadge"));
        QCOMPARE(announcements().last(), TestResultBadge::spokenText(badge->passed(), badge->message()));

        told.clear();
        rig.fill({QStringLiteral("pollSeconds=4")});
        rig.fill({QStringLiteral("pollSeconds=40")});
        rig.fill({QStringLiteral("pollSeconds=4")});
        rig.fill({QStringLiteral("host=https://nas")});
        const QString interval = QStringLiteral("Enter a check interval between 5 and 3600 seconds.");
        QCOMPARE(announcements(), (QStringList{interval, interval,
                                               QStringLiteral("Enter a plain host or IP, like nas.local or 192.168.1.10 "
                                                              "\u2014 no spaces, line breaks, or scheme.")}));
    }

    void aHintIsNotAnnounced()
    {
        EditorRig rig;
        rig.open();
        rig.click(QStringLiteral("editor.type.httpPing"));
        rig.click(QStringLiteral("editor.next"));
        rig.fill({QStringLiteral("name=A"), QStringLiteral("baseURL=myhost")});
        QCOMPARE(rig.find<QLabel>(QStringLiteral("editor.hint"))->text(), QStringLiteral("Will use https://myhost"));
        QCOMPARE(announcements(), QStringList());
    }

    // Polls that change nothing tell nothing, in the popup and in Settings.
    void pollsTellOnlyWhatChanged()
    {
        PopoverRig rig;
        QList<AnySourceConfig> sources;
        for (int i = 0; i < 6; ++i) {
            sources.append(tcp(QStringLiteral("S%1").arg(i)));
            rig.answers.insert(sources.last().id(), QList<WidgetData>{checkWidget(QStringLiteral("a"), ServiceStatus::down),
                                                                       checkWidget(QStringLiteral("b"), ServiceStatus::up)});
        }
        rig.open(sources);
        SettingsView settings(rig.state.get(), {}, {});
        settings.show();
        rig.pollAll();
        told.clear();
        for (int poll = 0; poll < 3; ++poll)
            rig.pollAll();
        QCOMPARE(nameChanges(), QStringList());

        rig.answers.insert(sources[2].id(), QList<WidgetData>{checkWidget(QStringLiteral("a"), ServiceStatus::up),
                                                               checkWidget(QStringLiteral("b"), ServiceStatus::up)});
        rig.pollAll();
        QVERIFY(nameChanges().contains(QStringLiteral("S2, Up")));
        QVERIFY(!nameChanges().contains(QStringLiteral("S1, Down")));
    }

private:
    bool m_ready;
};

int main(int argc, char *argv[])
{
    test::PrivateDisplay display;
    const test::AccessibilityBus accessibility;
    QApplication app(argc, argv);
    TestAccessibleTree tests(display.isReady() && test::AccessibilityBus::isReady());
    return QTest::qExec(&tests, argc, argv);
}
#include "tst_AccessibleTree.moc"
