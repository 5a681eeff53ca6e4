#include "State/AppStateRig.h"
#include "Marrowick/Editor/SourceFormSession.h"
#include "MarrowickKit/Engine/JSONFileStore.h"
#include "MarrowickKit/Model/UuidText.h"

#include "support/LocalHTTPServer.h"
#include "support/LocalTCPServer.h"
#include "support/ScriptedCredentialStore.h"
#include "support/TestSupport.h"

#include <QSignalSpy>
#include <QTest>

using namespace marrowick;
using namespace marrowick::test;
using Type = SourceFormState::SourceType;

namespace {

// An AppState over a scripted keyring, without any widget.
struct SessionRig : AppStateRig {
    std::shared_ptr<ScriptedCredentialStore> keyring = std::make_shared<ScriptedCredentialStore>();

    SessionRig()
    {
        credentials = keyring;
        build();
    }
};

// Runs "select:<type>", "continue", "example:<example>", "back", "name:<text>", "host:<text>",
// "json:<lines>" and "search:<text>" in order.
void run(SourceFormSession &session, const QStringList &actions)
{
    for (const QString &action : actions) {
        const qsizetype colon = action.indexOf(QLatin1Char(':'));
        const QString verb = action.left(colon);
        const QString value = colon < 0 ? QString() : action.mid(colon + 1);
        if (verb == QLatin1String("select"))
            session.selectType(*SourceFormState::typeFromRawValue(value));
        else if (verb == QLatin1String("continue"))
            session.continueToForm();
        else if (verb == QLatin1String("example"))
            session.applyExample(*SourceFormState::exampleFromRawValue(value));
        else if (verb == QLatin1String("back"))
            session.backToTypePicker();
        else if (verb == QLatin1String("name"))
            session.edit([&](SourceFormState &form) { form.displayName = value; });
        else if (verb == QLatin1String("host"))
            session.edit([&](SourceFormState &form) { form.host = value; });
        else if (verb == QLatin1String("json"))
            session.setJSONFieldsText(value);
        else if (verb == QLatin1String("search"))
            session.setGameSearch(value);
        else
            qFatal("unknown action %s", qPrintable(action));
    }
}

QString rawType(const std::optional<Type> &type)
{
    return type ? SourceFormState::rawValue(*type) : QString();
}

} // namespace

class TestSourceFormSession : public QObject {
    Q_OBJECT

private slots:
    void steps_data();
    void steps();
    void testResult_data();
    void testResult();
    void ignoredRequests_data();
    void ignoredRequests();
    void save_data();
    void save();
    void aCancelledSaveWritesNothing_data();
    void aCancelledSaveWritesNothing();
    void aSavedSourceIsPolledAtOnce_data();
    void aSavedSourceIsPolledAtOnce();
};

void TestSourceFormSession::steps_data()
{
    QTest::addColumn<bool>("editing");
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<QString>("form");     // the form's type, empty without a form
    QTest::addColumn<QString>("selected"); // the chosen type card, empty without one
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("jsonFieldsText");
    QTest::addColumn<int>("stepChanges");

    QTest::newRow("nothing chosen goes nowhere") << false << QStringList{"continue", "back"} << "" << "" << "" << ""
                                                 << 1;
    QTest::newRow("last chosen type goes on")
        << false << QStringList{"select:beszel", "select:jsonWidget", "continue"} << "jsonWidget" << "jsonWidget" << ""
        << "" << 1;
    QTest::newRow("example keeps the chosen type") << false << QStringList{"select:tcpPort", "example:statusPage"}
                                                   << "kuma" << "tcpPort" << "Status Page" << "" << 1;
    QTest::newRow("back drops form and type")
        << false << QStringList{"select:jsonWidget", "continue", "name:A", "json:x = y", "search:mine", "back"} << ""
        << "" << "" << "" << 2;
    QTest::newRow("a form begun after back starts empty")
        << false << QStringList{"select:jsonWidget", "continue", "name:A", "json:x = y", "back", "select:jsonWidget",
                                "continue"}
        << "jsonWidget" << "jsonWidget" << "" << "" << 3;
    QTest::newRow("field lines are parsed") << false << QStringList{"select:jsonWidget", "continue", "json:cpu = a.b"}
                                            << "jsonWidget" << "jsonWidget" << "" << "cpu = a.b" << 1;
    QTest::newRow("edits wait for a form") << false << QStringList{"name:A", "json:x = y"} << "" << "" << "" << "" << 0;
    QTest::newRow("editing opens on the source") << true << QStringList{} << "jsonWidget" << "" << "API"
                                                 << "Load = system.load" << 0;
    QTest::newRow("editing never goes back") << true << QStringList{"back", "continue"} << "jsonWidget" << "" << "API"
                                             << "Load = system.load" << 0;
}

