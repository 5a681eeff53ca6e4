#include "Editor/EditorRig.h"

#include "Marrowick/Editor/GameSourceForm.h"
#include "Marrowick/Editor/SourceCard.h"
#include "Marrowick/Editor/SourceWidgetsSection.h"
#include "Marrowick/Editor/TestResultBadge.h"
#include "Marrowick/Settings/SettingsView.h"
#include "Marrowick/Settings/SourceRow.h"
#include "Marrowick/State/SourcesStore.h"
#include "Marrowick/Style/PillButton.h"
#include "MarrowickKit/Model/UuidText.h"
#include "MarrowickKit/Providers/ProviderRegistry.h"

#include "support/ImageDifference.h"
#include "support/LocalHTTPServer.h"
#include "support/LocalTCPServer.h"
#include "support/TestSupport.h"

#include <QCheckBox>
#include <QJsonDocument>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QSignalSpy>
#include <QSpinBox>
#include <QToolButton>

using namespace marrowick;
using namespace marrowick::test;

namespace {

QJsonObject withoutID(const AnySourceConfig &config)
{
    QJsonObject json = config.toJson();
    const QString kind = json.keys().first();
    QJsonObject inner = json.value(kind).toObject().value(QStringLiteral("_0")).toObject();
    inner.remove(QStringLiteral("id"));
    for (auto it = inner.begin(); it != inner.end(); ++it) {
        if (it.value().isString())
            it.value() = it.value().toString().replace(uuidText(config.id()), QStringLiteral("ID"));
    }
    return QJsonObject{{kind, inner}};
}

QString labelText(EditorRig &rig, const QString &name)
{
    auto *label = rig.find<QLabel>(name);
    return label && label->isVisibleTo(rig.sheet) ? label->text() : QString();
}

// The form step shows, else the type step.
bool onFormStep(EditorRig &rig)
{
    QWidget *save = rig.find(QStringLiteral("editor.save"));
    return save && save->isVisibleTo(rig.sheet);
}

// The type cards drawn as selected.
QStringList selectedCards(EditorRig &rig)
{
    QStringList names;
    for (const SourceCard *card : rig.sheet->findChildren<SourceCard *>()) {
        if (card->isSelected())
            names.append(card->objectName());
    }
    return names;
}

bool saveEnabled(EditorRig &rig)
{
    return rig.find(QStringLiteral("editor.save"))->isEnabled();
}

void saveAndWaitForClose(EditorRig &rig)
{
    rig.click(QStringLiteral("editor.save"));
    QTRY_VERIFY(!rig.sheet);
}

} // namespace

class TestAddSourceView : public QObject {
    Q_OBJECT

private slots:
    void addsEachKind_data();
    void addsEachKind();
    void messageLine_data();
    void messageLine();
    void quickStartCards_data();
    void quickStartCards();
    void typeStepAndBack();
    void returnOnTheTypeStepGoesOn_data();
    void returnOnTheTypeStepGoesOn();
    void returnOnTheFormStep_data();
    void returnOnTheFormStep();
    void focusAndSelectionLookApart_data();
    void focusAndSelectionLookApart();
    void gamePickerSearchesAndPortFollowsGame();
    void connectionTest_data();
    void connectionTest();
    void connectionTestResultOfAnOlderFormIsDropped();
    void connectionTestNeverWritesTheKeyring_data();
    void connectionTestNeverWritesTheKeyring();
    void failedSaveKeepsSheetOpen_data();
    void failedSaveKeepsSheetOpen();
    void editingKeepsTheStoredSecret_data();
    void editingKeepsTheStoredSecret();
    void cancelWhileSavingWritesNothing();
    void widgetsSectionHidesAndReorders();
    void widgetsSectionKeepsTheFocus();
    void alertSettings();
    void settingsWindowOpensTheSheet();
};

void TestAddSourceView::addsEachKind_data()
{
    QTest::addColumn<QString>("card");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("json");
    QTest::addColumn<QString>("secret");

    QTest::newRow("kuma") << "kuma" << QStringList{"name=Lab", "baseURL=https://kuma.lan", "username=me", "secret=key"}
                          << R"({"kuma":{"alertThreshold":3,"alertsEnabled":true,"baseURL":"https://kuma.lan","displayName":"Lab","passwordRef":"kuma-ID","pollInterval":60,"username":"me"}})"
                          << "key";
    QTest::newRow("beszel") << "beszel" << QStringList{"name=Hub", "baseURL=hub.lan:8090", "secret=tok"}
                            << R"({"beszel":{"alertThreshold":3,"alertsEnabled":true,"baseURL":"https://hub.lan:8090","displayName":"Hub","pollInterval":30,"tokenRef":"beszel-ID"}})"
                            << "tok";
    QTest::newRow("game") << "gameServer" << QStringList{"game=palworld", "name=Pal", "host=pal.lan", "secret=pw"}
                          << R"({"gameServer":{"alertThreshold":3,"alertsEnabled":true,"credentialRef":"gameServer-ID","displayName":"Pal","gameID":"palworld","host":"pal.lan","pollInterval":60,"port":8212,"useTLS":false}})"
                          << "pw";
    QTest::newRow("http") << "httpPing" << QStringList{"name=Web", "baseURL=https://example.com", "pollSeconds=+15"}
                          << R"({"httpPing":{"alertThreshold":3,"alertsEnabled":true,"displayName":"Web","expectedStatus":200,"pollInterval":15,"url":"https://example.com"}})"
                          << "";
    QTest::newRow("tcp") << "tcpPort" << QStringList{"name=SSH", "host=nas.lan:22"}
                         << R"({"tcpPort":{"alertThreshold":3,"alertsEnabled":true,"displayName":"SSH","host":"nas.lan","pollInterval":60,"port":22}})"
                         << "";
    QTest::newRow("json") << "jsonWidget" << QStringList{"name=API", "baseURL=https://api.lan/x", "jsonFields=cpu = a.b"}
                          << R"({"jsonWidget":{"alertThreshold":3,"alertsEnabled":true,"displayName":"API","fields":[{"label":"cpu","path":"a.b"}],"pollInterval":60,"url":"https://api.lan/x"}})"
                          << "";
}

