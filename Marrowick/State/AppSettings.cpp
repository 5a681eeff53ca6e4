#include "Marrowick/State/AppSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <QtDebug>

namespace marrowick {

namespace {

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
        QDir().mkpath(QFileInfo(file).absolutePath());
        QFile created(file);
        if (!created.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return;
    }
    if (!QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        qWarning().noquote() << QStringLiteral("Could not make %1 private to its owner.").arg(file);
}

// QSettings tells only that a write failed; the folder's state tells the likely reason.
QString writeFailure(const QString &file)
{
    const QFileInfo info(file);
    QString reason = QStringLiteral("the file could not be written");
    const QStorageInfo disk(info.absolutePath());
    if (disk.isValid() && disk.bytesAvailable() < info.size() + 4096)
        reason = QStringLiteral("No space left on device");
    else if (!QFileInfo(info.absolutePath()).isWritable())
        reason = QStringLiteral("Permission denied");
    return QStringLiteral("Could not save \"%1\": %2").arg(file, reason);
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
}

AppSettings::~AppSettings()
{
    // QSettings would try once more and say nothing.
    if (writeError().isEmpty())
        return;
    sync();
    if (!writeError().isEmpty())
        qWarning().noquote() << QStringLiteral("Marrowick quits with unsaved settings: %1").arg(writeError());
}

bool AppSettings::readBool(const QString &key, bool fallback) const
{
    return storedBool(m_store->value(key)).value_or(fallback);
}

void AppSettings::writeBool(const QString &key, bool on, bool fallback)
{
    const bool before = readBool(key, fallback);
    m_store->setValue(key, on);
    sync();
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
    const QVariant value = m_store->value(SettingsKey::accentHex);
    return value.typeId() == QMetaType::QString ? value.toString() : defaultAccentHex;
}

void AppSettings::setAccentHex(const QString &hex)
{
    const QString before = accentHex();
    m_store->setValue(SettingsKey::accentHex, hex);
    sync();
    if (before != hex) {
        emit changed(SettingsKey::accentHex);
        emit accentHexChanged(accentHex());
    }
}

std::optional<QByteArray> AppSettings::widgetLayoutData() const
{
    const QVariant value = m_store->value(SettingsKey::widgetLayout);
    if (value.typeId() != QMetaType::QByteArray)
        return std::nullopt;
    return value.toByteArray();
}

void AppSettings::setWidgetLayoutData(const std::optional<QByteArray> &data)
{
    const std::optional<QByteArray> before = widgetLayoutData();
    if (data)
        m_store->setValue(SettingsKey::widgetLayout, *data);
    else
        m_store->remove(SettingsKey::widgetLayout);
    sync();
    if (before != data)
        emit changed(SettingsKey::widgetLayout);
}

void AppSettings::sync()
{
    // status() keeps an object's first error for good. After a failure a fresh object on the
    // same file, made while the old one still holds the unwritten changes, takes them over
    // and tells whether this write lands.
    if (!writeError().isEmpty())
        m_store = std::make_unique<QSettings>(m_store->fileName(), m_store->format());
    m_store->sync();
    const QString failure = m_store->status() == QSettings::NoError ? QString() : writeFailure(m_store->fileName());
    if (m_writeFailure.record(failure))
        emit writeErrorChanged(failure);
}

} // namespace marrowick
