#include "Marrowick/State/AppSettings.h"

#include "support/ChildRun.h"
#include "support/StorageFaults.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <functional>

#include <sys/stat.h>
#include <unistd.h>

using namespace marrowick;

namespace {

std::unique_ptr<AppSettings> open(const QString &path)
{
    return std::make_unique<AppSettings>(std::make_unique<QSettings>(path, QSettings::IniFormat));
}

// Changes two settings in the file at `path` while they do not fit, then, where `roomAtQuit`,
// makes room and changes another; quits. Says what was seen, a line each: the error after
// the changes, how often it was told, whether the file kept its bytes, whether the changes
// are in effect, and the error before quitting.
QStringList writeWithoutRoom(const QString &path, int layoutBytes, bool roomAtQuit,
                             const std::function<bool()> &makeRoom)
{
    const QByteArray before = test::fileBytes(path);
    auto settings = open(path);
    int told = 0;
    QObject::connect(settings.get(), &AppSettings::writeErrorChanged, [&told] { ++told; });
    const QByteArray layout(layoutBytes, 'L');
    settings->setWidgetLayoutData(layout);
    settings->setCompactMode(true);
    const bool kept = test::fileBytes(path) == before;
    const bool inEffect = settings->compactMode() && settings->widgetLayoutData() == layout;
    QStringList seen{settings->writeError(), QStringLiteral("told %1 time(s)").arg(told),
                     kept ? QStringLiteral("file kept") : QStringLiteral("file changed"),
                     inEffect ? QStringLiteral("in effect") : QStringLiteral("lost")};
    if (roomAtQuit && makeRoom())
        settings->setGlobalQuiet(true);
    seen.append(settings->writeError());
    return seen;
}

// The child's part: writeWithoutRoom under the file-size limit it was started with, lifted
// for room at quit.
const QString writeScenario = QStringLiteral("write");

int writeInChild(const QStringList &arguments)
{
    if (arguments.size() != 3)
        return 2;
    const QStringList seen = writeWithoutRoom(arguments.at(0), arguments.at(1).toInt(), arguments.at(2) == "1",
                                              &test::liftFileSizeLimit);
    std::fputs(qPrintable(seen.join(QLatin1Char('\n'))), stdout);
    return 0;
}

// How a settings file may be kept, beside what it holds.
const QString fullDisk = QStringLiteral("full disk");
const QString unreadable = QStringLiteral("unreadable");
const QString folder = QStringLiteral("folder");
const QString noPermissions = QStringLiteral("no permissions");

// Every key away from its default.
const QByteArray soundFile = "[General]\naccentHex=#FF0000\ncompactMode=true\nglobalQuiet=true\n"
                             "onboardingCompleted=true\nshowSparklines=false\nsoundAlerts=false\n"
                             "sourcesFolder=/home/me/backups\n";

// The same bytes at every run; `size` a multiple of four.
QByteArray randomBytes(qsizetype size)
{
    QList<quint32> words(size / 4);
    QRandomGenerator(28).fillRange(words.data(), words.size());
    return QByteArray(reinterpret_cast<const char *>(words.constData()), size);
}

} // namespace

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

    // Whether a start finds the bytes a sound settings file.
    bool startsSound(const QByteArray &bytes)
    {
        const QString path = newPath();
        return test::writeFile(path, bytes) && !open(path)->loadProblem();
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
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(" was damaged\\. ")));
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
    // A folder made for it cannot be listed by others; one that was there keeps its mode.
    void theFileIsOwnerOnly_data()
    {
        QTest::addColumn<int>("before"); // mode of an existing file; -1: none
        QTest::newRow("new file") << -1;
        QTest::newRow("world-readable file") << 0644;
    }
    void theFileIsOwnerOnly()
    {
        QFETCH(int, before);
        const QString folder = m_dir.filePath(QStringLiteral("config/private"));
        const QString path = folder + QStringLiteral("/settings.ini");
        if (before >= 0) {
            QSettings raw(path, QSettings::IniFormat);
            raw.setValue(SettingsKey::accentHex, QStringLiteral("#000000"));
            raw.sync();
            QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode_t(before)), 0);
            QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
        }
        {
            auto settings = open(path);
            settings->setCompactMode(true);
            settings->sync();
        }
        QCOMPARE(test::modeOf(path), 0600);
        QCOMPARE(test::modeOf(folder), before >= 0 ? 0755 : 0700);
        if (before < 0)
            QCOMPARE(test::modeOf(QFileInfo(folder).path()), 0700);
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

    // A write that does not fit, on a full disk or past a file-size limit, leaves the file as it
    // was, is told once with its reason, stays in effect, and lands with the next write once
    // there is room; without room at quit, the loss is logged. One that fits, if barely, lands.
    // The limits run in a child, where they cut nothing of the test's own.
    void aWriteLandsWholeOrIsToldAndRetried_data()
    {
        QTest::addColumn<qint64>("limit"); // the child's file-size limit; 0: a real small disk
        QTest::addColumn<qint64>("room");  // bytes left on the disk
        QTest::addColumn<int>("layoutBytes");
        QTest::addColumn<bool>("roomAtQuit");
        QTest::addColumn<QString>("reason"); // empty: the write fits
        const QString tooLarge = QStringLiteral("File too large");
        const QString noSpace = QStringLiteral("No space left on device");
        QTest::newRow("limit of 1 byte") << qint64(1) << qint64(0) << 10 << true << tooLarge;
        QTest::newRow("limit of 100 bytes, 10 kB layout") << qint64(100) << qint64(0) << 10000 << true << tooLarge;
        QTest::newRow("limit of 4096 bytes, 10 kB layout, none at quit")
            << qint64(4096) << qint64(0) << 10000 << false << tooLarge;
        QTest::newRow("real disk") << qint64(0) << qint64(0) << 10 << true << noSpace;
        QTest::newRow("real disk, none at quit") << qint64(0) << qint64(0) << 10 << false << noSpace;
        QTest::newRow("real disk, 4 KiB left, 10 kB layout") << qint64(0) << qint64(4096) << 10000 << true << noSpace;
        QTest::newRow("real disk, 4 KiB left, 10 kB layout, none at quit")
            << qint64(0) << qint64(4096) << 10000 << false << noSpace;
        // Room for the second write's new file beside the one the first write left.
        QTest::newRow("real disk, 24 KiB left, 10 kB layout") << qint64(0) << qint64(24576) << 10000 << true << QString();
    }
    void aWriteLandsWholeOrIsToldAndRetried()
    {
        QFETCH(qint64, limit);
        QFETCH(qint64, room);
        QFETCH(int, layoutBytes);
        QFETCH(bool, roomAtQuit);
        QFETCH(QString, reason);
        std::optional<test::SmallFilesystem> disk;
        QString path = newPath();
        if (limit == 0) {
            disk.emplace(64 * 1024);
            if (!disk->isMounted())
                QSKIP("mounting a small file system needs root");
            path = disk->path() + QStringLiteral("/settings.ini");
        }
        open(path)->setAccentHex(QStringLiteral("#FF0000"));
        const QByteArray before = test::fileBytes(path);
        const bool fits = reason.isEmpty();
        const QString error = fits ? QString() : QStringLiteral("Could not save \"%1\": %2").arg(path, reason);
        const QString lost = QStringLiteral("Marrowick quits with unsaved settings: ") + error;

        QStringList outcome;
        if (limit > 0) {
            const test::ChildRun child =
                test::runChild(writeScenario, {path, QString::number(layoutBytes), QString::number(int(roomAtQuit))},
                               limit);
            QCOMPARE(child.exitStatus, QProcess::NormalExit);
            outcome = QString::fromUtf8(child.output).split(QLatin1Char('\n'));
            QCOMPARE(child.errors.contains(lost.toUtf8()), !roomAtQuit);
        } else {
            QVERIFY(disk->fill(room));
            if (!roomAtQuit)
                QTest::ignoreMessage(QtWarningMsg, qPrintable(lost));
            outcome = writeWithoutRoom(path, layoutBytes, roomAtQuit, [&disk] { return disk->release(); });
        }
        QCOMPARE(outcome, (QStringList{error, QStringLiteral("told %1 time(s)").arg(fits ? 0 : 1),
                                       fits ? QStringLiteral("file changed") : QStringLiteral("file kept"),
                                       QStringLiteral("in effect"), roomAtQuit ? QString() : error}));
        // What the next start reads; another object here would share this process's cache.
        const QByteArray stored = test::fileBytes(path);
        if (roomAtQuit) {
            QVERIFY(stored.contains("accentHex=#FF0000\n"));
            QVERIFY(stored.contains("compactMode=true\n"));
            QVERIFY(stored.contains("widgetLayout=@ByteArray(" + QByteArray(layoutBytes, 'L') + ")\n"));
        } else {
            QCOMPARE(stored, before);
        }
    }

    // What QSettings cannot read of a damaged file is gone with the next write, so a copy of it
    // is kept first, beside an earlier one, and the user is told. Where none can be kept, or the
    // file cannot be read at all, it is told and never written. A file of any size that QSettings
    // reads whole, with our keys of their kinds, is kept as it is, and loses nothing to a write.
    void aDamagedFileIsCopiedBeforeAnythingWritesIt_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        // How the file is kept: on a full disk, as another user's unreadable file, a folder in
        // its place, or without the permission bits of its owner; empty for none of these.
        QTest::addColumn<QString>("keeping");
        QTest::addColumn<bool>("damaged");
        QTest::addColumn<bool>("onboardingCompleted");
        QTest::addColumn<bool>("compactMode");
        // The bytes are the organisation-wide file's, which the store falls back on, beside a
        // sound file of its own.
        QTest::addColumn<bool>("shared");
        const qsizetype overTheCap = 9 * 1024 * 1024;
        const QByteArray cut = soundFile.left(soundFile.indexOf("onboardingCompleted") + 15);
        // Without a "=", QSettings reads not even a key of garbage.
        const QByteArray png = "\x89PNG\r\n\x1a\n" + randomBytes(4096).replace('=', '_');
        // QSettings finds this as it first reads the file, not as it parses the section.
        const QByteArray unclosedSection = "[Gene\n" + soundFile.mid(soundFile.indexOf('\n') + 1);
        const QString none;
        QTest::newRow("sound") << soundFile << none << false << true << true << false;
        QTest::newRow("cut inside a key") << cut << none << true << false << true << false;
        QTest::newRow("section name cut short") << unclosedSection << none << true << false << false << false;
        // QSettings reads these without an error: a text where data or a Boolean belongs, and
        // replacement characters that its next write would keep in place of the bytes.
        QTest::newRow("layout cut inside its value")
            << soundFile + "widgetLayout=\"@ByteArray({\\\"order\\\":[\\\"" << none << true << true << true << false;
        QTest::newRow("wrong types") << QByteArray("[General]\naccentHex=1, 2\ncompactMode=@Rect(1 2 3 4)\n"
                                                   "onboardingCompleted=yes\nsoundAlerts=@ByteArray(false)\n"
                                                   "widgetLayout=plain text\n")
                                     << none << true << false << false << false;
        QTest::newRow("not UTF-8") << QByteArray(soundFile).replace("#FF0000", "#FF\xff\xfe") << none << true << true
                                   << true << false;
        QTest::newRow("binary") << png << none << true << false << false << false;
        QTest::newRow("binary, over 8 MiB") << randomBytes(overTheCap) << none << true << false << false << false;
        QTest::newRow("settings over 8 MiB")
            << soundFile + "widgetLayout=@ByteArray(" + QByteArray(overTheCap, 'L') + ")\n" << none << false << true
            << true << false;
        QTest::newRow("cut inside a key, no room for a copy") << cut << fullDisk << true << false << true << false;
        QTest::newRow("another user's") << soundFile << unreadable << false << false << false << false;
        QTest::newRow("a folder in its place") << QByteArray() << folder << false << false << false << false;
        QTest::newRow("own, without permission bits") << soundFile << noPermissions << false << true << true << false;
        // Not ours to copy or replace, nor to tell of: read as far as QSettings reads it.
        QTest::newRow("shared file cut inside a key") << cut << none << false << true << true << true;
        QTest::newRow("shared file's section name cut short") << unclosedSection << none << false << true << true
                                                               << true;
    }
    void aDamagedFileIsCopiedBeforeAnythingWritesIt()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, keeping);
        QFETCH(bool, damaged);
        QFETCH(bool, onboardingCompleted);
        QFETCH(bool, compactMode);
        QFETCH(bool, shared);
        if (keeping == unreadable && ::geteuid() != 0)
            QSKIP("only root can make a file of another user");
        std::optional<test::SmallFilesystem> disk;
        QString path = newPath();
        if (keeping == fullDisk) {
            disk.emplace(64 * 1024);
            if (!disk->isMounted())
                QSKIP("mounting a small file system needs root");
            path = disk->path() + QStringLiteral("/settings.ini");
        }
        // The store as the application makes it, its user and system-wide files in a home of its own.
        const QString home = m_dir.filePath(QStringLiteral("home-%1").arg(++m_fileNumber));
        const QString orgWide = home + QStringLiteral("/tobrin.conf");
        if (shared) {
            QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home);
            QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, home + QStringLiteral("/system"));
            path = home + QStringLiteral("/tobrin/Marrowick.conf");
            QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
            QVERIFY(test::writeFile(orgWide, bytes));
        }
        const QByteArray own = shared ? soundFile : bytes;
        const QString earlier = path + QStringLiteral(".corrupt");
        const QString copy = earlier + QStringLiteral("-2");
        QVERIFY(keeping == folder ? QDir().mkpath(path) : test::writeFile(path, own));
        const int modeBefore = test::modeOf(path);
        QVERIFY(test::writeFile(earlier, "an earlier copy"));
        QVERIFY(keeping != fullDisk || disk->fill(0));
        const QString name = QFileInfo(path).fileName();
        const QString folderOfFile = QFileInfo(path).absolutePath();
        const bool unread = keeping == unreadable || keeping == folder;
        const bool leftInPlace = unread || (damaged && keeping == fullDisk);
        const bool copied = damaged && !leftInPlace;
        const QString told = unread
            ? QStringLiteral("%1 could not be read (%2). Marrowick started without it and leaves it untouched in %3.")
                  .arg(name, keeping == folder ? "it is a folder" : "Permission denied", folderOfFile)
            : !damaged ? QString()
            : leftInPlace ? QStringLiteral("%1 could not be read (damaged, and no copy of it could be kept: Could not "
                                           "save \"%2\": No space left on device). Marrowick started without it and "
                                           "leaves it untouched in %3.")
                                .arg(name, copy, folderOfFile)
                          : QStringLiteral("%1 was damaged. Marrowick read what it could and kept a copy as %2.")
                                .arg(name, copy);
        if (!told.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, qPrintable(told));

        std::unique_ptr<AppSettings> settings;
        const auto start = [&] {
            settings = !shared ? open(path)
                               : std::make_unique<AppSettings>(std::make_unique<QSettings>(
                                     QSettings::NativeFormat, QSettings::UserScope, "tobrin", "Marrowick"));
        };
        if (keeping == unreadable) {
            QTest::ignoreMessage(QtWarningMsg, qPrintable(QStringLiteral("Could not make %1 private to its owner.")
                                                              .arg(path)));
            QVERIFY(test::withoutReadAccess(path, m_dir.path(), start));
        } else if (keeping == noPermissions) {
            QVERIFY(test::giveToUnprivilegedUser(path));
            QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions()));
            QVERIFY(test::asUnprivilegedUser(folderOfFile, m_dir.path(), start));
        } else {
            start();
        }
        QVERIFY(settings);
        QCOMPARE(settings->loadProblem() ? settings->loadProblem()->text() : QString(), told);
        QCOMPARE(settings->writeError(), QString());
        QCOMPARE(settings->onboardingCompleted(), onboardingCompleted);
        QCOMPARE(settings->compactMode(), compactMode);
        QCOMPARE(test::fileBytes(earlier), QByteArray("an earlier copy"));
        QCOMPARE(QFile::exists(copy), copied);
        if (copied) {
            QVERIFY(test::fileBytes(copy) == own);
            QCOMPARE(test::modeOf(copy), 0600);
        }
        // Something else in its place keeps its permissions; a file of ours is made private.
        QCOMPARE(test::modeOf(path), unread ? modeBefore : 0600);

        const QString refused = name + QStringLiteral(" could not be read at start and is not replaced; fix it and "
                                                      "restart Marrowick");
        if (leftInPlace) {
            QTest::ignoreMessage(QtWarningMsg, qPrintable(QStringLiteral("The settings could not be saved: ") + refused));
            QTest::ignoreMessage(QtWarningMsg,
                                 qPrintable(QStringLiteral("Marrowick quits with unsaved settings: ") + refused));
        }
        // A damaged file is written again at once, with what could be read of the settings: the
        // next start finds it sound. Any other stays as it is until a value is set.
        QCOMPARE(test::fileBytes(path) == own, !copied);
        QVERIFY(leftInPlace || startsSound(test::fileBytes(path)));
        settings->setGlobalQuiet(false);
        const QByteArray written = test::fileBytes(path);
        QCOMPARE(settings->writeError(), leftInPlace ? refused : QString());
        if (leftInPlace) {
            QVERIFY(written == own);
            QCOMPARE(QFileInfo(path).isDir(), keeping == folder);
            return;
        }
        QVERIFY(!shared || test::fileBytes(orgWide) == bytes);
        QVERIFY(!QFile::exists(orgWide + QStringLiteral(".corrupt")));
        QVERIFY(written.contains("globalQuiet=false\n"));
        QVERIFY(startsSound(written));
        QCOMPARE(written.contains("compactMode=true\n"), compactMode);
        // An accent read with the other keys goes back only as a colour: not one with
        // replacement characters for bytes.
        QCOMPARE(written.contains("accentHex="), compactMode && own.contains("accentHex=#FF0000\n"));
        // Nothing of a sound file is lost to a write.
        if (!damaged) {
            for (const QByteArray &line : own.split('\n')) {
                if (!line.startsWith("globalQuiet="))
                    QVERIFY2(written.contains(line), line.left(40).constData());
            }
        }
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

int main(int argc, char *argv[])
{
    return test::runTestsOrChild<TestAppSettings>(argc, argv, writeScenario, writeInChild);
}

#include "tst_AppSettings.moc"
