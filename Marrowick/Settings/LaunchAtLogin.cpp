#include "Marrowick/Settings/LaunchAtLogin.h"

#include "MarrowickKit/Engine/AtomicFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>

namespace marrowick {

namespace {

constexpr qint64 entryReadLimit = 64 * 1024;

// Key and value of each "Key=Value" line of the [Desktop Entry] group.
QHash<QString, QString> desktopEntryValues(const QByteArray &contents)
{
    QHash<QString, QString> values;
    bool inGroup = false;
    for (const QByteArray &rawLine : contents.split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.startsWith(u'[')) {
            inGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inGroup || line.startsWith(u'#') || equals <= 0)
            continue;
        const QString key = line.left(equals).trimmed();
        if (!values.contains(key))
            values.insert(key, line.mid(equals + 1).trimmed());
    }
    return values;
}

} // namespace

LaunchAtLogin::LaunchAtLogin(QString applicationID, QString executable, QString configFolder)
    : m_applicationID(std::move(applicationID)), m_executable(std::move(executable)),
      m_configFolder(std::move(configFolder))
{
}

QString LaunchAtLogin::entryPath() const
{
    QString folder = m_configFolder;
    if (folder.isEmpty()) {
        folder = qEnvironmentVariable("XDG_CONFIG_HOME");
        // The base-directory rules ignore a relative XDG_CONFIG_HOME.
        if (folder.isEmpty() || QDir::isRelativePath(folder))
            folder = QDir::homePath() + QStringLiteral("/.config");
    }
    return folder + QStringLiteral("/autostart/") + m_applicationID + QStringLiteral(".desktop");
}

QString LaunchAtLogin::executablePath() const
{
    const QString path = m_executable.isEmpty() ? QCoreApplication::applicationFilePath() : m_executable;
    if (path.isEmpty())
        return {};
    const QFileInfo info(path);
    if (!info.isFile() || !info.isExecutable())
        return {};
    return info.canonicalFilePath();
}

QString LaunchAtLogin::execValue(const QString &program)
{
    // Inside double quotes desktop entries want " ` $ \ escaped with a backslash,
    // then the string-value rules double every backslash again; "%" starts a field code.
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`%");
    bool needsQuotes = false;
    for (const QChar c : program)
        needsQuotes = needsQuotes || reserved.contains(c);
    QString escaped;
    for (const QChar c : program) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            escaped += u'\\';
        escaped += c;
    }
    escaped.replace(u'%', QStringLiteral("%%"));
    escaped.replace(u'\\', QStringLiteral("\\\\"));
    return needsQuotes ? u'"' + escaped + u'"' : escaped;
}

LaunchAtLogin::Status LaunchAtLogin::status() const
{
    const QString program = executablePath();
    if (program.isEmpty())
        return Status::notFound;
    QFile file(entryPath());
    if (!QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly))
        return Status::notRegistered;
    const QHash<QString, QString> values = desktopEntryValues(file.read(entryReadLimit));
    const bool switchedOff = values.value(QStringLiteral("Hidden")) == QLatin1String("true")
        || values.value(QStringLiteral("X-GNOME-Autostart-enabled")) == QLatin1String("false");
    if (switchedOff || values.value(QStringLiteral("Exec")) != execValue(program))
        return Status::notRegistered;
    return Status::enabled;
}

void LaunchAtLogin::registerEntry() const
{
    const QString program = executablePath();
    if (program.isEmpty())
        throw LaunchAtLoginError(QStringLiteral("Marrowick cannot find its own program file."));
    const QString path = entryPath();
    // Owner-only where it is made, as every folder the program makes.
    if (!AtomicFile::createFolder(QFileInfo(path).absolutePath()).isEmpty())
        throw LaunchAtLoginError(QStringLiteral("The folder %1 cannot be created.").arg(QFileInfo(path).absolutePath()));
    const QByteArray entry = QStringLiteral("[Desktop Entry]\n"
                                            "Type=Application\n"
                                            "Name=Marrowick\n"
                                            "Comment=Watches your home lab from the system tray\n"
                                            "Exec=%1\n"
                                            "Icon=%2\n"
                                            "Terminal=false\n"
                                            "X-GNOME-Autostart-enabled=true\n")
                                 .arg(execValue(program), m_applicationID)
                                 .toUtf8();
    // QSaveFile would switch in an empty entry on a full disk and call it written.
    try {
        AtomicFile::write(entry, path);
    } catch (const FileStoreError &error) {
        throw LaunchAtLoginError(QString::fromUtf8(error.what()));
    }
}

void LaunchAtLogin::unregisterEntry() const
{
    QFile file(entryPath());
    if (!file.exists())
        return;
    if (!file.remove())
        throw LaunchAtLoginError(QStringLiteral("%1 cannot be removed: %2").arg(file.fileName(), file.errorString()));
}

LaunchAtLogin::Action LaunchAtLogin::action(Status status, bool enabled)
{
    switch (status) {
    case Status::enabled:
    case Status::requiresApproval:
        return enabled ? Action::none : Action::unregisterEntry;
    case Status::notRegistered:
    case Status::notFound:
        break;
    }
    return enabled ? Action::registerEntry : Action::none;
}

bool LaunchAtLogin::isOn(Status status)
{
    return status == Status::enabled || status == Status::requiresApproval;
}

} // namespace marrowick
