#include "Marrowick/State/AppSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

AppSettings::~AppSettings() = default;

bool AppSettings::readBool(const QString &key, bool fallback) const
{
    return storedBool(m_store->value(key)).value_or(fallback);
}

void AppSettings::writeBool(const QString &key, bool on, bool fallback)
{
    const bool before = readBool(key, fallback);
    m_store->setValue(key, on);
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
    if (before != data)
        emit changed(SettingsKey::widgetLayout);
}

void AppSettings::sync()
{
    m_store->sync();
}

} // namespace marrowick