void TestSourceFormSession::steps()
{
    QFETCH(bool, editing);
    QFETCH(QStringList, actions);
    QFETCH(QString, form);
    QFETCH(QString, selected);
    QFETCH(QString, name);
    QFETCH(QString, jsonFieldsText);
    QFETCH(int, stepChanges);

    SessionRig rig;
    std::optional<AnySourceConfig> source;
    if (editing)
        source = JSONWidgetConfig(QUuid::createUuid(), QStringLiteral("API"), QStringLiteral("https://api.lan/x"),
                                  std::nullopt, {{QStringLiteral("Load"), QStringLiteral("system.load")}});
    SourceFormSession session(rig.state.get(), source);
    QSignalSpy changes(&session, &SourceFormSession::stepChanged);
    run(session, actions);

    QCOMPARE(session.form() ? SourceFormState::rawValue(session.form()->type) : QString(), form);
    QCOMPARE(rawType(session.selectedType()), selected);
    QCOMPARE(session.form() ? session.form()->displayName : QString(), name);
    QCOMPARE(session.jsonFieldsText(), jsonFieldsText);
    if (session.form())
        QCOMPARE(session.form()->jsonFields, SourceFormState::parseFieldLines(jsonFieldsText));
    else
        QCOMPARE(session.gameSearch(), QString());
    QCOMPARE(changes.size(), stepChanges);
    QCOMPARE(session.saveButtonTitle(), editing ? QStringLiteral("Save Changes") : QStringLiteral("Save Source"));
}

void TestSourceFormSession::testResult_data()
{
    QTest::addColumn<QStringList>("whileTesting");
    QTest::addColumn<QStringList>("afterwards");
    QTest::addColumn<bool>("kept");

    QTest::newRow("left alone") << QStringList{} << QStringList{} << true;
    QTest::newRow("edit that changes nothing") << QStringList{} << QStringList{"name:A"} << true;
    QTest::newRow("edit") << QStringList{} << QStringList{"name:B"} << false;
    QTest::newRow("edit undone") << QStringList{} << QStringList{"name:B", "name:A"} << false;
    // The result describes values the user no longer sees.
    QTest::newRow("edited while testing") << QStringList{"name:B"} << QStringList{} << false;
    QTest::newRow("edited and undone while testing") << QStringList{"name:B", "name:A"} << QStringList{} << false;
    QTest::newRow("back while testing") << QStringList{"back", "select:tcpPort", "continue", "name:A", "host:%HOST"}
                                        << QStringList{} << false;
}

void TestSourceFormSession::testResult()
{
    QFETCH(QStringList, whileTesting);
    QFETCH(QStringList, afterwards);
    QFETCH(bool, kept);

    LocalTCPServer server;
    const QString host = QStringLiteral("127.0.0.1:") + QString::number(server.port());
    whileTesting.replaceInStrings(QStringLiteral("%HOST"), host);
    SessionRig rig;
    SourceFormSession session(rig.state.get());
    run(session, {"select:tcpPort", "continue", "name:A", "host:" + host});
    QVERIFY(session.form()->isValid());

    QSignalSpy finished(&session, &SourceFormSession::connectionTestFinished);
    session.startConnectionTest();
    QVERIFY(session.isTesting());
    run(session, whileTesting);
    QVERIFY(finished.wait(5000));
    QVERIFY(!session.isTesting());
    run(session, afterwards);

    QCOMPARE(session.testPassed(), kept ? std::optional<bool>(true) : std::nullopt);
    QCOMPARE(session.testMessage(), kept ? std::optional<QString>(QStringLiteral("Connected")) : std::nullopt);
    QCOMPARE(finished.size(), 1);
    QVERIFY(rig.state->sources().isEmpty());
}

void TestSourceFormSession::ignoredRequests_data()
{
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<bool>("test"); // a connection test is asked for, else a save

    const QStringList incomplete{"select:tcpPort", "continue", "name:A"};
    QTest::newRow("test without a form") << QStringList{} << true;
    QTest::newRow("save without a form") << QStringList{} << false;
    QTest::newRow("test of an incomplete form") << incomplete << true;
    QTest::newRow("save of an incomplete form") << incomplete << false;
}

