#include "Marrowick/Settings/SettingsTexts.h"

#include <QCoreApplication>
#include <QLocale>

namespace marrowick::SettingsTexts {

QString countPhrase(qsizetype count)
{
    if (count == 1)
        return QStringLiteral("1 source");
    return QLocale().toString(count) + QStringLiteral(" sources");
}

QString replaceConfirmationMessage(qsizetype current, qsizetype imported)
{
    return QStringLiteral("Marrowick deletes ") + countPhrase(current) + QStringLiteral(" and adds ")
        + countPhrase(imported) + QStringLiteral(" from the file.");
}

QString importSummaryMessage(const QString &countPhrase, const QStringList &namesNeedingSecret)
{
    QString text = QStringLiteral("Marrowick now polls ") + countPhrase + QStringLiteral(".");
    if (!namesNeedingSecret.isEmpty())
        text += QStringLiteral(" Open each of these sources and enter its password or token again: ")
            + namesNeedingSecret.join(QStringLiteral(", ")) + QStringLiteral(".");
    return text;
}

MessageAlert exportFailed(const QString &description)
{
    return {QStringLiteral("Export Failed"), description, {}, {}};
}

MessageAlert importUnreadable()
{
    return {QStringLiteral("Import Failed"), QStringLiteral("Marrowick cannot read that file as a sources file."), {}, {}};
}

MessageAlert importEmpty()
{
    return {QStringLiteral("Import Failed"), QStringLiteral("That file holds no source."), {}, {}};
}

MessageAlert importRefused(const QString &reason)
{
    return {QStringLiteral("Import Failed"), reason, {}, {}};
}

MessageAlert importComplete(qsizetype imported, const QStringList &namesNeedingSecret)
{
    return {QStringLiteral("Import Complete"), importSummaryMessage(countPhrase(imported), namesNeedingSecret), {}, {}};
}

MessageAlert importNotSaved(qsizetype imported, const QStringList &namesNeedingSecret, const QString &unsaved)
{
    return {QStringLiteral("Import Not Saved"),
            importSummaryMessage(countPhrase(imported), namesNeedingSecret) + QLatin1Char(' ') + unsaved, {}, {}};
}

MessageAlert launchAtLoginFailed(const QString &description)
{
    return {QStringLiteral("Couldn't Update Launch at Login"), description, {}, {}};
}

MessageAlert updateResult(const ReleaseCheckResult &result)
{
    const QString version = result.manifest.version;
    if (result.kind == ReleaseCheckResult::Kind::upToDate)
        return {QStringLiteral("Marrowick Is Up to Date"),
                QStringLiteral("You have the latest version, ") + version + QStringLiteral("."), {}, {}};
    return {QStringLiteral("Marrowick ") + version + QStringLiteral(" Is Available"),
            QStringLiteral("Download the latest release from tobrin.dev."), QStringLiteral("Download"),
            result.manifest.downloadURL};
}

MessageAlert updateCheckFailed()
{
    return {QStringLiteral("Couldn't Check for Updates"), QStringLiteral("Try again when you have a network connection."),
            {}, {}};
}

// A desktop's notification server asks for no permission: it answers on the session bus, and
// then shows every alert, or nothing answers.
QString permissionMessage(AuthorizationStatus status, const QString &serverName)
{
    switch (status) {
    case AuthorizationStatus::notDetermined:
        return QStringLiteral("Marrowick has not heard from a notification server yet.");
    case AuthorizationStatus::denied:
        return QStringLiteral("No notification server answers, so Marrowick cannot tell you when a service goes "
                              "down. Start your desktop's notification service, then come back to this window.");
    case AuthorizationStatus::authorized:
        if (serverName.isEmpty())
            return QStringLiteral("Alerts go to this desktop's notification server.");
        return QStringLiteral("Alerts go to ") + serverName + QStringLiteral(", this desktop's notification server.");
    case AuthorizationStatus::provisional:
        return QStringLiteral("Marrowick sends alerts to Notification Center without a banner.");
    case AuthorizationStatus::ephemeral:
        return QStringLiteral("Marrowick can show alerts for a limited time.");
    }
    return QStringLiteral("The permission state is unknown.");
}

QString appShortVersion()
{
    const QString version = QCoreApplication::applicationVersion();
    return version.isEmpty() ? QStringLiteral("\u2014") : version;
}

} // namespace marrowick::SettingsTexts