void TestAddSourceView::addsEachKind()
{
    QFETCH(QString, card);
    QFETCH(QStringList, steps);
    QFETCH(QString, json);
    QFETCH(QString, secret);

    EditorRig rig;
    rig.open();
    QVERIFY(!rig.find(QStringLiteral("editor.next"))->isEnabled());
    rig.click(QStringLiteral("editor.type.") + card);
    rig.click(QStringLiteral("editor.next"));
    QVERIFY(onFormStep(rig));
    QVERIFY(!saveEnabled(rig));
    rig.fill(steps);
    QVERIFY2(saveEnabled(rig), qPrintable(labelText(rig, QStringLiteral("editor.message"))));
    saveAndWaitForClose(rig);

    QCOMPARE(rig.state->sources().size(), 1);
    const AnySourceConfig saved = rig.state->sources().first();
    QCOMPARE(withoutID(saved), QJsonDocument::fromJson(json.toUtf8()).object());
    QHash<QString, QString> expected;
    if (!secret.isEmpty())
        expected.insert(*saved.credentialRef(), secret);
    QCOMPARE(rig.keyring->secrets(), expected);
    // The new source is polled at once.
    VirtualClock::settle();
    QTRY_VERIFY(rig.state->snapshots().contains(saved.id()));
}

// `message` is the line under the fields, a problem or a hint; a problem is tied to the field
// `tiedTo` as its accessible description, and a form that cannot be saved says why on Save.
void TestAddSourceView::messageLine_data()
{
    QTest::addColumn<QString>("card");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("tiedTo");
    QTest::addColumn<QString>("saveReason");

    const QString credential = "The URL contains a username/password. Remove it and use the username/token field(s) below instead.";
    const QString scheme = "Enter a full URL starting with http:// or https://.";
    const QString noHost = "Enter a full URL including a host, e.g. https://status.homelab.local.";
    const QString host = "Enter a plain host or IP, like nas.local or 192.168.1.10 \u2014 no spaces, line breaks, or scheme.";
    const QString interval = "Enter a check interval between 5 and 3600 seconds.";
    const QString queryPort = "Enter a query port between 1 and 65535, or leave it blank.";
    QTest::newRow("implied https") << "httpPing" << QStringList{"name=A", "baseURL=myhost:8080"} << "Will use https://myhost:8080" << "" << "";
    QTest::newRow("host and port") << "tcpPort" << QStringList{"name=A", "host=nas:+0080"} << "Will use host nas, port 80" << "" << "";
    QTest::newRow("ipv6 host and port") << "tcpPort" << QStringList{"name=A", "host=[::1]:22"} << "Will use host ::1, port 22" << "" << "";
    QTest::newRow("user in url") << "httpPing" << QStringList{"name=A", "baseURL=https://u:p@h"} << credential << "editor.baseURL" << credential;
    QTest::newRow("scheme") << "jsonWidget" << QStringList{"name=A", "baseURL=ftp://h", "jsonFields=a=b"} << scheme << "editor.baseURL" << scheme;
    QTest::newRow("no host") << "kuma" << QStringList{"name=A", "baseURL=/status", "statusPageSlug=s"} << noHost << "editor.baseURL" << noHost;
    const QString port = "Enter a port between 1 and 65535 after the host, or none.";
    QTest::newRow("port in the url") << "httpPing" << QStringList{"name=A", "baseURL=http://nas.lan:99999/"} << port << "editor.baseURL" << port;
    QTest::newRow("host") << "tcpPort" << QStringList{"name=A", "host=https://nas"} << host << "editor.host" << host;
    QTest::newRow("interval") << "beszel" << QStringList{"name=A", "baseURL=https://b", "secret=t", "pollSeconds=4"} << interval << "editor.pollSeconds" << interval;
    QTest::newRow("query port") << "gameServer" << QStringList{"game=rust", "name=A", "host=h", "queryPort=70000"} << queryPort << "editor.queryPort" << queryPort;
    QTest::newRow("empty name has no message") << "httpPing" << QStringList{"baseURL=https://h"} << "" << "" << "Enter a name.";
    QTest::newRow("no url") << "httpPing" << QStringList{"name=A"} << "" << "" << "Enter a URL.";
    QTest::newRow("kuma without credentials") << "kuma" << QStringList{"name=A", "baseURL=https://k", "username=u"} << "" << "" << "Enter a username and password, or a status page slug.";
    QTest::newRow("beszel without token") << "beszel" << QStringList{"name=A", "baseURL=https://b"} << "" << "" << "Enter the API token.";
    QTest::newRow("json without fields") << "jsonWidget" << QStringList{"name=A", "baseURL=https://j"} << "" << "" << "Enter at least one field.";
    QTest::newRow("tcp without host") << "tcpPort" << QStringList{"name=A"} << "" << "" << "Enter a host.";
    QTest::newRow("tcp without port") << "tcpPort" << QStringList{"name=A", "host=nas", "port=0"} << "" << "" << "Enter a port between 1 and 65535.";
    QTest::newRow("game without password") << "gameServer" << QStringList{"game=palworld", "name=A", "host=h"} << "" << "" << "Enter the admin password.";
}

void TestAddSourceView::messageLine()
{
    QFETCH(QString, card);
    QFETCH(QStringList, steps);
    QFETCH(QString, message);
    QFETCH(QString, tiedTo);
    QFETCH(QString, saveReason);

    EditorRig rig;
    rig.open();
    rig.click(QStringLiteral("editor.type.") + card);
    rig.click(QStringLiteral("editor.next"));
    if (card == QLatin1String("gameServer"))
        rig.click(QStringLiteral("editor.advanced"));
    rig.fill(steps);
    QCOMPARE(labelText(rig, QStringLiteral("editor.message")) + labelText(rig, QStringLiteral("editor.hint")), message);
    QStringList described;
    for (const LabeledTextField *field : rig.sheet->findChildren<LabeledTextField *>()) {
        if (!field->lineEdit()->accessibleDescription().isEmpty())
            described.append(field->objectName() + QStringLiteral(": ") + field->lineEdit()->accessibleDescription());
    }
    QCOMPARE(described, tiedTo.isEmpty() ? QStringList() : QStringList{tiedTo + QStringLiteral(": ") + message});
    const bool saveable = saveReason.isEmpty();
    QCOMPARE(saveEnabled(rig), saveable);
    QCOMPARE(rig.find(QStringLiteral("editor.test"))->isEnabled(), saveable);
    QCOMPARE(rig.find(QStringLiteral("editor.save"))->accessibleDescription(), saveReason);
}