void TestSourceFormSession::ignoredRequests()
{
    QFETCH(QStringList, actions);
    QFETCH(bool, test);

    SessionRig rig;
    SourceFormSession session(rig.state.get());
    run(session, actions);
    QSignalSpy testing(&session, &SourceFormSession::testingChanged);
    QSignalSpy saving(&session, &SourceFormSession::savingChanged);
    if (test)
        session.startConnectionTest();
    else
        session.save();
    QVERIFY(!session.isTesting());
    QVERIFY(!session.isSaving());
    QCOMPARE(testing.size() + saving.size(), 0);
    VirtualClock::settle();
    QVERIFY(rig.state->sources().isEmpty());
    QCOMPARE(rig.keyring->writes, 0);
}

void TestSourceFormSession::save_data()
{
    QTest::addColumn<bool>("editing");
    QTest::addColumn<QString>("secret");
    QTest::addColumn<QString>("failure"); // of the keyring's write, empty when it works
    QTest::addColumn<bool>("full");       // the sources file is as large as it may be

    QTest::newRow("adding with a secret") << false << "tok" << "" << false;
    QTest::newRow("editing keeps the stored secret") << true << "" << "" << false;
    QTest::newRow("editing with a new secret") << true << "new" << "" << false;
    QTest::newRow("keyring fails") << false << "tok" << "keyring write failed" << false;
    // Said as the save's own next step.
    QTest::newRow("keyring locked while editing") << true << "new" << "keyring locked: save again and unlock it when asked" << false;
    // Refused before the keyring holds a secret for a source that is not kept.
    QTest::newRow("sources file full") << false << "tok" << "" << true;
    QTest::newRow("sources file full while editing") << true << "new" << "" << true;
    QTest::newRow("sources file full, no new secret") << true << "" << "" << true;
}

void TestSourceFormSession::save()
{
    QFETCH(bool, editing);
    QFETCH(QString, secret);
    QFETCH(QString, failure);
    QFETCH(bool, full);

    SessionRig rig;
    const QUuid id = QUuid::createUuid();
    const BeszelConfig stored(id, QStringLiteral("Hub"), QStringLiteral("https://hub"), QStringLiteral("old-ref"));
    std::optional<AnySourceConfig> source;
    if (editing) {
        test::await(rig.keyring->setSecret(QStringLiteral("old"), QStringLiteral("old-ref")));
        rig.keyring->writes = 0;
        rig.state->addSource(stored);
        source = stored;
    }
    if (full) {
        rig.state->addSource(paddedSource(QUuid::createUuid(), rig.state->sources(), JSONFileStore::maximumFileSize));
        failure = QStringLiteral("Your sources would then need a sources file of ");
    }
    SourceFormSession session(rig.state.get(), source);
    if (!editing)
        run(session, {"select:beszel", "continue", "name:Hub"});
    session.edit([&](SourceFormState &form) {
        form.baseURL = QStringLiteral("https://hub2");
        form.secret = secret;
    });
    if (failure.startsWith(QStringLiteral("keyring locked")))
        rig.keyring->refusal = CredentialError::locked();
    else if (!failure.isEmpty() && !full)
        rig.keyring->failure = failure;
    const QList<AnySourceConfig> sourcesBefore = rig.state->sources();
    const QHash<QString, QString> secretsBefore = rig.keyring->secrets();

    QSignalSpy finished(&session, &SourceFormSession::saveFinished);
    QSignalSpy saving(&session, &SourceFormSession::savingChanged);
    session.save();
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(finished.first().first().toBool(), failure.isEmpty());
    QVERIFY(!session.isSaving());
    QCOMPARE(saving.size(), 2);
    // A locked keyring refuses already the read of the secret that the write would replace.
    const bool refusedFirst = editing && rig.keyring->refusal;
    QCOMPARE(rig.keyring->writes, secret.isEmpty() || full || refusedFirst ? 0 : 1);
    // Saving is the user acting: a keyring that said no is asked again.
    QCOMPARE(rig.keyring->askedAgain, 1);

    if (!failure.isEmpty()) {
        // Nothing is stored, and the reason stays until it has been seen.
        QVERIFY(session.saveError());
        QVERIFY2(full ? session.saveError()->startsWith(failure) : *session.saveError() == failure,
                 qPrintable(*session.saveError()));
        QCOMPARE(rig.state->sources(), sourcesBefore);
        QCOMPARE(rig.keyring->secrets(), secretsBefore);
        QCOMPARE(session.saveButtonTitle(), editing ? QStringLiteral("Save Changes") : QStringLiteral("Save Source"));
        session.dismissSaveError();
        QVERIFY(!session.saveError());
        return;
    }
    QVERIFY(!session.saveError());
    QCOMPARE(rig.state->sources().size(), 1);
    const auto *saved = rig.state->sources().first().get<BeszelConfig>();
    QVERIFY(saved);
    QCOMPARE(saved->baseURL, QStringLiteral("https://hub2"));
    QCOMPARE(saved->id, editing ? id : saved->id);
    QVERIFY(editing || saved->id != id);
    QCOMPARE(saved->tokenRef, editing ? QStringLiteral("old-ref") : QStringLiteral("beszel-") + uuidText(saved->id));
    QCOMPARE(rig.keyring->secrets().value(saved->tokenRef), secret.isEmpty() ? QStringLiteral("old") : secret);
}

