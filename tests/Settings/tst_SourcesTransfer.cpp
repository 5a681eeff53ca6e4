#include "Marrowick/Settings/SourcesTransfer.h"
#include "Marrowick/State/SourcesStore.h"
#include "MarrowickKit/Async/Completion.h"
#include "MarrowickKit/Engine/JSONFileStore.h"
#include "MarrowickKit/Model/JsonWriter.h"
#include "MarrowickKit/Model/UuidText.h"

#include "State/AppStateRig.h"
#include "support/ScriptedCredentialStore.h"
#include "support/StorageFaults.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <sys/stat.h>

using namespace marrowick;

namespace {

AnySourceConfig hub(const QString &name)
{
    const QUuid id = QUuid::createUuid();
    return BeszelConfig(id, name, QStringLiteral("https://hub.lab"), QStringLiteral("beszel-") + uuidText(id));
}

SourcesTransfer::PickOpenFile opening(std::optional<QString> path)
{
    return [path] { return path; };
}

} // namespace

class TestSourcesTransfer : public QObject {
    Q_OBJECT

    std::unique_ptr<test::AppStateRig> m_rig;
    std::shared_ptr<test::ScriptedCredentialStore> m_secrets;
    std::unique_ptr<QTemporaryDir> m_files;

    AppState &state() { return *m_rig->state; }
    QString storedSources() const { return m_rig->folder() + QStringLiteral("/sources.json"); }
    QString file(const QString &name) const { return m_files->filePath(name); }

private slots:
    void init()
    {
        m_files = std::make_unique<QTemporaryDir>();
        m_rig = std::make_unique<test::AppStateRig>();
        m_secrets = std::make_shared<test::ScriptedCredentialStore>();
        m_rig->credentials = m_secrets;
        m_rig->build(true);
    }

    void cleanup()
    {
        m_rig.reset();
        m_secrets.reset();
        m_files.reset();
    }

