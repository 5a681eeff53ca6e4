#include "MarrowickKit/Engine/JSONFileStore.h"

#include "support/ChildRun.h"
#include "support/StorageFaults.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

#include <csignal>

#include <sys/stat.h>

using namespace marrowick;

namespace {

// Decodes what the tests store: a JSON object with a string "name".
QString decodeName(const QJsonValue &json)
{
    return JsonObjectReader(json, QString()).string(QStringLiteral("name"));
}

// A document of exactly `size` bytes that decodes, padded with white space.
QByteArray paddedDocument(qint64 size)
{
    QByteArray bytes = "{\"name\":\"padded\"}";
    bytes.append(QByteArray(size - bytes.size(), ' '));
    return bytes;
}

// The child's part of the killed save: saves a padded document of the given size to the file.
const QString saveScenario = QStringLiteral("save");

int saveInChild(const QStringList &arguments)
{
    if (arguments.size() != 2)
        return 2;
    try {
        JSONFileStore::save(paddedDocument(arguments.at(1).toLongLong()), arguments.at(0));
    } catch (...) {
    }
    return 0;
}

} // namespace

class tst_JSONFileStore : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_file;
    QString m_quarantine;

    std::optional<QString> load() { return JSONFileStore::load(m_file, m_quarantine, decodeName); }