void TestSourceFormSession::aCancelledSaveWritesNothing_data()
{
    QTest::addColumn<QString>("source");    // "new", or the edited source: "with secret", "without secret"
    QTest::addColumn<QString>("held");      // the keyring call that keeps the save waiting: "read", "write"
    QTest::addColumn<bool>("cancelled");    // the sheet closes while the keyring has not answered
    QTest::addColumn<QString>("meanwhile"); // "rename", "delete", "save again" (another sheet, with "newer")
    QTest::addColumn<QStringList>("names"); // the sources once the keyring has answered
    QTest::addColumn<QString>("secrets");   // what the keyring holds then, "reference=secret"

    QTest::newRow("adding") << "new" << "write" << true << "" << QStringList{} << "";
    // The configuration captured at Save is never applied over the rename.
    QTest::newRow("renamed meanwhile") << "with secret" << "write" << true << "rename" << QStringList{"Renamed"}
                                       << "old-ref=old";
    QTest::newRow("deleted meanwhile") << "without secret" << "write" << true << "delete" << QStringList{} << "";
    QTest::newRow("deleted meanwhile, with a secret") << "with secret" << "write" << true << "delete"
                                                      << QStringList{} << "";
    QTest::newRow("deleted meanwhile, not cancelled") << "without secret" << "write" << false << "delete"
                                                      << QStringList{} << "";
    // The later save waits for the cancelled one to be taken back, and reads the secret of old.
    QTest::newRow("saved again") << "with secret" << "write" << true << "save again" << QStringList{"Hub"}
                                 << "old-ref=newer";
    QTest::newRow("cancelled while the stored secret is read") << "with secret" << "read" << true << ""
                                                                << QStringList{"Hub"} << "old-ref=old";
}