void TestAddSourceView::quickStartCards_data()
{
    QTest::addColumn<QString>("example");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("name");

    QTest::newRow("status page") << "statusPage" << "Uptime Kuma Config" << "Status Page";
    QTest::newRow("website") << "website" << "HTTP Ping Config" << "Website";
    QTest::newRow("minecraft") << "minecraft" << "Game Server Config" << "Minecraft Server";
}

void TestAddSourceView::quickStartCards()
{
    QFETCH(QString, example);
    QFETCH(QString, title);
    QFETCH(QString, name);

    EditorRig rig;
    rig.open();
    rig.click(QStringLiteral("editor.type.tcpPort"));
    rig.click(QStringLiteral("editor.example.") + example);
    QCOMPARE(labelText(rig, QStringLiteral("editor.title")), title);
    QCOMPARE(rig.find<LabeledTextField>(QStringLiteral("editor.name"))->text(), name);
    QCOMPARE(selectedCards(rig), QStringList{"editor.type.tcpPort"});
    QVERIFY(saveEnabled(rig));
    QCOMPARE(rig.sheet->size(), AddSourceView::addingSize);
}

void TestAddSourceView::typeStepAndBack()
{
    EditorRig rig;
    rig.open();
    rig.click(QStringLiteral("editor.type.beszel"));
    rig.click(QStringLiteral("editor.type.jsonWidget"));
    QCOMPARE(selectedCards(rig), QStringList{"editor.type.jsonWidget"});
    rig.click(QStringLiteral("editor.next"));
    QCOMPARE(labelText(rig, QStringLiteral("editor.title")), QStringLiteral("Custom JSON Config"));
    rig.fill({"name=A", "jsonFields=x = y"});
    rig.click(QStringLiteral("editor.back"));
    QVERIFY(!onFormStep(rig));
    QVERIFY(selectedCards(rig).isEmpty());
    QVERIFY(rig.find(QStringLiteral("editor.next"))->isVisibleTo(rig.sheet));
    QVERIFY(!rig.find(QStringLiteral("editor.next"))->isEnabled());
    rig.click(QStringLiteral("editor.type.jsonWidget"));
    rig.click(QStringLiteral("editor.next"));
    QCOMPARE(rig.find<QPlainTextEdit>(QStringLiteral("editor.jsonFields"))->toPlainText(), QString());
    QCOMPARE(rig.find<LabeledTextField>(QStringLiteral("editor.pollSeconds"))->lineEdit()->placeholderText(),
             QStringLiteral("60"));
    rig.click(QStringLiteral("editor.cancel"));
    QTRY_VERIFY(!rig.sheet);
    QVERIFY(rig.state->sources().isEmpty());
}

void TestAddSourceView::returnOnTheTypeStepGoesOn_data()
{
    QTest::addColumn<QString>("clicked");  // a type card clicked first, or none
    // The card or button that has the focus; empty: what has it as the sheet opens (the first
    // card, or the one clicked); "none": nothing.
    QTest::addColumn<QString>("focused");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    // The title of the form shown afterwards; empty: still choosing; "cancelled": the sheet closed.
    QTest::addColumn<QString>("title");

    const int none = Qt::NoModifier;
    QTest::newRow("nothing chosen") << "" << "none" << int(Qt::Key_Return) << none << "";
    QTest::newRow("as opened, on the first card") << "" << "" << int(Qt::Key_Return) << none << "Uptime Kuma Config";
    QTest::newRow("chosen type") << "httpPing" << "" << int(Qt::Key_Return) << none << "HTTP Ping Config";
    QTest::newRow("keypad Enter") << "httpPing" << "" << int(Qt::Key_Enter) << int(Qt::KeypadModifier)
                                  << "HTTP Ping Config";
    QTest::newRow("focused type card") << "httpPing" << "editor.type.jsonWidget" << int(Qt::Key_Return) << none
                                       << "Custom JSON Config";
    QTest::newRow("focused example") << "httpPing" << "editor.example.statusPage" << int(Qt::Key_Return) << none
                                     << "Uptime Kuma Config";
    QTest::newRow("with Ctrl") << "httpPing" << "" << int(Qt::Key_Return) << int(Qt::ControlModifier) << "";
    QTest::newRow("focused Cancel") << "httpPing" << "editor.cancel" << int(Qt::Key_Return) << none << "cancelled";
    QTest::newRow("focused Next") << "tcpPort" << "editor.next" << int(Qt::Key_Return) << none << "TCP Port Config";
}

void TestAddSourceView::returnOnTheTypeStepGoesOn()
{
    QFETCH(QString, clicked);
    QFETCH(QString, focused);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, title);

    EditorRig rig;
    rig.open();
    rig.sheet->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(rig.sheet));
    if (!clicked.isEmpty())
        rig.click(QStringLiteral("editor.type.") + clicked);
    QWidget *target = rig.sheet;
    if (focused == QLatin1String("none")) {
        rig.sheet->focusWidget()->clearFocus();
    } else if (!focused.isEmpty()) {
        target = rig.find(focused);
        QVERIFY(target);
        target->setFocus(Qt::TabFocusReason);
        QVERIFY(target->hasFocus());
    }
    QTest::keyClick(target, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    if (title == QLatin1String("cancelled")) {
        QTRY_VERIFY(!rig.sheet);
        QVERIFY(rig.state->sources().isEmpty());
    } else if (title.isEmpty()) {
        QVERIFY(!onFormStep(rig));
        QVERIFY(rig.find(QStringLiteral("editor.next"))->isVisibleTo(rig.sheet));
    } else {
        QVERIFY(onFormStep(rig));
        QCOMPARE(labelText(rig, QStringLiteral("editor.title")), title);
    }
}

