#include "Marrowick/Shell/QuitQuestion.h"
#include "Marrowick/Style/AlertBox.h"

#include "Editor/EditorRig.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

using namespace marrowick;
using namespace marrowick::test;

namespace {

QList<QMessageBox *> questions()
{
    QList<QMessageBox *> found;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window->objectName() == QLatin1String("quitQuestion") && window->isVisible())
            found.append(qobject_cast<QMessageBox *>(window));
    }
    return found;
}

} // namespace

class TestQuitQuestion : public QObject {
    Q_OBJECT

private slots:
    // Quit from the menu says what it would lose and why, and quits only when told to; with
    // nothing to lose it quits at once. The files are tried once more first.
    void asksWhenSomethingWouldBeLost_data()
    {
        QTest::addColumn<QString>("waiting");   // what is not saved when the user quits
        QTest::addColumn<QString>("answer");    // the button pressed, when asked
        QTest::addColumn<QStringList>("lines"); // what the question says, "%1" the data folder; none: not asked

        const QString sources = QStringLiteral("Your sources could not be saved (Could not save \"%1/sources.json\": "
                                               "File too large), so the changes since their last save would be lost.");
        QTest::newRow("nothing") << "" << "" << QStringList{};
        QTest::newRow("sources, cancelled") << "sources" << "Cancel" << QStringList{sources};
        QTest::newRow("sources, quit anyway") << "sources" << "Quit Anyway" << QStringList{sources};
        QTest::newRow("sources, saved at the last try") << "sources, then room" << "" << QStringList{};
        QTest::newRow("history") << "history" << "Cancel"
                                 << QStringList{"The history could not be saved (Could not save \"%1/history.json\": "
                                                "File too large), so the checks since its last save would be lost."};
        QTest::newRow("an edit in the sheet") << "edit" << "Quit Anyway"
                                              << QStringList{"Your changes to \"Hub\" in the editor are not saved yet."};
        QTest::newRow("a sheet only opened") << "opened" << "" << QStringList{};
        QTest::newRow("a new source") << "new source" << "Cancel"
                                      << QStringList{"The new source \"Web\" in the editor is not saved yet."};
        QTest::newRow("a save waiting for the keyring")
            << "saving" << "Cancel" << QStringList{"\"Hub\" is still being saved: the keyring has not answered yet."};
    }
    void asksWhenSomethingWouldBeLost()
    {
        QFETCH(QString, waiting);
        QFETCH(QString, answer);
        QFETCH(QStringList, lines);

        EditorRig rig;
        AppState &state = rig.buildEditorState();
        const QUuid id = QUuid::createUuid();
        const BeszelConfig hub(id, QStringLiteral("Hub"), QStringLiteral("https://hub"), QStringLiteral("hub-ref"));
        state.addSource(hub);
        std::optional<FileSizeLimit> full;
        if (waiting.startsWith(QLatin1String("sources"))) {
            full.emplace(1);
            state.addSource(tcpSource(QUuid::createUuid(), QStringLiteral("Unsaved")));
            QVERIFY(!state.sourcesSaveError().isEmpty());
            if (waiting.endsWith(QLatin1String("room")))
                full.reset();
        } else if (waiting == QLatin1String("history")) {
            // The first poll of the hub waits for the history's next write, and the disk is full.
            rig.clock.advance(0);
            full.emplace(1);
        } else if (waiting == QLatin1String("edit") || waiting == QLatin1String("opened")) {
            rig.open(hub);
            if (waiting == QLatin1String("edit"))
                rig.type(QStringLiteral("editor.baseURL"), QStringLiteral("https://hub2"));
        } else if (waiting == QLatin1String("new source")) {
            rig.open();
            rig.click(QStringLiteral("editor.type.tcpPort"));
            rig.click(QStringLiteral("editor.next"));
            rig.fill({"name=Web"});
        } else if (waiting == QLatin1String("saving")) {
            rig.keyring->gate = Completion<Done>();
            rig.open(hub);
            rig.type(QStringLiteral("editor.secret"), QStringLiteral("new"));
            rig.click(QStringLiteral("editor.save"));
            QVERIFY(rig.sheet->isSaving());
        }

        QuitQuestion question(&state);
        int quits = 0;
        question.ask([&quits] { ++quits; });
        if (lines.isEmpty()) {
            QCOMPARE(quits, 1);
            QCOMPARE(questions().size(), 0);
            QCOMPARE(SourcesStore::load(rig.folder()), state.sources());
            return;
        }
        // Asked again while it is open, it stays one question.
        question.ask([&quits] { ++quits; });
        QCOMPARE(questions().size(), 1);
        QMessageBox *box = questions().first();
        QCOMPARE(box, question.box());
        QCOMPARE(quits, 0);
        QCOMPARE(box->text(), QStringLiteral("Quit and Lose Unsaved Changes?"));
        QCOMPARE(AlertBox::messageLabel(*box)->text(), lines.join(QLatin1Char('\n')).arg(rig.folder()));
        QCOMPARE(box->defaultButton(), box->button(QMessageBox::Cancel));
        QAbstractButton *pressed = answer == QLatin1String("Cancel")
            ? box->button(QMessageBox::Cancel)
            : box->findChild<QAbstractButton *>(QStringLiteral("quitQuestion.quitAnyway"));
        QCOMPARE(pressed->text(), answer);
        pressed->click();
        QTRY_VERIFY(!question.box());
        QCOMPARE(quits, answer == QLatin1String("Quit Anyway") ? 1 : 0);
        if (rig.keyring->gate)
            rig.keyring->gate->complete(Done{});
    }
};

QTEST_MAIN(TestQuitQuestion)
#include "tst_QuitQuestion.moc"
