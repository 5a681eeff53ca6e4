#include "MarrowickKit/JSONFileStore.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

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

    void filesThatLoadOrAreLeftInPlace_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<std::optional<QString>>("expected");
        QTest::newRow("valid") << QByteArray("{\"name\":\"lab\"}") << std::optional<QString>(QStringLiteral("lab"));
        QTest::newRow("exactly the cap") << paddedDocument(JSONFileStore::maximumFileSize)
                                         << std::optional<QString>(QStringLiteral("padded"));
        QTest::newRow("one byte over") << paddedDocument(JSONFileStore::maximumFileSize + 1) << std::optional<QString>();
        QTest::newRow("far over") << paddedDocument(3 * JSONFileStore::maximumFileSize) << std::optional<QString>();
    }
    void filesThatLoadOrAreLeftInPlace()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(std::optional<QString>, expected);
        write(m_file, bytes);
        QCOMPARE(load(), expected);
        QCOMPARE(QFileInfo(m_file).size(), bytes.size());
        QVERIFY(!QFile::exists(m_quarantine));
    }

    void aMissingFileLoadsNothingAndQuarantinesNothing()
    {
        QCOMPARE(load(), std::nullopt);
        QVERIFY(!QFile::exists(m_quarantine));
    }

    void anUnreadableFileIsLeftAlone()
    {
        QVERIFY(QDir(m_folder->path()).mkdir(QStringLiteral("sources.json")));
        QCOMPARE(load(), std::nullopt);
        QVERIFY(QFileInfo(m_file).isDir());
        QVERIFY(!QFile::exists(m_quarantine));
    }

    void undecodableFilesAreQuarantined_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("not JSON") << QByteArray("name = lab\n");
        QTest::newRow("truncated") << QByteArray("{\"name\":\"la");
        QTest::newRow("wrong shape") << QByteArray("[{\"name\":\"lab\"}]");
        QTest::newRow("wrong member type") << QByteArray("{\"name\":42}");
        QTest::newRow("empty") << QByteArray();
    }
    void undecodableFilesAreQuarantined()
    {
        QFETCH(QByteArray, bytes);
        write(m_quarantine, "older damaged copy");
        write(m_file, bytes);
        QCOMPARE(load(), std::nullopt);
        QVERIFY(!QFile::exists(m_file));
        QCOMPARE(contents(m_quarantine), bytes);
        QCOMPARE(load(), std::nullopt);
        QCOMPARE(contents(m_quarantine), bytes);
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
        QTest::newRow("folder is a file") << QStringLiteral("sources.json/inner.json") << QByteArray("{}");
        QTest::newRow("over the cap") << QStringLiteral("sources.json")
                                      << paddedDocument(JSONFileStore::maximumFileSize + 1);
    }
    void failedSavesLeaveTheOldFile()
    {
        QFETCH(QString, target);
        QFETCH(QByteArray, bytes);
        write(m_file, "{\"name\":\"old\"}");
        QVERIFY(test::thrownBy([&] { JSONFileStore::save(bytes, m_folder->filePath(target)); }));
        QCOMPARE(contents(m_file), QByteArray("{\"name\":\"old\"}"));
        QCOMPARE(QDir(m_folder->path()).entryList(QDir::Files), QStringList{QStringLiteral("sources.json")});
    }
};

QTEST_GUILESS_MAIN(tst_JSONFileStore)
#include "tst_JSONFileStore.moc"