void TestAddSourceView::returnOnTheFormStep_data()
{
    QTest::addColumn<QString>("card");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("focused"); // an object name; a labelled field means its line edit
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    // "saved", "nothing", "new line", "tested", "cancelled" or "back"
    QTest::addColumn<QString>("outcome");

    const int none = Qt::NoModifier;
    const int ret = Qt::Key_Return;
    const QStringList ping{"name=A", "baseURL=http://127.0.0.1:%PORT"};
    QTest::newRow("in a field") << "httpPing" << ping << "editor.baseURL" << ret << none << "saved";
    QTest::newRow("keypad Enter in a field") << "httpPing" << ping << "editor.name" << int(Qt::Key_Enter)
                                             << int(Qt::KeypadModifier) << "saved";
    QTest::newRow("in a field of a form not valid") << "httpPing" << QStringList{"name=A"} << "editor.name" << ret
                                                    << none << "nothing";
    QTest::newRow("with Ctrl") << "httpPing" << ping << "editor.name" << ret << int(Qt::ControlModifier) << "nothing";
    QTest::newRow("on the alerts switch") << "httpPing" << ping << "editor.alerts" << ret << none << "saved";
    QTest::newRow("in the threshold") << "httpPing" << ping << "editor.alertThreshold" << ret << none << "saved";
    QTest::newRow("in the fields editor")
        << "jsonWidget" << QStringList{"name=A", "baseURL=http://127.0.0.1:%PORT", "jsonFields=a = b"}
        << "editor.jsonFields" << ret << none << "new line";
    QTest::newRow("on Test Connection") << "tcpPort" << QStringList{"name=A", "host=127.0.0.1:%PORT"}
                                        << "editor.test" << ret << none << "tested";
    QTest::newRow("on Cancel") << "httpPing" << ping << "editor.cancel" << ret << none << "cancelled";
    QTest::newRow("on Back") << "httpPing" << ping << "editor.back" << ret << none << "back";
}

// The save button is the sheet's default: Return saves from anywhere but a focused button,
// which it presses, and the fields editor, where it starts a new line.
void TestAddSourceView::returnOnTheFormStep()
{
    QFETCH(QString, card);
    QFETCH(QStringList, steps);
    QFETCH(QString, focused);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, outcome);

    EditorRig rig;
    rig.open();
    rig.sheet->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(rig.sheet));
    rig.click(QStringLiteral("editor.type.") + card);
    rig.click(QStringLiteral("editor.next"));
    rig.fill(steps, QString::number(LocalTCPServer::closedPort()));
    QWidget *target = rig.find(focused);
    QVERIFY2(target, qPrintable(focused));
    if (auto *field = qobject_cast<LabeledTextField *>(target))
        target = field->lineEdit();
    target->setFocus(Qt::TabFocusReason);
    QVERIFY(target->hasFocus());
    auto *editor = rig.find<QPlainTextEdit>(QStringLiteral("editor.jsonFields"));
    const QString fieldsBefore = editor ? editor->toPlainText() : QString();
    QSignalSpy tested(rig.sheet.data(), &AddSourceView::connectionTestFinished);

    QTest::keyClick(target, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    if (outcome == QLatin1String("saved") || outcome == QLatin1String("cancelled")) {
        QTRY_VERIFY(!rig.sheet);
        QCOMPARE(rig.state->sources().size(), outcome == QLatin1String("saved") ? 1 : 0);
        return;
    }
    QVERIFY(!rig.sheet->isSaving());
    QCOMPARE(onFormStep(rig), outcome != QLatin1String("back"));
    if (editor)
        QCOMPARE(editor->toPlainText(), outcome == QLatin1String("new line") ? fieldsBefore + u'\n' : fieldsBefore);
    if (outcome == QLatin1String("tested")) {
        // The button says it is busy, and the keyboard stays on it, during the test and after.
        QVERIFY(rig.sheet->isTesting());
        QVERIFY(target->hasFocus());
        QVERIFY(tested.wait(5000));
        QVERIFY(target->hasFocus());
        QVERIFY(target->isEnabled());
        QCOMPARE(rig.sheet->testPassed(), false);
    }
    VirtualClock::settle();
    QVERIFY(rig.state->sources().isEmpty());
}

void TestAddSourceView::focusAndSelectionLookApart_data()
{
    QTest::addColumn<bool>("selected");
    QTest::addColumn<bool>("focusedAfter");
    QTest::addColumn<bool>("selectedAfter");
    QTest::addColumn<bool>("onTheEdge"); // the change is in the ring's band, not on the card
    QTest::newRow("focus") << false << true << false << true;
    QTest::newRow("focus on the selected card") << true << true << true << true;
    QTest::newRow("selection") << false << false << true << false;
}

void TestAddSourceView::focusAndSelectionLookApart()
{
    QFETCH(bool, selected);
    QFETCH(bool, focusedAfter);
    QFETCH(bool, selectedAfter);
    QFETCH(bool, onTheEdge);

    EditorRig rig;
    rig.open();
    rig.sheet->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(rig.sheet));
    auto *card = rig.find<SourceCard>(QStringLiteral("editor.type.kuma"));
    QWidget *elsewhere = rig.find(QStringLiteral("editor.type.beszel"));
    QVERIFY(card && elsewhere);
    elsewhere->setFocus();
    card->setSelected(selected);
    const QImage before = card->grab().toImage();
    if (focusedAfter)
        card->setFocus();
    card->setSelected(selectedAfter);
    const QList<QPoint> changed = test::differingPixels(before, card->grab().toImage());
    QVERIFY(!changed.isEmpty());
    // The ring is drawn around the card; the selection changes the card itself.
    const QPainterPath cardShape = test::roundedArea(card->size(), SourceCard::focusMargin, 14);
    if (onTheEdge)
        QCOMPARE(test::pixelsInside(changed, cardShape), 0);
    else
        QVERIFY(test::pixelsInside(changed, test::roundedArea(card->size(), card->height() / 4, 0)) > 0);
}