private slots:
    void init()
    {
        m_folder = std::make_unique<QTemporaryDir>();
        QVERIFY(m_folder->isValid());
        m_file = m_folder->filePath(QStringLiteral("sources.json"));
        m_quarantine = m_folder->filePath(QStringLiteral("sources.json.corrupt"));
    }

    void filesThatLoad_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("valid") << QByteArray("{\"name\":\"lab\"}") << QStringLiteral("lab");
        QTest::newRow("exactly the cap") << paddedDocument(JSONFileStore::maximumFileSize) << QStringLiteral("padded");
    }
    void filesThatLoad()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        QVERIFY(test::writeFile(m_file, bytes));
        QCOMPARE(load(), expected);
        QCOMPARE(QFileInfo(m_file).size(), bytes.size());
        QVERIFY(!QFile::exists(m_quarantine));
    }

    // Nothing that could hold our bytes: left as it is, and a pipe must not block the load.
    void nothingOfOursIsLeftAlone_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("missing") << 0;
        QTest::newRow("folder") << 1;
        QTest::newRow("pipe") << 2;
    }
    void nothingOfOursIsLeftAlone()
    {
        QFETCH(int, kind);
        if (kind == 1)
            QVERIFY(QDir(m_folder->path()).mkdir(QStringLiteral("sources.json")));
        if (kind == 2)
            QCOMPARE(::mkfifo(QFile::encodeName(m_file).constData(), 0600), 0);
        QCOMPARE(load(), std::nullopt);
        QCOMPARE(QFileInfo::exists(m_file), kind != 0);
        QVERIFY(!QFile::exists(m_quarantine));
    }

    // Left in place, such a file would be overwritten by the next save: it is set aside whole,
    // and every earlier copy stays.
    void unusableFilesAreQuarantined_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("what"); // the file's fault, as told
        const QString damaged = QStringLiteral("was damaged");
        QTest::newRow("not JSON") << QByteArray("name = lab\n") << damaged;
        QTest::newRow("truncated") << QByteArray("{\"name\":\"la") << damaged;
        QTest::newRow("wrong shape") << QByteArray("[{\"name\":\"lab\"}]") << damaged;
        QTest::newRow("wrong member type") << QByteArray("{\"name\":42}") << damaged;
        QTest::newRow("empty") << QByteArray() << damaged;
        QTest::newRow("one byte over the cap") << paddedDocument(JSONFileStore::maximumFileSize + 1)
                                               << "is too large (8388609 bytes, over the limit of 8388608 bytes)";
        QTest::newRow("far over the cap") << paddedDocument(3 * JSONFileStore::maximumFileSize)
                                          << "is too large (25165824 bytes, over the limit of 8388608 bytes)";
    }
    void unusableFilesAreQuarantined()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, what);
        QVERIFY(test::writeFile(m_quarantine, "older damaged copy"));
        QVERIFY(test::writeFile(m_file, bytes));
        std::optional<FileProblem> problem;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(
            "^sources\\.json %1\\. Marrowick started without it and kept it as .*/sources\\.json\\.corrupt-2\\.$")
            .arg(QRegularExpression::escape(what))));
        QCOMPARE(JSONFileStore::load(m_file, m_quarantine, decodeName, &problem), std::nullopt);
        QVERIFY(!QFile::exists(m_file));
        QCOMPARE(test::fileBytes(m_quarantine), QByteArray("older damaged copy"));
        QVERIFY(test::fileBytes(m_quarantine + "-2") == bytes);
        QVERIFY(problem);
        QCOMPARE(problem->kind, FileProblem::Kind::setAside);
        QCOMPARE(problem->copy, m_quarantine + "-2");
        QVERIFY(!problem->blocksSaving());

        QCOMPARE(JSONFileStore::load(m_file, m_quarantine, decodeName, &problem), std::nullopt);
        QCOMPARE(problem, std::nullopt);
        QVERIFY(test::writeFile(m_file, "damaged again"));
        QCOMPARE(load(), std::nullopt);
        QCOMPARE(test::fileBytes(m_quarantine + "-3"), QByteArray("damaged again"));
        QVERIFY(test::fileBytes(m_quarantine + "-2") == bytes);
    }

    // A damaged file that stays in use (read as far as it goes) is copied beside earlier copies,
    // once for the same bytes: until it is written again, every start finds it damaged.
    void aFileInUseIsCopiedOncePerDamage()
    {
        QVERIFY(test::writeFile(m_file, "damaged"));
        QVERIFY(test::writeFile(m_quarantine, "an earlier copy"));
        const QString copy = m_quarantine + "-2";
        const QRegularExpression told(QStringLiteral("^sources\\.json was damaged\\. Marrowick read what it could and "
                                                     "kept a copy as .*/sources\\.json\\.corrupt-[23]\\.$"));
        for (int start = 1; start <= 2; ++start) {
            QTest::ignoreMessage(QtWarningMsg, told);
            const FileProblem problem = JSONFileStore::copyAside(m_file, m_quarantine);
            QCOMPARE(problem.kind, FileProblem::Kind::copiedAside);
            QCOMPARE(problem.copy, copy);
            QVERIFY(!problem.blocksSaving());
        }
        QCOMPARE(test::fileBytes(m_file), QByteArray("damaged"));
        QCOMPARE(test::fileBytes(m_quarantine), QByteArray("an earlier copy"));
        QCOMPARE(test::fileBytes(copy), QByteArray("damaged"));
        QCOMPARE(test::modeOf(copy), 0600);

        QVERIFY(test::writeFile(m_file, "damaged again"));
        QTest::ignoreMessage(QtWarningMsg, told);
        QCOMPARE(JSONFileStore::copyAside(m_file, m_quarantine).copy, m_quarantine + "-3");
        QCOMPARE(test::fileBytes(m_quarantine + "-3"), QByteArray("damaged again"));
        QCOMPARE(QDir(m_folder->path()).entryList(QDir::Files).size(), 4); // no temporary left
    }

    // An unreadable file is not damaged: it stays, so that fixing its permissions brings it back.
    void anUnreadableFileIsLeftInPlace()
    {
        QVERIFY(test::writeFile(m_file, "{\"name\":\"lab\"}"));
        std::optional<FileProblem> problem;
        std::optional<QString> loaded = QStringLiteral("not loaded");
        if (!test::withoutReadAccess(m_file, m_folder->path(),
                                     [&] { loaded = JSONFileStore::load(m_file, m_quarantine, decodeName, &problem); }))
            QSKIP("this system cannot make a file unreadable");
        QCOMPARE(loaded, std::nullopt);
        QVERIFY(problem);
        QCOMPARE(problem->kind, FileProblem::Kind::leftInPlace);
        QCOMPARE(problem->text(), QStringLiteral("sources.json could not be read (Permission denied). Marrowick started "
                                                 "without it and leaves it untouched in %1.")
                                      .arg(QDir::toNativeSeparators(m_folder->path())));
        QVERIFY(problem->blocksSaving());
        QVERIFY(!QFile::exists(m_quarantine));
        QCOMPARE(load(), QStringLiteral("lab"));

        QVERIFY(QFile::remove(m_file));
        QVERIFY(!problem->blocksSaving());
    }

    // Others cannot list the folders made for a file; one that was there keeps its mode.
    void saveCreatesMissingFolders()
    {
        QVERIFY(QDir(m_folder->path()).mkdir(QStringLiteral("a"), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                                       | QFileDevice::ExeOwner | QFileDevice::ReadOther
                                                                       | QFileDevice::ExeOther));
        const QString file = m_folder->filePath(QStringLiteral("a/b/c/history.json"));
        JSONFileStore::save("{\"name\":\"new\"}", file);
        QCOMPARE(test::fileBytes(file), QByteArray("{\"name\":\"new\"}"));
        QCOMPARE(test::modeOf(m_folder->filePath(QStringLiteral("a"))), 0705);
        QCOMPARE(test::modeOf(m_folder->filePath(QStringLiteral("a/b"))), 0700);
        QCOMPARE(test::modeOf(m_folder->filePath(QStringLiteral("a/b/c"))), 0700);
    }

    // A link (into a dotfiles folder, say) stays a link; the file it names gets the bytes.
    void saveReplacesTheWholeFile_data()
    {
        QTest::addColumn<bool>("throughLink");
        QTest::newRow("file") << false;
        QTest::newRow("link to a file elsewhere") << true;
    }
    void saveReplacesTheWholeFile()
    {
        QFETCH(bool, throughLink);
        const QString stored = throughLink ? m_folder->filePath(QStringLiteral("dotfiles/sources.json")) : m_file;
        QVERIFY(QDir().mkpath(QFileInfo(stored).path()));
        QVERIFY(test::writeFile(stored, QByteArray(4096, 'x')));
        if (throughLink)
            QVERIFY(QFile::link(stored, m_file));
        JSONFileStore::save("{\"name\":\"new\"}", m_file);
        QCOMPARE(load(), QStringLiteral("new"));
        QCOMPARE(QFileInfo(m_file).isSymLink(), throughLink);
        QCOMPARE(test::fileBytes(stored), QByteArray("{\"name\":\"new\"}"));
        QCOMPARE(QDir(QFileInfo(stored).path()).entryList(QDir::Files), QStringList{QStringLiteral("sources.json")});
    }

    // A save killed midway (here by the file size signal) leaves the old file whole and a
    // temporary that the next start recognises as its own.
    void aKilledSaveLeavesATemporaryTheNextStartRemoves()
    {
        QVERIFY(test::writeFile(m_file, "{\"name\":\"old\"}"));
        const test::ChildRun child = test::runChild(saveScenario, {m_file, QString::number(1 << 20)}, 4096, true);
        QCOMPARE(child.exitStatus, QProcess::CrashExit);
        QCOMPARE(child.exitCode, SIGXFSZ);
        QCOMPARE(test::fileBytes(m_file), QByteArray("{\"name\":\"old\"}"));
        QCOMPARE(QDir(m_folder->path()).entryList(QDir::Files).size(), 2);

        AtomicFile::removeLeftoverTemporaries(m_file);
        QCOMPARE(QDir(m_folder->path()).entryList(QDir::Files), QStringList{QStringLiteral("sources.json")});
    }

    // A failed save leaves the old file and no temporary. A file size limit stands in for a full
    // disk anywhere; the real small file system needs root to mount and skips without it.
    void failedSavesLeaveTheOldFile_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qint64>("room"); // bytes left before the disk is full; 0 with the limit: none
        QTest::addColumn<bool>("realDisk");
        QTest::addColumn<QString>("cause"); // what the error says, where it is certain
        const QString file = QStringLiteral("sources.json");
        const QString noSpace = QStringLiteral("No space left on device");
        QTest::newRow("folder is a file") << QStringLiteral("sources.json/inner.json") << QByteArray("{}") << qint64(0)
                                          << false << QStringLiteral("Not a directory");
        QTest::newRow("over the cap") << file << paddedDocument(JSONFileStore::maximumFileSize + 1) << qint64(0)
                                      << false << QString();
        QTest::newRow("disk full mid-write") << file << paddedDocument(1 << 20) << qint64(64 * 1024) << false
                                             << QString();
        // Small saves sit in QSaveFile's buffer until commit, which hides a failed last flush.
        QTest::newRow("disk full within the buffer") << file << paddedDocument(6000) << qint64(4096) << false
                                                     << QString();
        QTest::newRow("disk full at the first byte") << file << paddedDocument(100) << qint64(1) << false << QString();
        QTest::newRow("real disk, no room, small save") << file << paddedDocument(500) << qint64(0) << true << noSpace;
        QTest::newRow("real disk, one page, buffered save") << file << paddedDocument(6000) << qint64(4096) << true
                                                            << noSpace;
        QTest::newRow("real disk, one page, large save") << file << paddedDocument(40000) << qint64(4096) << true
                                                         << noSpace;
    }
    void failedSavesLeaveTheOldFile()
    {
        QFETCH(QString, target);
        QFETCH(QByteArray, bytes);
        QFETCH(qint64, room);
        QFETCH(bool, realDisk);
        QFETCH(QString, cause);
        std::optional<test::SmallFilesystem> disk;
        QString folder = m_folder->path();
        if (realDisk) {
            disk.emplace(64 * 1024);
            if (!disk->isMounted())
                QSKIP("mounting a small file system needs root");
            folder = disk->path();
        }
        const QString file = QDir(folder).filePath(QStringLiteral("sources.json"));
        QVERIFY(test::writeFile(file, "{\"name\":\"old\"}"));
        if (realDisk)
            QVERIFY(disk->fill(room));
        std::exception_ptr error;
        {
            const test::FileSizeLimit limit(realDisk ? 0 : room);
            error = test::thrownBy([&] { JSONFileStore::save(bytes, QDir(folder).filePath(target)); });
        }
        QVERIFY(error);
        const QString text = test::errorText([&] { std::rethrow_exception(error); });
        QVERIFY2(text.contains(cause), qPrintable(text));
        QCOMPARE(test::fileBytes(file), QByteArray("{\"name\":\"old\"}"));
        const QStringList left = realDisk ? QStringList{QStringLiteral("filler"), QStringLiteral("sources.json")}
                                          : QStringList{QStringLiteral("sources.json")};
        QCOMPARE(QDir(folder).entryList(QDir::Files), left);
    }

    void savedFilesAreOwnerOnly_data()
    {
        QTest::addColumn<int>("before"); // the mode of the file replaced; -1: none
        QTest::newRow("new file") << -1;
        QTest::newRow("replacing a world-readable file") << 0644;
        QTest::newRow("replacing a world-writable file") << 0666;
    }
    void savedFilesAreOwnerOnly()
    {
        QFETCH(int, before);
        if (before >= 0) {
            QVERIFY(test::writeFile(m_file, "{}"));
            QCOMPARE(::chmod(QFile::encodeName(m_file).constData(), mode_t(before)), 0);
        }
        JSONFileStore::save("{\"name\":\"new\"}", m_file);
        QCOMPARE(test::modeOf(m_file), 0600);
        QCOMPARE(load(), QStringLiteral("new"));
    }
};

int main(int argc, char *argv[])
{
    return test::runTestsOrChild<tst_JSONFileStore>(argc, argv, saveScenario, saveInChild);
}

#include "tst_JSONFileStore.moc"
