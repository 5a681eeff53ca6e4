#include "Marrowick/State/SourcesStore.h"
#include "MarrowickKit/Model/JsonReading.h"
#include "MarrowickKit/Model/UuidText.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace marrowick;

namespace {

const QUuid kumaID = parseUuid(u"11111111-1111-1111-1111-111111111111").value();
const QUuid beszelID = parseUuid(u"22222222-2222-2222-2222-222222222222").value();

AnySourceConfig kuma(std::optional<QString> passwordRef)
{
    return KumaConfig(kumaID, QStringLiteral("Kuma"), QStringLiteral("https://kuma.lan/a/b"), QStringLiteral("admin"),
                      std::move(passwordRef), std::nullopt);
}

AnySourceConfig beszel()
{
    return BeszelConfig(beszelID, QStringLiteral("Hub"), QStringLiteral("http://hub.lan"),
                        QStringLiteral("beszel-old"));
}

QSet<QUuid> idsOf(const QList<AnySourceConfig> &sources)
{
    QSet<QUuid> ids;
    for (const AnySourceConfig &source : sources)
        ids.insert(source.id());
    return ids;
}

} // namespace

class TestSourcesStore : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;

    QString path(const QString &name) const { return m_dir->filePath(name); }

private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void encodesSortedPrettyWithEscapedSlashes()
    {
        const QByteArray bytes = SourcesStore::encode({kuma(std::nullopt)});
        QVERIFY(bytes.contains("https:\\/\\/kuma.lan\\/a\\/b"));
        QVERIFY(bytes.contains('\n'));
        const qsizetype alerts = bytes.indexOf("\"alertThreshold\"");
        const qsizetype url = bytes.indexOf("\"baseURL\"");
        const qsizetype name = bytes.indexOf("\"displayName\"");
        QVERIFY(alerts >= 0 && alerts < url && url < name);
        QCOMPARE(sourcesFromJson(parseJsonDocument(bytes)), QList<AnySourceConfig>{kuma(std::nullopt)});
    }

    void savedSourcesLoadBack_data()
    {
        QTest::addColumn<QList<AnySourceConfig>>("sources");
        QTest::newRow("empty") << QList<AnySourceConfig>{};
        QTest::newRow("two kinds") << QList<AnySourceConfig>{kuma(QStringLiteral("kuma-x")), beszel()};
    }
    void savedSourcesLoadBack()
    {
        QFETCH(QList<AnySourceConfig>, sources);
        const QString folder = path(QStringLiteral("created/Marrowick"));
        SourcesStore::save(sources, folder);
        QCOMPARE(SourcesStore::load(folder), sources);
    }

    void unreadableFilesGiveNoSources_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("not JSON") << QByteArray("[{");
        QTest::newRow("not an array") << QByteArray("{}");
        // Moved aside too, so that the next save cannot overwrite it.
        QTest::newRow("over the cap") << QByteArray(SourcesStore::importLimit + 1, ' ');
    }
    void unreadableFilesGiveNoSources()
    {
        QFETCH(QByteArray, bytes);
        QVERIFY(test::writeFile(path(QStringLiteral("sources.json")), bytes));
        QVERIFY(SourcesStore::load(m_dir->path()).isEmpty());
        QCOMPARE(QFile::exists(path(QStringLiteral("sources.json.corrupt"))), true);
        QCOMPARE(QFile::exists(path(QStringLiteral("sources.json"))), false);
    }

    void importGivesFreshIdentities()
    {
        const AnySourceConfig duplicate = TCPPortConfig(kumaID, QStringLiteral("Same id"), QStringLiteral("h"), 22);
        const QString file = path(QStringLiteral("export.json"));
        QVERIFY(test::writeFile(file, SourcesStore::encode({kuma(std::nullopt), beszel(), duplicate})));

        const QList<AnySourceConfig> first = SourcesStore::importSources(file);
        QCOMPARE(first.size(), 2);
        QCOMPARE(first.at(0).displayName(), QStringLiteral("Kuma"));
        QVERIFY(first.at(0).id() != kumaID);
        QCOMPARE(first.at(0).get<KumaConfig>()->passwordRef, std::nullopt);
        QCOMPARE(first.at(1).get<BeszelConfig>()->tokenRef, QStringLiteral("beszel-") + uuidText(first.at(1).id()));

        const QList<AnySourceConfig> second = SourcesStore::importSources(file);
        QVERIFY(!idsOf(first).intersects(idsOf(second)));
        QVERIFY(first.at(1).credentialRef() != second.at(1).credentialRef());
    }

    void freshIdentityRenamesPresentReferencesOnly_data()
    {
        QTest::addColumn<AnySourceConfig>("source");
        QTest::addColumn<QString>("prefix");
        QTest::newRow("kuma with password") << kuma(QStringLiteral("kuma-old")) << QStringLiteral("kuma-");
        QTest::newRow("kuma without") << kuma(std::nullopt) << QString();
        QTest::newRow("game with credential")
            << AnySourceConfig(GameServerConfig(kumaID, QStringLiteral("G"), QStringLiteral("palworld"), QStringLiteral("h"),
                                                8211, std::nullopt, QStringLiteral("old"), false))
            << QStringLiteral("gameServer-");
        QTest::newRow("json with token")
            << AnySourceConfig(JSONWidgetConfig(kumaID, QStringLiteral("J"), QStringLiteral("http://x"), QStringLiteral("old"), {}))
            << QStringLiteral("jsonWidget-");
        QTest::newRow("http ping") << AnySourceConfig(HTTPPingConfig(kumaID, QStringLiteral("P"), QStringLiteral("http://x")))
                                   << QString();
    }
    void freshIdentityRenamesPresentReferencesOnly()
    {
        QFETCH(AnySourceConfig, source);
        QFETCH(QString, prefix);
        const AnySourceConfig fresh = SourcesStore::withFreshIdentity(source);
        QVERIFY(fresh.id() != source.id());
        if (prefix.isEmpty())
            QCOMPARE(fresh.credentialRef(), std::nullopt);
        else
            QCOMPARE(fresh.credentialRef(), prefix + uuidText(fresh.id()));
        QCOMPARE(fresh.displayName(), source.displayName());
        QCOMPARE(fresh.endpoint(), source.endpoint());
    }

    void importRefusesFilesOverTheLimit_data()
    {
        QTest::addColumn<qsizetype>("size");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("exactly 8 MiB") << qsizetype(SourcesStore::importLimit) << true;
        QTest::newRow("one byte more") << qsizetype(SourcesStore::importLimit + 1) << false;
    }
    void importRefusesFilesOverTheLimit()
    {
        QFETCH(qsizetype, size);
        QFETCH(bool, accepted);
        QByteArray bytes = SourcesStore::encode({beszel()});
        bytes.append(QByteArray(size - bytes.size(), ' '));
        const QString file = path(QStringLiteral("big.json"));
        QVERIFY(test::writeFile(file, bytes));
        try {
            QCOMPARE(SourcesStore::importSources(file).size(), 1);
            QVERIFY(accepted);
        } catch (const SourcesFileError &error) {
            QVERIFY(!accepted);
            QCOMPARE(error.kind(), SourcesFileError::Kind::tooLarge);
        }
    }

    void importReportsUnreadableFiles()
    {
        try {
            SourcesStore::importSources(path(QStringLiteral("missing.json")));
            QFAIL("a missing file was imported");
        } catch (const SourcesFileError &error) {
            QCOMPARE(error.kind(), SourcesFileError::Kind::cannotOpen);
        }
        // Neither a folder nor a pipe is opened: a pipe would wait for a writer for ever.
        const QString pipe = path(QStringLiteral("pipe.json"));
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        for (const QString &notAFile : {m_dir->path(), pipe}) {
            try {
                SourcesStore::importSources(notAFile);
                QFAIL("something other than a file was imported");
            } catch (const SourcesFileError &error) {
                QCOMPARE(error.kind(), SourcesFileError::Kind::cannotOpen);
            }
        }
        const QString empty = path(QStringLiteral("empty.json"));
        QVERIFY(test::writeFile(empty, QByteArray()));
        QVERIFY_THROWS_EXCEPTION(JsonDecodeError, SourcesStore::importSources(empty));
    }
};

QTEST_GUILESS_MAIN(TestSourcesStore)
#include "tst_SourcesStore.moc"