void TestAddSourceView::gamePickerSearchesAndPortFollowsGame()
{
    EditorRig rig;
    rig.open();
    rig.click(QStringLiteral("editor.type.gameServer"));
    rig.click(QStringLiteral("editor.next"));
    auto *games = rig.find<GameSourceForm>(QStringLiteral("editor.gameFields"));
    const auto port = [&] { return rig.find<LabeledTextField>(QStringLiteral("editor.port"))->text(); };
    const auto shown = [&](const QString &name) { return rig.find(name)->isVisibleTo(rig.sheet); };

    QCOMPARE(games->pickerLines().size(), 42 + 3);
    QCOMPARE(port(), QStringLiteral("25565"));
    rig.type(QStringLiteral("editor.gameSearch"), QStringLiteral("BEDROCK"));
    QCOMPARE(games->pickerLines(), (QStringList{"# Minecraft", "minecraft-java", "minecraft-bedrock"}));
    rig.type(QStringLiteral("editor.gameSearch"), QStringLiteral("zzz"));
    QCOMPARE(games->pickerLines(), (QStringList{"# Minecraft", "minecraft-java"}));
    rig.type(QStringLiteral("editor.gameSearch"), QStringLiteral("fiv"));
    QCOMPARE(games->pickerLines(), (QStringList{"# Minecraft", "minecraft-java", "# Web API", "fivem"}));

    rig.pickGame(QStringLiteral("fivem"));
    QCOMPARE(port(), QStringLiteral("30120"));
    QVERIFY(shown(QStringLiteral("editor.useTLS")));
    QVERIFY(!shown(QStringLiteral("editor.advanced")));
    QCOMPARE(rig.find<LabeledTextField>(QStringLiteral("editor.secret"))->label(), QStringLiteral("Players Token (Optional)"));
    QCOMPARE(rig.find<LabeledTextField>(QStringLiteral("editor.secret"))->lineEdit()->echoMode(), QLineEdit::Password);

    rig.type(QStringLiteral("editor.gameSearch"), QString());
    rig.pickGame(QStringLiteral("palworld"));
    QCOMPARE(port(), QStringLiteral("8212"));
    QVERIFY(labelText(rig, QStringLiteral("editor.secretNote")).endsWith(QStringLiteral("use it on a trusted network only.")));
    rig.click(QStringLiteral("editor.useTLS"));
    QVERIFY(labelText(rig, QStringLiteral("editor.secretNote")).endsWith(QStringLiteral("grants full control.")));

    rig.pickGame(QStringLiteral("valheim"));
    QVERIFY(!shown(QStringLiteral("editor.secret")));
    QVERIFY(!shown(QStringLiteral("editor.useTLS")));
    QVERIFY(shown(QStringLiteral("editor.advanced")));
    QVERIFY(!labelText(rig, QStringLiteral("editor.setupNote")).isEmpty());
    rig.type(QStringLiteral("editor.port"), QStringLiteral("2500"));
    rig.pickGame(QStringLiteral("rust"));
    QCOMPARE(port(), QStringLiteral("2500"));
}

void TestAddSourceView::connectionTest_data()
{
    QTest::addColumn<QString>("card");
    QTest::addColumn<QStringList>("steps");
    // What listens behind %PORT: "tcp" (accepts), "http" (answers with httpStatus), "plain"
    // (answers anything, TLS too, with a plain HTTP error) or "closed" (nothing).
    QTest::addColumn<QString>("server");
    QTest::addColumn<int>("httpStatus");
    QTest::addColumn<bool>("passed");
    QTest::addColumn<QString>("message");

    const QStringList kuma{"name=A", "baseURL=http://127.0.0.1:%PORT", "statusPageSlug=s"};
    QTest::newRow("tcp port open") << "tcpPort" << QStringList{"name=A", "host=127.0.0.1:%PORT"} << "tcp" << 0 << true
                                   << "Connected";
    QTest::newRow("tcp port closed") << "tcpPort" << QStringList{"name=A", "host=127.0.0.1:%PORT"} << "closed" << 0
                                     << false << "closed";
    QTest::newRow("http ping up") << "httpPing" << QStringList{"name=A", "baseURL=http://127.0.0.1:%PORT"} << "http"
                                  << 200 << true << "Connected";
    QTest::newRow("http ping unexpected status") << "httpPing" << QStringList{"name=A", "baseURL=http://127.0.0.1:%PORT"}
                                                 << "http" << 503 << false << "HTTP 503";
    // The TLS library words this one: the row expects the reason the source's own poll gives.
    QTest::newRow("http ping TLS rejected") << "httpPing" << QStringList{"name=A", "baseURL=https://127.0.0.1:%PORT"}
                                            << "plain" << 0 << false << "";
    QTest::newRow("status page without monitors") << "kuma" << kuma << "http" << 200 << false
                                                  << ConnectionTest::emptySnapshotMessage;
    QTest::newRow("server error") << "kuma" << kuma << "http" << 500 << false << "HTTP 500";
}

