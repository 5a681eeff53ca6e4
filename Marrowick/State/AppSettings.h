#pragma once

#include "Marrowick/State/SaveFailure.h"
#include "MarrowickKit/Engine/JSONFileStore.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QSettings>
#include <QString>

#include <memory>
#include <optional>

namespace marrowick {

// The names under which the settings are stored.
namespace SettingsKey {
inline const QString launchAtLogin = QStringLiteral("launchAtLogin");
inline const QString globalQuiet = QStringLiteral("globalQuiet");
inline const QString soundAlerts = QStringLiteral("soundAlerts");
inline const QString notifyOnRecovery = QStringLiteral("notifyOnRecovery");
inline const QString showSparklines = QStringLiteral("showSparklines");
inline const QString compactMode = QStringLiteral("compactMode");
inline const QString accentHex = QStringLiteral("accentHex");
inline const QString onboardingCompleted = QStringLiteral("onboardingCompleted");
inline const QString widgetLayout = QStringLiteral("widgetLayout");
inline const QString sourcesFolder = QStringLiteral("sourcesFolder");
} // namespace SettingsKey

// The one reader and writer of the user's settings. QSettings has no change signal, so every
// write goes through here and `changed` fires when the value a reader sees really changes.
// Every write reaches the disk at once, so a failure is known while the user is there to see it.
//
// QSettings does not tell when the last bytes of its file were refused (a full disk, a file-size
// limit): it reports success for a file it left cut or empty. So a change reaches QSettings only
// once a file of that size is known to fit, and the file is checked after the write; until then
// the change is kept here, read from here, and written again by the next write.
//
// A damaged file (a line cut inside a key, binary bytes, bytes that are not UTF-8, a key of
// SettingsKey holding a value of another kind) is read as far as it goes, and what could not
// be read would be gone with the first write. So before anything writes it, a copy is kept
// beside it, "<file>.corrupt" or the next free name, and the user is told; then the file is
// written again with the keys of SettingsKey that could be read as their kind, and nothing
// else. Where no copy can be kept, the file is never written; nor is one that cannot be read
// at all (another user's, a folder in its place), which is told too.
// Only the file itself is judged: a damaged organisation-wide or system-wide file that QSettings
// falls back on is read as far as it goes, and left alone.
// QSettings reads a file of any size whole; a large one that it reads without an error loses
// nothing and is kept as it is.
//
// Booleans are stored as the texts "true" and "false". A stored value that is neither (a
// hand-edited "yes", a number, a value cut short) is not a Boolean and reads as the key's
// default. The accent is any text.
class AppSettings : public QObject {
    Q_OBJECT

public:
    static inline const QString defaultAccentHex = QStringLiteral("#8BB8E8");

    explicit AppSettings(std::unique_ptr<QSettings> store, QObject *parent = nullptr);
    ~AppSettings() override;

    bool launchAtLogin() const;
    void setLaunchAtLogin(bool on);
    bool globalQuiet() const;
    void setGlobalQuiet(bool on);
    bool soundAlerts() const;
    void setSoundAlerts(bool on);
    bool notifyOnRecovery() const;
    void setNotifyOnRecovery(bool on);
    bool showSparklines() const;
    void setShowSparklines(bool on);
    bool compactMode() const;
    void setCompactMode(bool on);
    bool onboardingCompleted() const;
    void setOnboardingCompleted(bool done);

    // The stored text, unchecked: an unparsable text is kept and the style falls back.
    QString accentHex() const;
    void setAccentHex(const QString &hex);

    // The folder of the last file the sources were exported to or imported from, where the
    // file dialogs open next; empty when none is stored.
    QString sourcesFolder() const;
    void setSourcesFolder(const QString &folder);

    // The encoded widget layout; absent when missing or not stored as data.
    std::optional<QByteArray> widgetLayoutData() const;
    // Absent removes the entry.
    void setWidgetLayoutData(const std::optional<QByteArray> &data);

    // Writes pending changes to disk, as every setter does; nothing when none are pending. A
    // failure is kept in writeError(); the changes stay in effect and the next write tries them
    // again.
    void sync();
    // Why the last write failed; empty once one lands.
    const QString &writeError() const { return m_writeFailure.reason(); }
    // What a window says while the settings are unsaved; empty once they are saved.
    QString unsavedText() const { return m_writeFailure.text(); }
    // The settings file as found damaged at start: copied aside, or left as it is where it could
    // not be. Nothing when it was sound.
    const std::optional<FileProblem> &loadProblem() const { return m_loadProblem; }

signals:
    // `key` is one of SettingsKey.
    void changed(const QString &key);
    // The accent alone, as a value for windows that follow it.
    void accentHexChanged(const QString &hex);
    void writeErrorChanged(const QString &error);

private:
    // Tells of a file that cannot be read, or keeps a copy of a damaged one.
    void examineFile();
    // Keeps a copy of a damaged file, and writes what could be read of it.
    void keepDamagedFile();
    QVariant value(const QString &key) const;
    // An invalid value removes the key.
    void store(const QString &key, const QVariant &value);
    bool readBool(const QString &key, bool fallback) const;
    void writeBool(const QString &key, bool on, bool fallback);
    // Writes the unsaved changes once they fit and checks what landed; an empty text, else why.
    QString writeUnsaved();
    qint64 writtenSizeBound() const;
    // What the file should hold once the unsaved changes are in it.
    QHash<QString, QVariant> intendedContents(const QString &file) const;
    // Has QSettings write the unsaved changes.
    void handOverUnsaved();

    std::unique_ptr<QSettings> m_store;
    // Changes not yet in the file, by key; an invalid value is a removal. Kept out of QSettings
    // until a write fits: it writes what it holds on its own, unchecked, when it gets to it.
    QHash<QString, QVariant> m_unsaved;
    // The unsaved changes replace every key of the file, not only their own.
    bool m_replacesFile = false;
    SaveFailure m_writeFailure{QStringLiteral("settings")};
    std::optional<FileProblem> m_loadProblem;
};

// The Boolean a stored value holds: a real Boolean, or the text "true" or "false"; nothing for
// any other value.
std::optional<bool> storedBool(const QVariant &value);

} // namespace marrowick
