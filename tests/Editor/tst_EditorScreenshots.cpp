// Renders the source editor's states to PNG files in the folder named by MARROWICK_SCREENSHOTS,
// so a person can look at them without a desktop; without it, everything renders and nothing
// is written.
#include "Editor/EditorRig.h"
#include "Marrowick/Style/MarrowickProxyStyle.h"

#include "support/LocalHTTPServer.h"
#include "support/LocalTCPServer.h"
#include "support/Pictures.h"

#include <QAbstractItemView>
#include <QSignalSpy>

using namespace marrowick;
using namespace marrowick::test;

namespace {

void render(QWidget *widget, const QString &name)
{
    QCoreApplication::processEvents();
    const QPixmap image = widget->grab();
    QVERIFY(!image.isNull());
    QVERIFY(saveScreenshot(image.toImage(), name));
}

} // namespace

class TestEditorScreenshots : public QObject {
    Q_OBJECT

private slots:
    // Windows drawn as the program draws them.
    void initTestCase() { MarrowickProxyStyle::install(); }

    void typeStep();
    void typeStepFocus();
    void saveError();
    void formOfEachKind_data();
    void formOfEachKind();
    void gamePicker();
    void testBadges_data();
    void testBadges();
    void editSheetWithWidgets();
    void focusInAccents_data();
    void focusInAccents();
};

void TestEditorScreenshots::typeStep()
{
    EditorRig rig;
    rig.open();
    rig.click(QStringLiteral("editor.type.gameServer"));
    render(rig.sheet, QStringLiteral("editor-step1"));
}

// The keyboard's focus on one card while another is selected.
void TestEditorScreenshots::typeStepFocus()
{
    EditorRig rig;
    rig.open();
    rig.sheet->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(rig.sheet));
    rig.click(QStringLiteral("editor.type.gameServer"));
    rig.find(QStringLiteral("editor.type.httpPing"))->setFocus(Qt::TabFocusReason);
    render(rig.sheet, QStringLiteral("editor-step1-focus"));
    rig.find(QStringLiteral("editor.type.gameServer"))->setFocus(Qt::TabFocusReason);
    render(rig.sheet, QStringLiteral("editor-step1-focus-selected"));
}

void TestEditorScreenshots::saveError()
{
    EditorRig rig;
    QVERIFY(rig.saveFailing(
        QStringLiteral("The name org.freedesktop.secrets was not provided by any .service files")));
    auto *alert = rig.sheet->findChild<QWidget *>(QStringLiteral("editor.saveError"));
    QVERIFY(alert);
    render(alert, QStringLiteral("editor-save-error"));
}

void TestEditorScreenshots::formOfEachKind_data()
{
    QTest::addColumn<QString>("card");
    QTest::addColumn<QStringList>("steps");

    QTest::newRow("kuma") << "kuma" << QStringList{"name=Home Lab", "baseURL=kuma.home.arpa:3001", "username=admin"};
    QTest::newRow("beszel") << "beszel" << QStringList{"name=Hub", "baseURL=https://beszel.home.arpa", "secret=token"};
    QTest::newRow("gameServer") << "gameServer" << QStringList{"game=palworld", "name=Palworld", "host=pal.home.arpa"};
    QTest::newRow("httpPing") << "httpPing" << QStringList{"name=Website", "baseURL=ftp://example.com"};
    QTest::newRow("tcpPort") << "tcpPort" << QStringList{"name=SSH", "host=nas.home.arpa:22"};
    QTest::newRow("jsonWidget") << "jsonWidget" << QStringList{"name=API", "baseURL=https://api.home.arpa/stats",
                                                                "jsonFields=Load = system.load"};
}

void TestEditorScreenshots::formOfEachKind()
{
    QFETCH(QString, card);
    QFETCH(QStringList, steps);

    EditorRig rig;
    rig.open();
    rig.click(QStringLiteral("editor.type.") + card);
    rig.click(QStringLiteral("editor.next"));
    rig.fill(steps);
    render(rig.sheet, QStringLiteral("editor-form-") + card);
}