void TestAddSourceView::connectionTest()
{
    QFETCH(QString, card);
    QFETCH(QStringList, steps);
    QFETCH(QString, server);
    QFETCH(int, httpStatus);
    QFETCH(bool, passed);
    QFETCH(QString, message);

    LocalTCPServer tcp;
    LocalTCPServer plain(LocalTCPServer::sendAndClose("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n"));
    LocalHTTPServer http(LocalHTTPServer::fixed(httpStatus, R"({"heartbeatList":{}})"));
    const QHash<QString, quint16> ports{{QStringLiteral("tcp"), tcp.port()},
                                        {QStringLiteral("http"), http.port()},
                                        {QStringLiteral("plain"), plain.port()},
                                        {QStringLiteral("closed"), LocalTCPServer::closedPort()}};
    EditorRig rig;
    rig.open();
    rig.click(QStringLiteral("editor.type.") + card);
    rig.click(QStringLiteral("editor.next"));
    rig.fill(steps, QString::number(ports.value(server)));
    QSignalSpy finished(rig.sheet.data(), &AddSourceView::connectionTestFinished);
    rig.click(QStringLiteral("editor.test"));
    QCOMPARE(rig.find<PillButton>(QStringLiteral("editor.test"))->text(), QStringLiteral("Testing\u2026"));
    QVERIFY(rig.find<PillButton>(QStringLiteral("editor.test"))->isBusy());
    QVERIFY(finished.wait(5000));

    if (message.isEmpty()) {
        const auto config = rig.sheet->form()->buildConfig(QUuid::createUuid());
        QVERIFY(config);
        const auto provider = ProviderRegistry::makeProvider(*config, std::make_shared<InMemoryCredentialStore>());
        const SourceSnapshot polled = QCoro::waitFor(provider->fetch({}));
        QCOMPARE(polled.widgets.size(), 1);
        message = polled.widgets.first().get<CheckResult>()->detail.value_or(QString());
        QVERIFY(!message.isEmpty());
    }

    auto *badge = rig.find<TestResultBadge>(QStringLiteral("editor.testBadge"));
    QVERIFY(badge->isVisibleTo(rig.sheet));
    QCOMPARE(badge->passed(), passed);
    QCOMPARE(badge->message(), message);
    QVERIFY(!rig.find<PillButton>(QStringLiteral("editor.test"))->isBusy());
    QVERIFY(rig.state->sources().isEmpty());

    // Any edit, also one undone at once, clears the badge.
    rig.click(QStringLiteral("editor.alerts"));
    rig.click(QStringLiteral("editor.alerts"));
    QVERIFY(!badge->isVisibleTo(rig.sheet));
}

void TestAddSourceView::connectionTestResultOfAnOlderFormIsDropped()
{
    QList<QPointer<QTcpSocket>> waiting;
    LocalHTTPServer http([&](const ReceivedRequest &, QTcpSocket *socket) { waiting.append(socket); });
    EditorRig rig;
    rig.open();
    rig.click(QStringLiteral("editor.type.httpPing"));
    rig.click(QStringLiteral("editor.next"));
    rig.fill({"name=A", "baseURL=http://127.0.0.1:%PORT/"}, QString::number(http.port()));
    QSignalSpy finished(rig.sheet.data(), &AddSourceView::connectionTestFinished);
    rig.click(QStringLiteral("editor.test"));
    QTRY_COMPARE(waiting.size(), 1);
    rig.type(QStringLiteral("editor.name"), QStringLiteral("B"));
    LocalHTTPServer::respond(waiting.first(), 200, "ok");
    QVERIFY(finished.wait(5000));
    QVERIFY(!rig.find(QStringLiteral("editor.testBadge"))->isVisibleTo(rig.sheet));
    QVERIFY(rig.find(QStringLiteral("editor.test"))->isEnabled());
}

void TestAddSourceView::connectionTestNeverWritesTheKeyring_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("locked"); // the keyring holding the stored secret
    QTest::addColumn<QByteArray>("sent"); // empty: nothing is sent
    QTest::addColumn<QString>("badge");

    QTest::newRow("stored secret") << "" << false << QByteArray("Bearer stored") << "Connected";
    QTest::newRow("typed secret") << "typed" << false << QByteArray("Bearer typed") << "Connected";
    // The secret is there: the badge says why it could not be read, not that it is missing.
    QTest::newRow("stored secret, keyring locked")
        << "" << true << QByteArray() << "keyring locked: test again and unlock it when asked";
    QTest::newRow("typed secret, keyring locked") << "typed" << true << QByteArray("Bearer typed") << "Connected";
}

void TestAddSourceView::connectionTestNeverWritesTheKeyring()
{
    QFETCH(QString, typed);
    QFETCH(bool, locked);
    QFETCH(QByteArray, sent);
    QFETCH(QString, badge);

    LocalHTTPServer http(LocalHTTPServer::fixed(200, R"({"a":{"b":1}})"));
    EditorRig rig;
    rig.buildEditorState();
    test::await(rig.keyring->setSecret(QStringLiteral("stored"), QStringLiteral("hand-named")));
    rig.keyring->writes = 0;
    const JSONWidgetConfig config(QUuid::createUuid(), QStringLiteral("API"), http.url(QStringLiteral("/x")).toString(),
                                  QStringLiteral("hand-named"), {{QStringLiteral("B"), QStringLiteral("a.b")}});
    rig.state->addSource(config);
    if (locked)
        rig.keyring->refusal = CredentialError::locked();
    rig.open(config);
    if (!typed.isEmpty())
        rig.type(QStringLiteral("editor.secret"), typed);
    QSignalSpy finished(rig.sheet.data(), &AddSourceView::connectionTestFinished);
    rig.click(QStringLiteral("editor.test"));
    // A keyring that says no at once ends the test within the click.
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 5000);

    QCOMPARE(rig.find<TestResultBadge>(QStringLiteral("editor.testBadge"))->message(), badge);
    QCOMPARE(http.requests().isEmpty(), sent.isEmpty());
    if (!sent.isEmpty())
        QCOMPARE(http.requests().last().header("Authorization"), sent);
    QCOMPARE(rig.keyring->reads, typed.isEmpty() ? 1 : 0);
    QCOMPARE(rig.keyring->writes, 0);
    QCOMPARE(rig.keyring->secrets(), (QHash<QString, QString>{{"hand-named", "stored"}}));
}

// The sheet stays open and says why. A full disk leaves the source in effect but unsaved: saving
// again, with room, stores it once.
void TestAddSourceView::failedSaveKeepsSheetOpen_data()
{
    QTest::addColumn<QString>("keyringFailure"); // empty: the disk is full
    QTest::newRow("keyring") << "keyring <b>locked</b>";
    QTest::newRow("full disk") << "";
}

