#pragma once

#include <QString>

#include <stdexcept>

namespace marrowick {

// A register or unregister that failed; the text is what the user sees.
class LaunchAtLoginError : public std::runtime_error {
public:
    explicit LaunchAtLoginError(const QString &text) : std::runtime_error(text.toStdString()) {}
};

// Launch at login through the program's own XDG autostart entry,
// "<config folder>/autostart/<application id>.desktop". Only that file is ever written or
// removed. The state is read fresh from disk on every call.
class LaunchAtLogin {
public:
    // requiresApproval never happens here; it is kept so the decision rule stays whole.
    enum class Status { notRegistered, enabled, requiresApproval, notFound };
    enum class Action { none, registerEntry, unregisterEntry };

    // `executable` empty means the running program's real path; `configFolder` empty means
    // the user's ($XDG_CONFIG_HOME, else ~/.config).
    explicit LaunchAtLogin(QString applicationID, QString executable = {}, QString configFolder = {});

    QString entryPath() const;
    // The canonical path of the program, or empty when it cannot be determined.
    QString executablePath() const;

    // enabled: our entry exists, is not switched off, and starts this very program.
    Status status() const;
    // Both throw LaunchAtLoginError.
    void registerEntry() const;
    void unregisterEntry() const;

    // What a change of the switch to `enabled` does in `status`.
    static Action action(Status status, bool enabled);
    // Whether the switch shows on for a status.
    static bool isOn(Status status);

    // The Exec value for a program path, quoted and escaped as desktop entries require.
    static QString execValue(const QString &program);

private:
    QString m_applicationID;
    QString m_executable;
    QString m_configFolder;
};

} // namespace marrowick