    void exportTargets_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("written");
        QTest::newRow("new file") << "new" << true;
        QTest::newRow("over an older export") << "existing" << true;
        QTest::newRow("inside a file") << "under file" << false;
        QTest::newRow("disk full") << "full" << false;
        QTest::newRow("cancelled") << "cancelled" << false;
    }

    void exportTargets()
    {
        QFETCH(QString, kind);
        QFETCH(bool, written);
        state().addSource(hub(QStringLiteral("Hub")));
        state().addSource(HTTPPingConfig(QUuid::createUuid(), QStringLiteral("Site"), QStringLiteral("https://site.lab")));
        std::optional<QString> path = file(QStringLiteral("out.json"));
        if (kind == "existing")
            QVERIFY(test::writeFile(*path, "an older, longer export that must not leave a tail behind"));
        else if (kind == "under file") {
            QVERIFY(test::writeFile(file(QStringLiteral("plain")), "x"));
            path = file(QStringLiteral("plain/out.json"));
        } else if (kind == "cancelled")
            path.reset();

        SourcesTransfer transfer(&state());
        QSignalSpy reported(&transfer, &SourcesTransfer::reported);
        QString suggested;
        {
            const test::FileSizeLimit full(kind == "full" ? 1 : 0);
            transfer.exportSources([&](const QString &name) {
                suggested = name;
                return path;
            });
        }
        QCOMPARE(suggested, QStringLiteral("marrowick-sources.json"));
        if (written) {
            QCOMPARE(reported.size(), 0);
            QCOMPARE(test::fileBytes(*path), test::fileBytes(storedSources()));
            QCOMPARE(QFile::permissions(*path), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                    | QFileDevice::ReadUser | QFileDevice::WriteUser);
        } else if (kind == "cancelled") {
            QCOMPARE(reported.size(), 0);
        } else {
            QCOMPARE(reported.size(), 1);
            const auto message = reported.first().first().value<MessageAlert>();
            QCOMPARE(message.title, QStringLiteral("Export Failed"));
            QVERIFY(!message.body.isEmpty());
            QVERIFY(!QFile::exists(*path));
        }
    }

    void importReplacesAfterConfirmation()
    {
        state().addSource(hub(QStringLiteral("Hub")));
        state().addSource(HTTPPingConfig(QUuid::createUuid(), QStringLiteral("Site"), QStringLiteral("https://site.lab")));
        const QList<AnySourceConfig> before = state().sources();
        SourcesTransfer transfer(&state());
        transfer.exportSources([&](const QString &) { return std::optional(file(QStringLiteral("out.json"))); });

        QSignalSpy confirming(&transfer, &SourcesTransfer::confirmationNeeded);
        QSignalSpy reported(&transfer, &SourcesTransfer::reported);
        transfer.importSources(opening(file(QStringLiteral("out.json"))));
        QCOMPARE(confirming.size(), 1);
        QCOMPARE(transfer.pendingImport()->size(), 2);
        QCOMPARE(transfer.replaceConfirmationMessage(),
                 QStringLiteral("Marrowick deletes 2 sources and adds 2 sources from the file."));
        QCOMPARE(state().sources(), before);

        transfer.replaceSourcesWithPendingImport();
        QTRY_COMPARE(reported.size(), 1);
        QVERIFY(!transfer.pendingImport());
        QCOMPARE(state().sources().size(), 2);
        for (int i = 0; i < 2; ++i) {
            QVERIFY(state().sources()[i].id() != before[i].id());
            QCOMPARE(state().sources()[i].displayName(), before[i].displayName());
            QCOMPARE(state().sources()[i].endpoint(), before[i].endpoint());
        }
        QCOMPARE(*state().sources()[0].credentialRef(), QStringLiteral("beszel-") + uuidText(state().sources()[0].id()));
        const auto message = reported.first().first().value<MessageAlert>();
        QCOMPARE(message.title, QStringLiteral("Import Complete"));
        QCOMPARE(message.body, QStringLiteral("Marrowick now polls 2 sources. Open each of these sources and "
                                              "enter its password or token again: Hub."));

        // A second answer to the same question replaces nothing more.
        transfer.replaceSourcesWithPendingImport();
        m_rig->clock.settle();
        QCOMPARE(reported.size(), 1);
    }

    void cancelledImportChangesNothing()
    {
        const AnySourceConfig kept = hub(QStringLiteral("Hub"));
        test::await(m_secrets->setSecret(QStringLiteral("token"), *kept.credentialRef()));
        state().addSource(kept);
        state().addSource(test::tcpSource(QUuid::createUuid()));
        m_rig->clock.advance(0);
        const QByteArray sources = test::fileBytes(storedSources());
        const auto secrets = m_secrets->secrets();
        const auto history = state().historyRecorder()->current();
        const auto latencies = state().latencyHistory();

        QVERIFY(test::writeFile(file(QStringLiteral("in.json")),
                  SourcesStore::encode({test::tcpSource(QUuid::createUuid(), QStringLiteral("New"))})));
        SourcesTransfer transfer(&state());
        QSignalSpy reported(&transfer, &SourcesTransfer::reported);
        transfer.importSources(opening(file(QStringLiteral("in.json"))));
        QCOMPARE(transfer.replaceConfirmationMessage(),
                 QStringLiteral("Marrowick deletes 2 sources and adds 1 source from the file."));
        transfer.cancelPendingImport();
        transfer.replaceSourcesWithPendingImport();
        m_rig->clock.settle();

        QVERIFY(!transfer.pendingImport());
        QCOMPARE(reported.size(), 0);
        QCOMPARE(test::fileBytes(storedSources()), sources);
        QCOMPARE(m_secrets->secrets(), secrets);
        QVERIFY(state().historyRecorder()->current() == history);
        QCOMPARE(state().latencyHistory(), latencies);
    }

    void importFailures_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("body");
        const QString unreadable = QStringLiteral("Marrowick cannot read that file as a sources file.");
        QTest::newRow("missing") << "missing" << unreadable;
        QTest::newRow("not JSON") << "text" << unreadable;
        QTest::newRow("over 8 MiB") << "large" << unreadable;
        QTest::newRow("a folder") << "folder" << unreadable;
        QTest::newRow("a pipe") << "fifo" << unreadable;
        QTest::newRow("empty array") << "empty" << QStringLiteral("That file holds no source.");
        QTest::newRow("cancelled") << "cancelled" << QString();
    }

    void importFailures()
    {
        QFETCH(QString, kind);
        QFETCH(QString, body);
        state().addSource(test::tcpSource(QUuid::createUuid()));
        const QByteArray sources = test::fileBytes(storedSources());
        std::optional<QString> path = file(QStringLiteral("in.json"));
        if (kind == "text")
            QVERIFY(test::writeFile(*path, "these are my sources"));
        else if (kind == "large")
            QVERIFY(test::writeFile(*path, "[" + QByteArray(SourcesStore::importLimit, ' ') + "]"));
        else if (kind == "folder")
            QDir().mkpath(*path);
        else if (kind == "fifo")
            QCOMPARE(mkfifo(QFile::encodeName(*path).constData(), 0600), 0);
        else if (kind == "empty")
            QVERIFY(test::writeFile(*path, "[]"));
        else if (kind == "cancelled")
            path.reset();

        SourcesTransfer transfer(&state());
        QSignalSpy reported(&transfer, &SourcesTransfer::reported);
        QSignalSpy confirming(&transfer, &SourcesTransfer::confirmationNeeded);
        transfer.importSources(opening(path));
        QCOMPARE(confirming.size(), 0);
        QVERIFY(!transfer.pendingImport());
        QCOMPARE(reported.size(), body.isEmpty() ? 0 : 1);
        if (!body.isEmpty()) {
            const auto message = reported.first().first().value<MessageAlert>();
            QCOMPARE(message.title, QStringLiteral("Import Failed"));
            QCOMPARE(message.body, body);
        }
        QCOMPARE(test::fileBytes(storedSources()), sources);
    }

    // An import is judged by the sources file it makes, larger than the compact file it may come
    // from: one that could never be saved is refused before it replaces anything.
    void importsAreJudgedByTheFileTheyMake_data()
    {
        QTest::addColumn<qint64>("size"); // of the sources file the import makes
        QTest::newRow("at the limit") << JSONFileStore::maximumFileSize;
        QTest::newRow("a byte over") << JSONFileStore::maximumFileSize + 1;
    }
    void importsAreJudgedByTheFileTheyMake()
    {
        QFETCH(qint64, size);
        state().addSource(test::tcpSource(QUuid::createUuid()));
        const QList<AnySourceConfig> before = state().sources();
        const QByteArray stored = test::fileBytes(storedSources());
        const QByteArray compact =
            writeJson(sourcesToJson({test::paddedSource(QUuid::createUuid(), {}, size)}), JsonStyle::compact);
        QVERIFY(compact.size() <= SourcesStore::importLimit);
        QVERIFY(test::writeFile(file(QStringLiteral("in.json")), compact));

        SourcesTransfer transfer(&state());
        QSignalSpy reported(&transfer, &SourcesTransfer::reported);
        QSignalSpy confirming(&transfer, &SourcesTransfer::confirmationNeeded);
        transfer.importSources(opening(file(QStringLiteral("in.json"))));
        if (size > JSONFileStore::maximumFileSize) {
            QCOMPARE(confirming.size(), 0);
            QVERIFY(!transfer.pendingImport());
            QCOMPARE(reported.size(), 1);
            const auto message = reported.first().first().value<MessageAlert>();
            QCOMPARE(message.title, QStringLiteral("Import Failed"));
            QCOMPARE(message.body, QStringLiteral("Your sources would then need a sources file of 8388609 bytes, over "
                                                  "the limit of 8388608 bytes, so they could not be saved. Nothing was "
                                                  "changed."));
            QCOMPARE(state().sources(), before);
            QCOMPARE(test::fileBytes(storedSources()), stored);
            return;
        }
        QCOMPARE(confirming.size(), 1);
        transfer.replaceSourcesWithPendingImport();
        QTRY_COMPARE(reported.size(), 1);
        QCOMPARE(reported.first().first().value<MessageAlert>().title, QStringLiteral("Import Complete"));
        QCOMPARE(test::fileBytes(storedSources()).size(), size);
        QCOMPARE(SourcesStore::load(m_rig->folder()), state().sources());
    }

    // Imported sources keep no secret of their own; the report names those still without one.
    void secretLookUp_data()
    {
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QStringList>("failing");
        QTest::addColumn<QString>("body");
        const QString intro = QStringLiteral("Marrowick now polls 3 sources.");
        const QString again = QStringLiteral(" Open each of these sources and enter its password or token again: ");
        QTest::newRow("all stored") << QStringList{"Hub A", "Hub B"} << QStringList() << intro;
        QTest::newRow("one missing") << QStringList{"Hub A"} << QStringList() << intro + again + "Hub B.";
        QTest::newRow("none stored") << QStringList() << QStringList() << intro + again + "Hub A, Hub B.";
        QTest::newRow("store fails") << QStringList{"Hub B"} << QStringList{"Hub A"} << intro + again + "Hub A.";
        QTest::newRow("store fails for all") << QStringList() << QStringList{"Hub A", "Hub B"}
                                             << intro + again + "Hub A, Hub B.";
    }

    void secretLookUp()
    {
        QFETCH(QStringList, stored);
        QFETCH(QStringList, failing);
        QFETCH(QString, body);
        QVERIFY(test::writeFile(file(QStringLiteral("in.json")),
                  SourcesStore::encode({hub(QStringLiteral("Hub A")), test::tcpSource(QUuid::createUuid(), "Web"),
                                        hub(QStringLiteral("Hub B"))})));
        SourcesTransfer transfer(&state());
        QSignalSpy reported(&transfer, &SourcesTransfer::reported);
        transfer.importSources(opening(file(QStringLiteral("in.json"))));
        QVERIFY(transfer.pendingImport());
        for (const AnySourceConfig &source : *transfer.pendingImport()) {
            if (stored.contains(source.displayName()))
                test::await(m_secrets->setSecret(QStringLiteral("secret"), *source.credentialRef()));
            if (failing.contains(source.displayName()))
                m_secrets->failingReads.insert(*source.credentialRef());
        }
        transfer.replaceSourcesWithPendingImport();
        QTRY_COMPARE(reported.size(), 1);
        const auto message = reported.first().first().value<MessageAlert>();
        QCOMPARE(message.title, QStringLiteral("Import Complete"));
        QCOMPARE(message.body, body);
    }

    void ownerGoneDuringLookUp()
    {
        QVERIFY(test::writeFile(file(QStringLiteral("in.json")), SourcesStore::encode({hub(QStringLiteral("Hub"))})));
        auto transfer = std::make_unique<SourcesTransfer>(&state());
        transfer->importSources(opening(file(QStringLiteral("in.json"))));
        const Completion<Done> gate;
        m_secrets->readGate = gate;
        transfer->replaceSourcesWithPendingImport();
        QCOMPARE(state().sources().size(), 1);
        transfer.reset();
        gate.complete({});
        m_rig->clock.settle();
        QCOMPARE(state().sources().size(), 1);
        QCOMPARE(state().sources()[0].displayName(), QStringLiteral("Hub"));
    }
};

QTEST_MAIN(TestSourcesTransfer)
#include "tst_SourcesTransfer.moc"
