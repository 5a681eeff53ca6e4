#pragma once

#include "MarrowickKit/Engine/JSONFileStore.h"
#include "MarrowickKit/Model/AnySourceConfig.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <stdexcept>

namespace marrowick {

// A sources file the user picked that could not be read; the text says why.
class SourcesFileError : public std::runtime_error {
public:
    enum class Kind { cannotOpen, readFailed, tooLarge };

    SourcesFileError(Kind kind, const QString &text);
    Kind kind() const { return m_kind; }

private:
    Kind m_kind;
};

// The list of sources on disk: "sources.json" in the data folder, written by AppState after
// every change, and the import of an exported file with fresh identities, so an imported
// source can never collide with, or reach the secrets of, an existing one.
namespace SourcesStore {

inline constexpr qint64 importLimit = 8388608;

QString fileName();
QString quarantineName();

// The user's data folder for Marrowick; not created here, the first save creates it.
QString defaultDirectory();

// The stored sources; empty when the file is missing, unreadable (then left in place), or too
// large or undecodable (then moved to "sources.json.corrupt", or "-2", "-3", ... when taken, so
// the next save cannot overwrite it). `problem` says which. Never throws.
QList<AnySourceConfig> load(const QString &directory, std::optional<FileProblem> *problem = nullptr);

// Removes what saves killed midway left beside "sources.json".
void removeLeftoverTemporaries(const QString &directory);

// Pretty-printed with sorted keys and "/" written as "\/". Throws JsonEncodeError.
QByteArray encode(const QList<AnySourceConfig> &sources);

// Why encoded sources cannot be kept: a "sources.json" over JSONFileStore::maximumFileSize could
// be neither saved nor read back, so sources that need one are refused before they replace
// anything. Empty when they fit.
QString sizeRefusal(const QByteArray &encoded);

// Encodes and atomically replaces "sources.json" (owner-only), creating the folder. Throws
// JsonEncodeError or FileStoreError.
void save(const QList<AnySourceConfig> &sources, const QString &directory);
// The same with the sources encoded already. Throws FileStoreError.
void saveEncoded(const QByteArray &encoded, const QString &directory);

// Reads an exported file: the first of each id, each with a new id and new secret reference
// names. Changes nothing. Throws SourcesFileError, or JsonDecodeError for a file that is not
// a sources document.
QList<AnySourceConfig> importSources(const QString &file);

// Later entries whose id was seen before are dropped; order kept.
QList<AnySourceConfig> uniqueByID(const QList<AnySourceConfig> &sources);

// A copy under a new random id; each secret reference present (always beszel's) is renamed to
// the case name, "-" and that id. No secret is stored under the new names.
AnySourceConfig withFreshIdentity(const AnySourceConfig &source);

} // namespace SourcesStore

} // namespace marrowick