void TestEditorScreenshots::gamePicker()
{
    EditorRig rig;
    rig.open();
    rig.click(QStringLiteral("editor.type.gameServer"));
    rig.click(QStringLiteral("editor.next"));
    rig.fill({"game=rust", "name=Rust", "host=rust.home.arpa"});
    rig.click(QStringLiteral("editor.advanced"));
    render(rig.sheet, QStringLiteral("editor-game-advanced"));

    auto *picker = rig.find<QComboBox>(QStringLiteral("editor.gamePicker"));
    picker->showPopup();
    QTRY_VERIFY(picker->view()->isVisible());
    render(picker->view()->window(), QStringLiteral("editor-game-picker"));
    picker->hidePopup();

    rig.type(QStringLiteral("editor.gameSearch"), QStringLiteral("mine"));
    picker->showPopup();
    QTRY_VERIFY(picker->view()->isVisible());
    render(picker->view()->window(), QStringLiteral("editor-game-picker-search"));
    picker->hidePopup();
}

void TestEditorScreenshots::testBadges_data()
{
    QTest::addColumn<QString>("card");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<bool>("passed");

    QTest::newRow("green") << "tcpPort" << QStringList{"name=SSH", "host=127.0.0.1:%PORT"} << true;
    QTest::newRow("red") << "kuma" << QStringList{"name=Status", "baseURL=http://127.0.0.1:%PORT", "statusPageSlug=home"}
                         << false;
}

void TestEditorScreenshots::testBadges()
{
    QFETCH(QString, card);
    QFETCH(QStringList, steps);
    QFETCH(bool, passed);

    LocalTCPServer tcp;
    LocalHTTPServer http(LocalHTTPServer::fixed(503, "down"));
    EditorRig rig;
    rig.open();
    rig.click(QStringLiteral("editor.type.") + card);
    rig.click(QStringLiteral("editor.next"));
    rig.fill(steps, QString::number(passed ? tcp.port() : http.port()));
    QSignalSpy finished(rig.sheet.data(), &AddSourceView::connectionTestFinished);
    rig.click(QStringLiteral("editor.test"));
    QVERIFY(finished.wait(5000));
    QCOMPARE(rig.sheet->testPassed(), passed);
    render(rig.sheet, QStringLiteral("editor-test-") + QTest::currentDataTag());
}

void TestEditorScreenshots::editSheetWithWidgets()
{
    EditorRig rig;
    rig.buildEditorState();
    const AnySourceConfig source = tcpSource(QUuid::createUuid(), QStringLiteral("NAS"));
    rig.state->addSource(source);
    QTRY_VERIFY(rig.state->snapshots().contains(source.id()));
    WidgetLayout layout = rig.state->widgetLayout();
    layout.hidden.insert(rig.state->snapshots().find(source.id())->widgets.at(1).scopedID(source.id()));
    rig.state->setWidgetLayout(layout);
    rig.open(source);
    QTRY_VERIFY(rig.find(QStringLiteral("editor.widgetList"))->isVisibleTo(rig.sheet));
    render(rig.sheet, QStringLiteral("editor-edit"));
}

// Accents close to what lies behind them: yellow in a light theme, near-black in a dark one. The
// name field has the keyboard, the form a message, the game list its chosen game.
void TestEditorScreenshots::focusInAccents_data()
{
    QTest::addColumn<QString>("accent");
    QTest::addColumn<bool>("dark");
    QTest::newRow("yellow") << "#FFE600" << false;
    QTest::newRow("near-black-dark") << "#111111" << true;
}

void TestEditorScreenshots::focusInAccents()
{
    QFETCH(QString, accent);
    QFETCH(bool, dark);
    const DesktopTheme theme(dark);
    EditorRig rig;
    rig.buildEditorState();
    rig.settings->setAccentHex(accent);
    rig.open();
    rig.sheet->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(rig.sheet));
    rig.click(QStringLiteral("editor.type.gameServer"));
    rig.click(QStringLiteral("editor.next"));
    rig.fill({"game=rust", "name=Rust", "host=bad host"});
    rig.find<LabeledTextField>(QStringLiteral("editor.name"))->lineEdit()->setFocus();
    render(rig.sheet, QStringLiteral("editor-focus-") + QTest::currentDataTag());
    auto *picker = rig.find<QComboBox>(QStringLiteral("editor.gamePicker"));
    picker->showPopup();
    QTRY_VERIFY(picker->view()->isVisible());
    render(picker->view()->window(), QStringLiteral("editor-game-picker-") + QTest::currentDataTag());
    picker->hidePopup();
}

QTEST_MAIN(TestEditorScreenshots)
#include "tst_EditorScreenshots.moc"
