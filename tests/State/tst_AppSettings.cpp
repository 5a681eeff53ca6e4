#include "Marrowick/State/AppSettings.h"

#include "support/StorageFaults.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

#include <sys/stat.h>

using namespace marrowick;

using BoolGetter = std::function<bool(const AppSettings &)>;
using BoolSetter = std::function<void(AppSettings &, bool)>;
Q_DECLARE_METATYPE(BoolGetter)
Q_DECLARE_METATYPE(BoolSetter)

class TestAppSettings : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_fileNumber = 0;

    QString newPath() { return m_dir.filePath(QStringLiteral("settings-%1.ini").arg(++m_fileNumber)); }

    static std::unique_ptr<AppSettings> open(const QString &path)
    {
        return std::make_unique<AppSettings>(std::make_unique<QSettings>(path, QSettings::IniFormat));
    }

    static void addBooleanKeys()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("fallback");
        QTest::addColumn<BoolGetter>("get");
        QTest::addColumn<BoolSetter>("set");
        const auto row = [](const QString &key, bool fallback, BoolGetter get, BoolSetter set) {
            QTest::newRow(qPrintable(key)) << key << fallback << get << set;
        };
        row(SettingsKey::launchAtLogin, false, &AppSettings::launchAtLogin, &AppSettings::setLaunchAtLogin);
        row(SettingsKey::globalQuiet, false, &AppSettings::globalQuiet, &AppSettings::setGlobalQuiet);
        row(SettingsKey::soundAlerts, true, &AppSettings::soundAlerts, &AppSettings::setSoundAlerts);
        row(SettingsKey::notifyOnRecovery, true, &AppSettings::notifyOnRecovery, &AppSettings::setNotifyOnRecovery);
        row(SettingsKey::showSparklines, true, &AppSettings::showSparklines, &AppSettings::setShowSparklines);
        row(SettingsKey::compactMode, false, &AppSettings::compactMode, &AppSettings::setCompactMode);
        row(SettingsKey::onboardingCompleted, false, &AppSettings::onboardingCompleted,
            &AppSettings::setOnboardingCompleted);
    }