void TestAddSourceView::failedSaveKeepsSheetOpen()
{
    QFETCH(QString, keyringFailure);
    EditorRig rig;
    QVERIFY(rig.saveFailing(keyringFailure));

    auto *alert = rig.sheet->findChild<QMessageBox *>(QStringLiteral("editor.saveError"));
    QVERIFY(alert && alert->isVisible());
    QCOMPARE(alert->text(), QStringLiteral("Couldn't Save Source"));
    const bool diskFull = keyringFailure.isEmpty();
    QCOMPARE(alert->informativeText(), diskFull ? rig.state->unsavedSourcesText() : keyringFailure);
    QCOMPARE(alert->findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel"))->textFormat(), Qt::PlainText);
    QCOMPARE(rig.state->sources().size(), diskFull ? 1 : 0);
    QCOMPARE(rig.keyring->secrets().size(), diskFull ? 1 : 0);
    QVERIFY(saveEnabled(rig));
    QCOMPARE(rig.find<PillButton>(QStringLiteral("editor.save"))->text(), QStringLiteral("Save Source"));
    alert->accept();

    rig.keyring->failure.reset();
    saveAndWaitForClose(rig);
    QCOMPARE(rig.state->sources().size(), 1);
    QCOMPARE(SourcesStore::load(rig.folder()), rig.state->sources());
}

void TestAddSourceView::editingKeepsTheStoredSecret_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");

    QTest::newRow("field left empty") << "" << "old";
    QTest::newRow("new secret") << "new" << "new";
}

void TestAddSourceView::editingKeepsTheStoredSecret()
{
    QFETCH(QString, typed);
    QFETCH(QString, kept);

    EditorRig rig;
    rig.buildEditorState();
    // A reference not made from the id, as an older or hand-written file may hold.
    test::await(rig.keyring->setSecret(QStringLiteral("old"), QStringLiteral("legacy-kuma")));
    const KumaConfig config(QUuid::createUuid(), QStringLiteral("Lab"), QStringLiteral("https://kuma"),
                            QStringLiteral("me"), QStringLiteral("legacy-kuma"), std::nullopt);
    rig.state->addSource(config);
    rig.open(config);
    QCOMPARE(rig.sheet->size(), AddSourceView::editingSize);
    QVERIFY(!rig.find(QStringLiteral("editor.back")));
    auto *secret = rig.find<LabeledTextField>(QStringLiteral("editor.secret"));
    QVERIFY(secret->text().isEmpty());
    QCOMPARE(secret->lineEdit()->placeholderText(), QStringLiteral("Leave blank to keep the current secret"));
    QCOMPARE(rig.find<PillButton>(QStringLiteral("editor.save"))->text(), QStringLiteral("Save Changes"));

    rig.type(QStringLiteral("editor.name"), QStringLiteral("Lab 2"));
    if (!typed.isEmpty())
        rig.type(QStringLiteral("editor.secret"), typed);
    saveAndWaitForClose(rig);
    VirtualClock::settle();

    KumaConfig expected = config;
    expected.displayName = QStringLiteral("Lab 2");
    QCOMPARE(rig.state->sources(), QList<AnySourceConfig>{expected});
    QCOMPARE(rig.keyring->secrets(), (QHash<QString, QString>{{"legacy-kuma", kept}}));
}

// Cancel stays enabled while the keyring has not answered: the sheet closes at once, and the
// save is never applied; what its write stored is taken back once the keyring answers.
void TestAddSourceView::cancelWhileSavingWritesNothing()
{
    EditorRig rig;
    rig.buildEditorState();
    Completion<Done> release;
    rig.keyring->gate = release;
    rig.open();
    rig.click(QStringLiteral("editor.example.statusPage"));
    rig.fill({"username=me", "secret=key"});
    rig.click(QStringLiteral("editor.save"));
    QCOMPARE(rig.find<PillButton>(QStringLiteral("editor.save"))->text(), QStringLiteral("Saving\u2026"));
    QVERIFY(!saveEnabled(rig));
    rig.click(QStringLiteral("editor.save"));
    rig.click(QStringLiteral("editor.cancel"));
    QTRY_VERIFY(!rig.sheet);

    release.complete(Done{});
    VirtualClock::settle();
    QVERIFY(rig.keyring->secrets().isEmpty());
    QVERIFY(rig.state->sources().isEmpty());
    QCOMPARE(rig.keyring->writes, 1);
}

