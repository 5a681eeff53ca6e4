#include "Marrowick/State/AppSettings.h"

#include "Marrowick/State/HexColor.h"
#include "MarrowickKit/Engine/AtomicFile.h"
#include "MarrowickKit/Model/StrictUtf8.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtDebug>

#include <cctype>

namespace marrowick {

namespace {

// Beside the file, as the data files keep theirs.
const QString quarantineSuffix = QStringLiteral(".corrupt");

// Makes the settings file readable by the owner only. QSettings replaces the file through
// QSaveFile, which keeps the permissions of the file it replaces, so a file that exists
// owner-only before the first write stays so.
void keepOwnerOnly(const QSettings &store)
{
    const QString file = store.fileName();
    // Not a file path where the settings live elsewhere (a registry).
    if (!QFileInfo(file).isAbsolute())
        return;
    if (!QFileInfo::exists(file)) {
        // Before QSettings makes it, which would let everyone list it.
        AtomicFile::createFolder(QFileInfo(file).absolutePath());
        QFile created(file);
        if (!created.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return;
    }
    // Something else in its place (a folder) is not the settings', and keeps its permissions.
    if (!QFileInfo(file).isFile())
        return;
    if (!QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        qWarning().noquote() << QStringLiteral("Could not make %1 private to its owner.").arg(file);
}

// Every key of SettingsKey.
QStringList ownKeys()
{
    return {SettingsKey::launchAtLogin, SettingsKey::globalQuiet, SettingsKey::soundAlerts,
            SettingsKey::notifyOnRecovery, SettingsKey::showSparklines, SettingsKey::compactMode,
            SettingsKey::accentHex, SettingsKey::onboardingCompleted, SettingsKey::widgetLayout,
            SettingsKey::sourcesFolder};
}

// Whether a value stored under one of SettingsKey is of the kind that key holds. Texts are not
// judged: an accent is the user's, read as the default colour where it does not parse, and a
// folder that is gone is left for the home folder.
bool holdsItsKind(const QString &key, const QVariant &value)
{
    if (key == SettingsKey::accentHex || key == SettingsKey::sourcesFolder)
        return value.typeId() == QMetaType::QString;
    if (key == SettingsKey::widgetLayout)
        return value.typeId() == QMetaType::QByteArray;
    return storedBool(value).has_value();
}

// Whether a value read from a damaged file is written back. An accent that is not a colour,
// such as one with replacement characters where its bytes were not UTF-8, shows the default
// accent anyway: it is damage, and the file is rewritten without it.
bool isKeptFromDamagedFile(const QString &key, const QVariant &value)
{
    if (!holdsItsKind(key, value))
        return false;
    return key != SettingsKey::accentHex || parseHexColor(value.toString()).has_value();
}

// Whether a settings file, read by `alone` and nothing else, is damaged. QSettings says so of
// some damage, and reads more as sound than it is: a value cut short reads as a text of another
// kind, and bytes that are not UTF-8 as replacement characters, which its next write keeps in
// their stead. Neither is in a file that QSettings wrote, so both are damage too.
bool isDamaged(const QSettings &alone)
{
    const QStringList keys = alone.allKeys();
    if (alone.status() == QSettings::FormatError)
        return true;
    for (const QString &key : ownKeys()) {
        if (keys.contains(key) && !holdsItsKind(key, alone.value(key)))
            return true;
    }
    QFile read(alone.fileName());
    return read.open(QIODevice::ReadOnly) && !isStrictUtf8(read.readAll());
}

// Why the settings file cannot be read; empty where it can, or where there is none.
QString unreadableReason(const QString &file)
{
    const QFileInfo info(file);
    if (!info.exists())
        return QString();
    if (info.isDir())
        return QStringLiteral("it is a folder");
    if (!info.isFile())
        return QStringLiteral("it is not a file");
    QFile stored(file);
    return stored.open(QIODevice::ReadOnly) ? QString() : stored.errorString();
}

// Worded as the other files' failed saves.
std::string savingFailure(const QString &file, const QString &reason)
{
    return QStringLiteral("Could not save \"%1\": %2").arg(file, reason).toStdString();
}

// A new object on the same settings, made as `store` was: status() keeps an object's first
// error for good.
std::unique_ptr<QSettings> reopened(const QSettings &store)
{
    auto fresh = store.organizationName().isEmpty()
        ? std::make_unique<QSettings>(store.fileName(), store.format())
        : std::make_unique<QSettings>(store.format(), store.scope(), store.organizationName(), store.applicationName());
    fresh->setFallbacksEnabled(store.fallbacksEnabled());
    return fresh;
}

// The most bytes QSettings writes for the bytes of a text or data value: plain ASCII as it is,
// anything else escaped in up to four ("\x7f", "\""), and so a hex digit after an escape.
qint64 escapedSizeBound(const QByteArray &bytes)
{
    qint64 size = 0;
    bool afterEscape = false;
    for (const char c : bytes) {
        const bool plain = c >= 0x20 && c < 0x7f && c != '"' && c != '\\'
            && !(afterEscape && std::isxdigit(static_cast<unsigned char>(c)));
        size += plain ? 1 : 4;
        afterEscape = !plain;
    }
    return size;
}

// The most bytes QSettings writes for a value, quotes and type markers aside. Other types than
// texts and data (Booleans, lists) are small: four times their QDataStream form.
qint64 valueSizeBound(const QVariant &value)
{
    if (value.typeId() == QMetaType::QByteArray)
        return escapedSizeBound(value.toByteArray());
    if (value.typeId() == QMetaType::QString)
        return escapedSizeBound(value.toString().toUtf8());
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << value;
    return 4 * bytes.size();
}

// Whether `file` is whole as QSettings writes it for `keys` keys: one line per key (it escapes
// line ends in values), section names in brackets, blank lines between sections, a line end at
// the end; no bytes at all for no keys. A file cut short lacks its last line end or lines.
bool isWholeSettingsFile(const QString &file, qsizetype keys)
{
    QFile stored(file);
    if (!stored.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = stored.readAll();
    if (bytes.isEmpty())
        return keys == 0;
    if (!bytes.endsWith('\n'))
        return false;
    qsizetype keyLines = 0;
    const QList<QByteArray> lines = bytes.split('\n');
    for (const QByteArray &line : lines) {
        if (!line.isEmpty() && !line.startsWith('['))
            ++keyLines;
    }
    return keyLines == keys;
}

} // namespace

std::optional<bool> storedBool(const QVariant &value)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    const QString text = value.toString();
    if (text == QLatin1String("true"))
        return true;
    if (text == QLatin1String("false"))
        return false;
    return std::nullopt;
}

AppSettings::AppSettings(std::unique_ptr<QSettings> store, QObject *parent)
    : QObject(parent), m_store(std::move(store))
{
    keepOwnerOnly(*m_store);
    if (QFileInfo(m_store->fileName()).isAbsolute()) {
        AtomicFile::removeLeftoverTemporaries(m_store->fileName());
        examineFile();
    }
}

AppSettings::~AppSettings()
{
    // The unsaved changes never reached QSettings, which would otherwise try once more,
    // unchecked, and say nothing.
    sync();
    if (!writeError().isEmpty())
        qWarning().noquote() << QStringLiteral("Marrowick quits with unsaved settings: %1").arg(writeError());
}

void AppSettings::examineFile()
{
    const QString file = m_store->fileName();
    // Never written, so that what it holds is still there once it can be read.
    if (const QString reason = unreadableReason(file); !reason.isEmpty()) {
        m_loadProblem = JSONFileStore::leaveInPlace(file, reason);
        return;
    }
    // The store read a file of ours that had lost its permission bits as none at all, before
    // keepOwnerOnly() gave them back.
    if (m_store->status() == QSettings::AccessError)
        m_store = reopened(*m_store);
    keepDamagedFile();
}

void AppSettings::keepDamagedFile()
{
    // QSettings tells of damage once a process, to the object that found it: as it first reads
    // the file (a section name cut short) or parses a section (a line cut inside a key). The
    // store has read the file already, and with it the organisation-wide and system-wide files
    // it falls back on, which are not ours to copy or replace: what QSettings reads of those is
    // used as it is. So a copy of the file is read alone, afresh; where none can be made, the
    // file itself, of which nothing has parsed a section yet.
    const QString file = m_store->fileName();
    const QTemporaryDir scratch;
    const QString copy = scratch.filePath(QStringLiteral("settings"));
    if (!isDamaged(QSettings(scratch.isValid() && QFile::copy(file, copy) ? copy : file, m_store->format())))
        return;
    m_loadProblem = JSONFileStore::copyAside(file, file + quarantineSuffix);
    if (m_loadProblem->kind != FileProblem::Kind::copiedAside)
        return;
    // The file keeps what could be read of our own keys, written at once so that the next start
    // reads a sound file. The rest was damage read as keys, which QSettings would not even write
    // back whole. Every section of the file itself is parsed here, so that the store, which
    // shares what QSettings read of it, does not find the damage as it writes.
    const QSettings own(file, m_store->format());
    own.allKeys();
    for (const QString &key : ownKeys()) {
        if (const QVariant stored = own.value(key); stored.isValid() && isKeptFromDamagedFile(key, stored))
            m_unsaved.insert(key, stored);
    }
    m_replacesFile = true;
    sync();
}

QVariant AppSettings::value(const QString &key) const
{
    const auto unsaved = m_unsaved.constFind(key);
    return unsaved != m_unsaved.cend() ? *unsaved : m_store->value(key);
}

void AppSettings::store(const QString &key, const QVariant &value)
{
    m_unsaved.insert(key, value);
    sync();
}

bool AppSettings::readBool(const QString &key, bool fallback) const
{
    return storedBool(value(key)).value_or(fallback);
}

void AppSettings::writeBool(const QString &key, bool on, bool fallback)
{
    const bool before = readBool(key, fallback);
    store(key, on);
    if (before != on)
        emit changed(key);
}

bool AppSettings::launchAtLogin() const { return readBool(SettingsKey::launchAtLogin, false); }
void AppSettings::setLaunchAtLogin(bool on) { writeBool(SettingsKey::launchAtLogin, on, false); }
bool AppSettings::globalQuiet() const { return readBool(SettingsKey::globalQuiet, false); }
void AppSettings::setGlobalQuiet(bool on) { writeBool(SettingsKey::globalQuiet, on, false); }
bool AppSettings::soundAlerts() const { return readBool(SettingsKey::soundAlerts, true); }
void AppSettings::setSoundAlerts(bool on) { writeBool(SettingsKey::soundAlerts, on, true); }
bool AppSettings::notifyOnRecovery() const { return readBool(SettingsKey::notifyOnRecovery, true); }
void AppSettings::setNotifyOnRecovery(bool on) { writeBool(SettingsKey::notifyOnRecovery, on, true); }
bool AppSettings::showSparklines() const { return readBool(SettingsKey::showSparklines, true); }
void AppSettings::setShowSparklines(bool on) { writeBool(SettingsKey::showSparklines, on, true); }
bool AppSettings::compactMode() const { return readBool(SettingsKey::compactMode, false); }
void AppSettings::setCompactMode(bool on) { writeBool(SettingsKey::compactMode, on, false); }
bool AppSettings::onboardingCompleted() const { return readBool(SettingsKey::onboardingCompleted, false); }
void AppSettings::setOnboardingCompleted(bool done) { writeBool(SettingsKey::onboardingCompleted, done, false); }

QString AppSettings::accentHex() const
{
    const QVariant stored = value(SettingsKey::accentHex);
    return stored.typeId() == QMetaType::QString ? stored.toString() : defaultAccentHex;
}

void AppSettings::setAccentHex(const QString &hex)
{
    const QString before = accentHex();
    store(SettingsKey::accentHex, hex);
    if (before != hex) {
        emit changed(SettingsKey::accentHex);
        emit accentHexChanged(accentHex());
    }
}

QString AppSettings::sourcesFolder() const
{
    const QVariant stored = value(SettingsKey::sourcesFolder);
    return stored.typeId() == QMetaType::QString ? stored.toString() : QString();
}

// Every export or import passes its folder: the file is written only when it changes.
void AppSettings::setSourcesFolder(const QString &folder)
{
    if (folder == sourcesFolder())
        return;
    store(SettingsKey::sourcesFolder, folder);
    emit changed(SettingsKey::sourcesFolder);
}

std::optional<QByteArray> AppSettings::widgetLayoutData() const
{
    const QVariant stored = value(SettingsKey::widgetLayout);
    if (stored.typeId() != QMetaType::QByteArray)
        return std::nullopt;
    return stored.toByteArray();
}

void AppSettings::setWidgetLayoutData(const std::optional<QByteArray> &data)
{
    const std::optional<QByteArray> before = widgetLayoutData();
    store(SettingsKey::widgetLayout, data ? QVariant(*data) : QVariant());
    if (before != data)
        emit changed(SettingsKey::widgetLayout);
}

void AppSettings::sync()
{
    if (m_unsaved.isEmpty() && !m_replacesFile)
        return;
    const QString failure = writeUnsaved();
    if (m_writeFailure.record(failure))
        emit writeErrorChanged(failure);
}

QString AppSettings::writeUnsaved()
{
    const QString file = m_store->fileName();
    // Not a file where the settings live elsewhere (a registry): nothing to check around it.
    const bool isFile = QFileInfo(file).isAbsolute();
    QHash<QString, QVariant> intended;
    try {
        // Writing it would lose the keys after the damage, of which no copy could be kept.
        if (m_loadProblem && m_loadProblem->blocksSaving())
            throw FileStoreError(m_loadProblem->savingRefusal().toStdString());
        if (isFile)
            AtomicFile::checkRoom(writtenSizeBound(), file);
        // A fresh object takes over what the failed one left unwritten, and writes it at once.
        if (m_store->status() != QSettings::NoError)
            m_store = reopened(*m_store);
        if (isFile)
            intended = intendedContents(file);
        handOverUnsaved();
        // Clearing a file of which QSettings read no key is no change to it: it writes nothing.
        if (m_replacesFile && intended.isEmpty())
            AtomicFile::write(QByteArray(), file);
        if (m_store->status() != QSettings::NoError)
            throw FileStoreError(savingFailure(file, QStringLiteral("the file could not be written")));
        if (isFile && !isWholeSettingsFile(file, intended.size())) {
            // QSettings takes the file for written and may have read the cut one back: every
            // value the file should hold is unsaved.
            m_unsaved.insert(intended);
            throw FileStoreError(savingFailure(file, QStringLiteral("the file was not written whole")));
        }
        if (isFile)
            AtomicFile::syncToDisk(file);
    } catch (const FileStoreError &error) {
        return QString::fromUtf8(error.what());
    }
    m_unsaved.clear();
    m_replacesFile = false;
    return QString();
}

QHash<QString, QVariant> AppSettings::intendedContents(const QString &file) const
{
    // The file's keys alone, without those of the system-wide fallbacks. Made while QSettings
    // holds no unwritten change, so that it writes nothing.
    const QSettings own(file, m_store->format());
    QHash<QString, QVariant> contents;
    const QStringList keys = m_replacesFile ? QStringList() : own.allKeys();
    for (const QString &key : keys)
        contents.insert(key, own.value(key));
    for (auto change = m_unsaved.cbegin(); change != m_unsaved.cend(); ++change) {
        if (change->isValid())
            contents.insert(change.key(), *change);
        else
            contents.remove(change.key());
    }
    return contents;
}

void AppSettings::handOverUnsaved()
{
    if (m_replacesFile)
        m_store->clear();
    for (auto change = m_unsaved.cbegin(); change != m_unsaved.cend(); ++change) {
        if (change->isValid())
            m_store->setValue(change.key(), *change);
        else
            m_store->remove(change.key());
    }
    m_store->sync();
    // Each change also asked for a later write of its own, which would go unchecked.
    QCoreApplication::removePostedEvents(m_store.get(), QEvent::UpdateRequest);
}

qint64 AppSettings::writtenSizeBound() const
{
    // A key's UTF-8 byte takes at most two ("%U4E2D" for three); quotes, "@ByteArray()", "=",
    // the line end and section names take less than the rest of the allowance.
    constexpr qint64 perKey = 32;
    constexpr qint64 perFile = 64;
    QStringList keys = (m_replacesFile ? QStringList() : m_store->allKeys()) + m_unsaved.keys();
    keys.removeDuplicates();
    qint64 bound = perFile;
    for (const QString &key : std::as_const(keys))
        bound += 4 * key.toUtf8().size() + valueSizeBound(value(key)) + perKey;
    return bound;
}

} // namespace marrowick
