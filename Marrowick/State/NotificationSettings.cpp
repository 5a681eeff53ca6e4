#include "Marrowick/State/NotificationSettings.h"

#include <QList>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <optional>
#include <utility>

namespace marrowick {

namespace {

// The program and argument that open a desktop's notification settings.
std::optional<std::pair<QString, QStringList>> notificationSettingsCommand()
{
    const QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP").toUpper();
    QList<std::pair<QString, QStringList>> candidates;
    if (desktop.contains(QLatin1String("GNOME")) || desktop.contains(QLatin1String("UNITY")))
        candidates.append({QStringLiteral("gnome-control-center"), {QStringLiteral("notifications")}});
    if (desktop.contains(QLatin1String("KDE")))
        candidates.append({QStringLiteral("systemsettings"), {QStringLiteral("kcm_notifications")}});
    for (const auto &[program, arguments] : candidates) {
        const QString path = QStandardPaths::findExecutable(program);
        if (!path.isEmpty())
            return std::pair{path, arguments};
    }
    return std::nullopt;
}

} // namespace

bool canOpenNotificationSettings()
{
    return notificationSettingsCommand().has_value();
}

bool openNotificationSettings()
{
    const auto command = notificationSettingsCommand();
    return command && QProcess::startDetached(command->first, command->second);
}

} // namespace marrowick