void TestAddSourceView::widgetsSectionHidesAndReorders()
{
    EditorRig rig;
    rig.buildEditorState();
    const AnySourceConfig source = tcpSource(QUuid::createUuid());
    rig.open(source);
    QVERIFY(rig.find(QStringLiteral("editor.widgetsEmpty"))->isVisibleTo(rig.sheet));
    rig.state->addSource(source);
    VirtualClock::settle();
    QTRY_VERIFY(rig.find(QStringLiteral("editor.widgetList"))->isVisibleTo(rig.sheet));

    const QString prefix = uuidText(source.id()) + QStringLiteral("/check:");
    const auto popupOrder = [&] {
        QList<WidgetEntry> entries;
        for (const WidgetData &widget : rig.state->snapshots().find(source.id())->widgets)
            entries.append({widget.scopedID(source.id()), widget});
        QStringList names;
        for (const WidgetEntry &entry : rig.state->widgetLayout().visibleEntries(entries))
            names.append(entry.widget.displayName());
        return names;
    };

    auto *disk = rig.find(QStringLiteral("editor.widget:") + prefix + QStringLiteral("disk"));
    QVERIFY(disk);
    auto *eye = disk->findChild<QToolButton *>();
    QCOMPARE(eye->accessibleName(), QStringLiteral("Hide Disk"));
    auto *unsaved = rig.find<QLabel>(QStringLiteral("editor.widgetsUnsaved"));
    QVERIFY(!unsaved->isVisibleTo(rig.sheet));
    {
        // On a full disk the change is in effect and the sheet says it is not saved.
        const FileSizeLimit full(1);
        QTest::mouseClick(eye, Qt::LeftButton);
    }
    QCOMPARE(popupOrder(), (QStringList{"CPU", "Memory"}));
    QVERIFY(unsaved->isVisibleTo(rig.sheet));
    QCOMPARE(unsaved->text(), rig.settings->unsavedText());
    QTRY_COMPARE(rig.find(QStringLiteral("editor.widget:") + prefix + QStringLiteral("disk"))
                     ->findChild<QToolButton *>()->accessibleName(),
                 QStringLiteral("Show Disk"));

    // A drop moves the list's row first; the layout follows it.
    auto *list = rig.find<QListWidget>(QStringLiteral("editor.widgetList"));
    QVERIFY(list->model()->moveRow(QModelIndex(), 2, QModelIndex(), 0));
    QTRY_COMPARE(popupOrder(), (QStringList{"Memory", "CPU"}));
    QVERIFY(!unsaved->isVisibleTo(rig.sheet));
    auto *section = rig.find<SourceWidgetsSection>(QStringLiteral("editor.widgets"));
    QTRY_COMPARE(section->entries().size(), 3);
    QCOMPARE(section->entries().first().widget.displayName(), QStringLiteral("Memory"));

    // Saved at once: cancelling the sheet keeps it.
    rig.click(QStringLiteral("editor.cancel"));
    QTRY_VERIFY(!rig.sheet);
    const WidgetLayout stored = WidgetLayout::load(*rig.settings);
    QCOMPARE(stored, rig.state->widgetLayout());
    QVERIFY(stored.hidden.contains(prefix + QStringLiteral("disk")));
}

// Space on an eye hides the widget and leaves the focus on that eye, so the next Space shows it
// again instead of pressing another button (Cancel, losing the edits). A new order moves the
// focus with the widget's row.
void TestAddSourceView::widgetsSectionKeepsTheFocus()
{
    EditorRig rig;
    rig.buildEditorState();
    const AnySourceConfig source = tcpSource(QUuid::createUuid());
    rig.state->addSource(source);
    VirtualClock::settle();
    rig.open(source);
    rig.sheet->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(rig.sheet));
    const QString prefix = QStringLiteral("editor.widget:") + uuidText(source.id()) + QStringLiteral("/check:");
    const auto eyeOf = [&](const QString &key) {
        QWidget *row = rig.find(prefix + key);
        return row ? row->findChild<QToolButton *>() : nullptr;
    };
    QTRY_VERIFY(eyeOf("disk"));
    eyeOf("disk")->setFocus(Qt::TabFocusReason);

    for (const QString &name : {QStringLiteral("Show Disk"), QStringLiteral("Hide Disk")}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QTRY_COMPARE(eyeOf("disk")->accessibleName(), name);
        QCOMPARE(QApplication::focusWidget(), eyeOf("disk"));
        QVERIFY(rig.sheet && rig.sheet->isVisible());
    }
    auto *list = rig.find<QListWidget>(QStringLiteral("editor.widgetList"));
    QVERIFY(list->model()->moveRow(QModelIndex(), 2, QModelIndex(), 0));
    QTRY_COMPARE(rig.find<SourceWidgetsSection>(QStringLiteral("editor.widgets"))->entries().first().key,
                 uuidText(source.id()) + QStringLiteral("/check:memory"));
    QTRY_COMPARE(QApplication::focusWidget(), eyeOf("disk"));
}

void TestAddSourceView::alertSettings()
{
    EditorRig rig;
    rig.open();
    rig.click(QStringLiteral("editor.example.website"));
    auto *threshold = rig.find<QSpinBox>(QStringLiteral("editor.alertThreshold"));
    threshold->setValue(1);
    QCOMPARE(labelText(rig, QStringLiteral("editor.alertThresholdLabel")), QStringLiteral("Alert after 1 failed check"));
    threshold->stepDown();
    QCOMPARE(labelText(rig, QStringLiteral("editor.alertThresholdLabel")), QStringLiteral("Alert after 1 failed check"));
    threshold->setValue(10);
    threshold->stepUp();
    QCOMPARE(labelText(rig, QStringLiteral("editor.alertThresholdLabel")), QStringLiteral("Alert after 10 failed checks"));
    rig.click(QStringLiteral("editor.alerts"));
    QVERIFY(!threshold->isEnabled());
    QCOMPARE(labelText(rig, QStringLiteral("editor.alertThresholdLabel")), QStringLiteral("Alert after 10 failed checks"));
    saveAndWaitForClose(rig);
    const SourceConfig &saved = rig.state->sources().first().config();
    QVERIFY(!saved.alertsEnabled);
    QCOMPARE(saved.alertThreshold, 10);
}

void TestAddSourceView::settingsWindowOpensTheSheet()
{
    EditorRig rig;
    rig.buildEditorState();
    SettingsView settings(rig.state.get());
    settings.show();
    auto *add = settings.findChild<QWidget *>(QStringLiteral("settings.sources.add"));
    QTest::mouseClick(add, Qt::LeftButton, {}, add->rect().center());
    rig.sheet = settings.findChild<AddSourceView *>();
    QVERIFY(rig.sheet && rig.sheet->isVisible());
    QCOMPARE(rig.sheet->windowModality(), Qt::WindowModal);
    rig.click(QStringLiteral("editor.type.tcpPort"));
    rig.click(QStringLiteral("editor.next"));
    rig.fill({"name=NAS", "host=nas.lan", "port=445"});
    saveAndWaitForClose(rig);
    QCOMPARE(settings.sourceLines(), QStringList{QStringLiteral("NAS — nas.lan:445")});

    // Activating a row edits that source.
    settings.cards().first()->editButton()->click();
    rig.sheet = settings.findChild<AddSourceView *>();
    QVERIFY(rig.sheet);
    QCOMPARE(rig.find<LabeledTextField>(QStringLiteral("editor.port"))->text(), QStringLiteral("445"));
}

QTEST_MAIN(TestAddSourceView)
#include "tst_AddSourceView.moc"
