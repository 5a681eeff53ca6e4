#pragma once

#include "Marrowick/State/AlertCenter.h"
#include "MarrowickKit/Providers/ReleaseChecker.h"

#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

namespace marrowick {

// One message of the General tab's alert: launch at login, export, import and the update
// check all report through it. The extra button exists only with both a title and a URL.
struct MessageAlert {
    QString title;
    QString body;
    std::optional<QString> actionTitle;
    std::optional<QUrl> actionURL;

    bool hasAction() const { return actionTitle.has_value() && actionURL.has_value(); }
    bool operator==(const MessageAlert &) const = default;
};

// The fixed texts of the settings window, kept apart from the widgets so they can be checked
// without drawing.
namespace SettingsTexts {

// "1 source", otherwise "<n> sources" (0 included).
QString countPhrase(qsizetype count);

QString replaceConfirmationMessage(qsizetype current, qsizetype imported);
QString importSummaryMessage(const QString &countPhrase, const QStringList &namesNeedingSecret);

MessageAlert exportFailed(const QString &description);
MessageAlert importUnreadable();
MessageAlert importEmpty();
// The sources of the file were not taken; `reason` says why.
MessageAlert importRefused(const QString &reason);
MessageAlert importComplete(qsizetype imported, const QStringList &namesNeedingSecret);
// The sources were replaced but could not be saved; `unsaved` says why and what becomes of them.
MessageAlert importNotSaved(qsizetype imported, const QStringList &namesNeedingSecret, const QString &unsaved);
MessageAlert launchAtLoginFailed(const QString &description);

MessageAlert updateResult(const ReleaseCheckResult &result);
MessageAlert updateCheckFailed();

// The line under "Notification server": what answers for alerts here, named by `serverName`
// when it gave a name.
QString permissionMessage(AuthorizationStatus status, const QString &serverName = {});

// The installed version as the update check compares it; "—" when the build names none.
QString appShortVersion();

} // namespace SettingsTexts

} // namespace marrowick