private slots:
    void booleanKeysReadTheirDefaultUnlessABooleanIsStored_data() { addBooleanKeys(); }
    void booleanKeysReadTheirDefaultUnlessABooleanIsStored()
    {
        QFETCH(QString, key);
        QFETCH(bool, fallback);
        QFETCH(BoolGetter, get);
        const QString path = newPath();
        QCOMPARE(get(*open(path)), fallback);
        // Hand-edited values that are not the two Boolean texts.
        for (const QVariant &notBoolean : {QVariant("yes"), QVariant("1"), QVariant("TRUE"), QVariant(""), QVariant(7)}) {
            {
                QSettings raw(path, QSettings::IniFormat);
                raw.setValue(key, notBoolean);
            }
            QCOMPARE(get(*open(path)), fallback);
        }
        for (const bool stored : {true, false}) {
            {
                QSettings raw(path, QSettings::IniFormat);
                raw.setValue(key, stored);
            }
            QCOMPARE(get(*open(path)), stored);
        }
    }

    // The settings say which servers the user watches: readable by the owner only, also after
    // QSettings has replaced the file, and also for a file an older version left world-readable.
    void theFileIsOwnerOnly_data()
    {
        QTest::addColumn<int>("before"); // mode of an existing file; -1: none
        QTest::newRow("new file") << -1;
        QTest::newRow("world-readable file") << 0644;
    }
    void theFileIsOwnerOnly()
    {
        QFETCH(int, before);
        const QString path = m_dir.filePath(QStringLiteral("private/settings.ini"));
        if (before >= 0) {
            QSettings raw(path, QSettings::IniFormat);
            raw.setValue(SettingsKey::accentHex, QStringLiteral("#000000"));
            raw.sync();
            QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode_t(before)), 0);
        }
        {
            auto settings = open(path);
            settings->setCompactMode(true);
            settings->sync();
        }
        QCOMPARE(test::modeOf(path), 0600);
        QCOMPARE(open(path)->compactMode(), true);
        QVERIFY(QFile::remove(path));
    }

    void changedFiresOnlyWhenTheReadValueChanges_data() { addBooleanKeys(); }
    void changedFiresOnlyWhenTheReadValueChanges()
    {
        QFETCH(QString, key);
        QFETCH(bool, fallback);
        QFETCH(BoolGetter, get);
        QFETCH(BoolSetter, set);
        auto settings = open(newPath());
        QSignalSpy spy(settings.get(), &AppSettings::changed);
        set(*settings, fallback);
        QCOMPARE(spy.count(), 0);
        set(*settings, !fallback);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toString(), key);
        QCOMPARE(get(*settings), !fallback);
        set(*settings, !fallback);
        QCOMPARE(spy.count(), 1);
    }

    void valuesSurviveReopening()
    {
        const QString path = newPath();
        {
            auto settings = open(path);
            settings->setSoundAlerts(false);
            settings->setAccentHex(QStringLiteral("#FF0000"));
            settings->setWidgetLayoutData(QByteArray("{\"order\":[]}"));
            settings->sync();
        }
        auto settings = open(path);
        QCOMPARE(settings->soundAlerts(), false);
        QCOMPARE(settings->accentHex(), QStringLiteral("#FF0000"));
        QCOMPARE(settings->widgetLayoutData(), std::optional<QByteArray>("{\"order\":[]}"));
    }

    // A write that fails is told once with its reason, stays in effect, and lands with the
    // next write once there is room; without room at quit, the loss is logged.
    void aFailedWriteIsToldAndRetried_data()
    {
        QTest::addColumn<bool>("realDisk"); // else a file size limit
        QTest::addColumn<bool>("roomAtQuit");
        QTest::addColumn<QString>("reason");
        QTest::newRow("limit") << false << true << "the file could not be written";
        QTest::newRow("limit, none at quit") << false << false << "the file could not be written";
        QTest::newRow("real disk") << true << true << "No space left on device";
        QTest::newRow("real disk, none at quit") << true << false << "No space left on device";
    }
    void aFailedWriteIsToldAndRetried()
    {
        QFETCH(bool, realDisk);
        QFETCH(bool, roomAtQuit);
        QFETCH(QString, reason);
        std::optional<test::SmallFilesystem> disk;
        QString path = newPath();
        if (realDisk) {
            disk.emplace(64 * 1024);
            if (!disk->isMounted())
                QSKIP("mounting a small file system needs root");
            path = disk->path() + QStringLiteral("/settings.ini");
        }
        auto settings = open(path);
        settings->setAccentHex(QStringLiteral("#FF0000"));
        QSignalSpy told(settings.get(), &AppSettings::writeErrorChanged);
        std::optional<test::FileSizeLimit> limit;
        if (realDisk)
            QVERIFY(disk->fill(0));
        else
            limit.emplace(1);

        settings->setCompactMode(true);
        settings->setSoundAlerts(false);
        QCOMPARE(told.size(), 1);
        QCOMPARE(settings->writeError(), QStringLiteral("Could not save \"%1\": %2").arg(path, reason));
        QVERIFY(settings->unsavedText().contains(settings->writeError()));
        QCOMPARE(settings->compactMode(), true);

        if (roomAtQuit) {
            limit.reset();
            QVERIFY(!realDisk || disk->release());
            settings->setGlobalQuiet(true);
            QCOMPARE(settings->writeError(), QString());
            QCOMPARE(told.size(), 2);
        } else {
            QTest::ignoreMessage(QtWarningMsg, qPrintable(QStringLiteral("Marrowick quits with unsaved settings: ")
                                                              + settings->writeError()));
        }
        settings.reset();
        // What the next start reads; another object here would share this process's cache.
        const QByteArray stored = test::fileBytes(path);
        QVERIFY(stored.contains("accentHex=#FF0000"));
        QCOMPARE(stored.contains("compactMode=true"), roomAtQuit);
        QCOMPARE(stored.contains("soundAlerts=false"), roomAtQuit);
    }

    void accentHexKeepsAnyTextAndSignalsChanges()
    {
        auto settings = open(newPath());
        QCOMPARE(settings->accentHex(), QStringLiteral("#8BB8E8"));
        QSignalSpy spy(settings.get(), &AppSettings::changed);
        settings->setAccentHex(QStringLiteral("#8BB8E8"));
        QCOMPARE(spy.count(), 0);
        settings->setAccentHex(QStringLiteral("not a colour"));
        QCOMPARE(settings->accentHex(), QStringLiteral("not a colour"));
        QCOMPARE(spy.count(), 1);
    }

    void widgetLayoutDataIsRemovedByAbsence()
    {
        auto settings = open(newPath());
        QSignalSpy spy(settings.get(), &AppSettings::changed);
        settings->setWidgetLayoutData(std::nullopt);
        QCOMPARE(spy.count(), 0);
        settings->setWidgetLayoutData(QByteArray("x"));
        settings->setWidgetLayoutData(QByteArray("x"));
        QCOMPARE(spy.count(), 1);
        settings->setWidgetLayoutData(std::nullopt);
        QCOMPARE(settings->widgetLayoutData(), std::nullopt);
        QCOMPARE(spy.count(), 2);
    }
};

QTEST_MAIN(TestAppSettings)
#include "tst_AppSettings.moc"