void TestSourceFormSession::aCancelledSaveWritesNothing()
{
    QFETCH(QString, source);
    QFETCH(QString, held);
    QFETCH(bool, cancelled);
    QFETCH(QString, meanwhile);
    QFETCH(QStringList, names);
    QFETCH(QString, secrets);

    SessionRig rig;
    AppState &state = *rig.state;
    const QUuid id = QUuid::createUuid();
    std::optional<AnySourceConfig> edited;
    if (source == QLatin1String("with secret")) {
        test::await(rig.keyring->setSecret(QStringLiteral("old"), QStringLiteral("old-ref")));
        edited = BeszelConfig(id, QStringLiteral("Hub"), QStringLiteral("https://hub"), QStringLiteral("old-ref"));
    } else if (source == QLatin1String("without secret")) {
        edited = JSONWidgetConfig(id, QStringLiteral("Hub"), QStringLiteral("https://hub/x"), std::nullopt,
                                  {{QStringLiteral("Load"), QStringLiteral("load")}});
    }
    if (edited)
        state.addSource(*edited);
    rig.keyring->writes = 0;
    Completion<Done> release;
    (held == QLatin1String("read") ? rig.keyring->readGate : rig.keyring->gate) = release;

    auto session = std::make_unique<SourceFormSession>(&state, edited);
    if (!edited)
        session->applyExample(SourceFormState::Example::statusPage);
    session->edit([](SourceFormState &form) {
        form.username = QStringLiteral("me");
        form.baseURL += QStringLiteral("/changed");
        form.secret = QStringLiteral("typed");
    });
    QVERIFY(session->hasUnsavedChanges());
    QSignalSpy finished(session.get(), &SourceFormSession::saveFinished);
    session->save();
    QVERIFY(session->isSaving());
    QCOMPARE(session->saveButtonTitle(), QStringLiteral("Saving\u2026"));
    QVERIFY(session->hasUnsavedChanges());
    // A second press while the first save runs stores nothing twice.
    session->save();
    QCOMPARE(rig.keyring->writes, held == QLatin1String("write") ? 1 : 0);
    if (cancelled)
        session.reset();

    std::optional<SourceFormSession> again;
    if (meanwhile == QLatin1String("rename")) {
        BeszelConfig renamed = *edited->get<BeszelConfig>();
        renamed.displayName = QStringLiteral("Renamed");
        state.updateSource(renamed);
    } else if (meanwhile == QLatin1String("delete")) {
        state.deleteSource(id);
    } else if (meanwhile == QLatin1String("save again")) {
        again.emplace(&state, edited);
        again->edit([](SourceFormState &form) { form.secret = QStringLiteral("newer"); });
        again->save();
    }
    release.complete(Done{});
    VirtualClock::settle();
    QTRY_VERIFY(!again || !again->isSaving());
    VirtualClock::settle();

    QStringList namesAfter;
    for (const AnySourceConfig &kept : state.sources())
        namesAfter.append(kept.displayName());
    QCOMPARE(namesAfter, names);
    if (!names.isEmpty() && meanwhile != QLatin1String("rename"))
        QCOMPARE(state.sources().first().get<BeszelConfig>()->baseURL, QStringLiteral("https://hub"));
    QStringList kept;
    const QHash<QString, QString> stored = rig.keyring->secrets();
    for (auto it = stored.cbegin(); it != stored.cend(); ++it)
        kept.append(it.key() + QLatin1Char('=') + it.value());
    QCOMPARE(kept.join(QLatin1Char(',')), secrets);
    if (!cancelled)
        QCOMPARE(finished.size(), 1);
}

void TestSourceFormSession::aSavedSourceIsPolledAtOnce_data()
{
    QTest::addColumn<QString>("secret");
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("paused");
    QTest::addColumn<int>("polls"); // made at once after the save

    QTest::newRow("a new secret only") << "new" << "https://hub" << false << 1;
    // Fixed on the hub's side: the user saves to try again now.
    QTest::newRow("nothing changed") << "" << "https://hub" << false << 1;
    // The changed configuration restarts the source; one poll, not a second on top.
    QTest::newRow("a new secret and address") << "new" << "https://hub2" << false << 1;
    QTest::newRow("paused") << "new" << "https://hub" << true << 0;
}

// A source failing with a back-off waits out no part of it once the user has saved a fix.
void TestSourceFormSession::aSavedSourceIsPolledAtOnce()
{
    QFETCH(QString, secret);
    QFETCH(QString, address);
    QFETCH(bool, paused);
    QFETCH(int, polls);

    SessionRig rig;
    AppState &state = *rig.state;
    const QUuid id = QUuid::createUuid();
    BeszelConfig hub(id, QStringLiteral("Hub"), QStringLiteral("https://hub"), QStringLiteral("hub-token"));
    hub.pollInterval = 10;
    rig.providers.failNext(id, QStringLiteral("401 unauthorised"), 3);
    state.addSource(hub);
    // Polls at 0, 20 and 60 s fail; the next would come at 140 s.
    rig.clock.advance(60);
    QCOMPARE(rig.providers.fetchCount(id), 3);
    QVERIFY(rig.clock.requestedSleeps().contains(80.0));
    if (paused)
        state.setPaused(true);

    SourceFormSession session(&state, hub);
    session.edit([&](SourceFormState &form) {
        form.secret = secret;
        form.baseURL = address;
    });
    QSignalSpy finished(&session, &SourceFormSession::saveFinished);
    session.save();
    QTRY_COMPARE(finished.size(), 1);
    VirtualClock::settle();
    QCOMPARE(rig.providers.fetchCount(id), 3 + polls);
    QCOMPARE(state.error(id) == nullptr, polls > 0);
}

QTEST_GUILESS_MAIN(TestSourceFormSession)
#include "tst_SourceFormSession.moc"
