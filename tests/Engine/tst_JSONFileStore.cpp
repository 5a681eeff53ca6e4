#include "MarrowickKit/Engine/JSONFileStore.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace marrowick;

namespace {

// Decodes what the tests store: a JSON object with a string "name".
QString decodeName(const QJsonValue &json)
{
    return JsonObjectReader(json, QString()).string(QStringLiteral("name"));
}

void write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A document of exactly `size` bytes that decodes, padded with white space.
QByteArray paddedDocument(qint64 size)
{
    QByteArray bytes = "{\"name\":\"padded\"}";
    bytes.append(QByteArray(size - bytes.size(), ' '));
    return bytes;
}

// Makes writes past `bytes` fail as on a full disk (EFBIG instead of a signal) while it lives.
class FileSizeLimit {
public:
    explicit FileSizeLimit(qint64 bytes)
    {
        if (bytes <= 0)
            return;
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = rlim_t(bytes);
        m_active = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        if (!m_active)
            return;
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = SIG_DFL;
    bool m_active = false;
};

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
        write(m_file, bytes);
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

    // Left in place, such a file would be overwritten by the next save: it is set aside whole.
    void unusableFilesAreQuarantined_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("not JSON") << QByteArray("name = lab\n");
        QTest::newRow("truncated") << QByteArray("{\"name\":\"la");
        QTest::newRow("wrong shape") << QByteArray("[{\"name\":\"lab\"}]");
        QTest::newRow("wrong member type") << QByteArray("{\"name\":42}");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("one byte over the cap") << paddedDocument(JSONFileStore::maximumFileSize + 1);
        QTest::newRow("far over the cap") << paddedDocument(3 * JSONFileStore::maximumFileSize);
    }
    void unusableFilesAreQuarantined()
    {
        QFETCH(QByteArray, bytes);
        write(m_quarantine, "older damaged copy");
        write(m_file, bytes);
        QCOMPARE(load(), std::nullopt);
        QVERIFY(!QFile::exists(m_file));
        QVERIFY(contents(m_quarantine) == bytes);
        QCOMPARE(load(), std::nullopt);
        QVERIFY(contents(m_quarantine) == bytes);
    }

    void anUnreadableFileIsQuarantined()
    {
        if (::geteuid() == 0)
            QSKIP("root reads every file");
        write(m_file, "{\"name\":\"lab\"}");
        QVERIFY(QFile::setPermissions(m_file, QFileDevice::WriteOwner));
        QCOMPARE(load(), std::nullopt);
        QVERIFY(!QFile::exists(m_file));
        QVERIFY(QFile::setPermissions(m_quarantine, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QCOMPARE(contents(m_quarantine), QByteArray("{\"name\":\"lab\"}"));
    }

    void saveCreatesMissingFolders()
    {
        const QString file = m_folder->filePath(QStringLiteral("a/b/c/history.json"));
        JSONFileStore::save("{\"name\":\"new\"}", file);
        QCOMPARE(contents(file), QByteArray("{\"name\":\"new\"}"));
    }

    void saveReplacesTheWholeFile()
    {
        write(m_file, QByteArray(4096, 'x'));
        JSONFileStore::save("{\"name\":\"new\"}", m_file);
        QCOMPARE(load(), QStringLiteral("new"));
        QCOMPARE(QDir(m_folder->path()).entryList(QDir::Files), QStringList{QStringLiteral("sources.json")});
    }

    void failedSavesLeaveTheOldFile_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qint64>("diskRoom"); // bytes a file may grow to before the disk is full; 0: no limit
        QTest::newRow("folder is a file") << QStringLiteral("sources.json/inner.json") << QByteArray("{}") << qint64(0);
        QTest::newRow("over the cap") << QStringLiteral("sources.json")
                                      << paddedDocument(JSONFileStore::maximumFileSize + 1) << qint64(0);
        QTest::newRow("disk full mid-write") << QStringLiteral("sources.json") << paddedDocument(1 << 20)
                                             << qint64(64 * 1024);
    }
    void failedSavesLeaveTheOldFile()
    {
        QFETCH(QString, target);
        QFETCH(QByteArray, bytes);
        QFETCH(qint64, diskRoom);
        write(m_file, "{\"name\":\"old\"}");
        std::exception_ptr error;
        {
            const FileSizeLimit limit(diskRoom);
            error = test::thrownBy([&] { JSONFileStore::save(bytes, m_folder->filePath(target)); });
        }
        QVERIFY(error);
        QCOMPARE(contents(m_file), QByteArray("{\"name\":\"old\"}"));
        QCOMPARE(QDir(m_folder->path()).entryList(QDir::Files), QStringList{QStringLiteral("sources.json")});
    }
};

QTEST_GUILESS_MAIN(tst_JSONFileStore)
#include "tst_JSONFileStore.moc"
