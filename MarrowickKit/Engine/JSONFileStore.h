#pragma once

#include "MarrowickKit/Engine/AtomicFile.h"
#include "MarrowickKit/Model/JsonReading.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <type_traits>

namespace marrowick {

// A file of ours that a load found but could not use, and what became of it.
struct FileProblem {
    enum class Kind {
        setAside,    // damaged: moved whole to `copy`
        copiedAside, // damaged but still read as far as it goes (the settings): copied whole to `copy`
        leftInPlace  // unreadable, or damaged and not movable: still at `file`, never overwritten
    };
    Kind kind = Kind::leftInPlace;
    QString file;
    QString copy;
    QString reason;
    // The size of a file not read for being over maximumFileSize, rather than damaged.
    std::optional<qint64> oversize;

    // Whether a save must not replace `file`: its contents were never read and it is still there.
    bool blocksSaving() const;
    // One sentence for the user and the log: which file, and where it or its copy is.
    QString text() const;
    // Why a save refuses to replace it, while blocksSaving().
    QString savingRefusal() const;
};

// The one reader and writer of the system's own JSON files. A damaged file costs its contents
// but never blocks a start and is never lost; a write either lands whole or leaves the old file
// whole.
namespace JSONFileStore {

inline constexpr qint64 maximumFileSize = 8388608;

// Whether a regular file (or a link to one) is at `file`. Anything else (nothing, a folder, a
// pipe, a device) holds no bytes of ours and is never opened, so a pipe cannot block a start.
bool holdsFile(const QString &file);

// The first maximumFileSize + 1 bytes of the file, or nothing when it cannot be opened or read
// (then `error` says why).
std::optional<QByteArray> readCapped(const QString &file, QString *error = nullptr);

// Moves the damaged file, or one over the cap when `tooLarge`, to `quarantine`, or to the first
// of `quarantine`-2, -3, ... that is free: an earlier copy is never replaced. Logs what it did.
FileProblem setAside(const QString &file, const QString &quarantine, bool tooLarge = false);

// Copies the damaged file, which stays in use, as setAside() names its copy: an earlier copy is
// never replaced, and one that holds the same bytes is named instead of a new one. Where no copy
// can be kept, the file is left in place. Logs what it did.
FileProblem copyAside(const QString &file, const QString &quarantine);

// Records and logs that the file stays where it is, unread.
FileProblem leaveInPlace(const QString &file, const QString &reason);

// Decodes the file with `decode` (QJsonValue -> T, throwing JsonDecodeError for the wrong
// shape). Nothing when no file is there. A file that cannot be read is left in place; one that
// is over the cap or not decodable is set aside whole (left in place, the next save would
// overwrite it). Either way `problem`, when given, says so; it is reset otherwise. Never throws
// for the file's sake.
template<typename Decode>
auto load(const QString &file, const QString &quarantine, Decode decode, std::optional<FileProblem> *problem = nullptr)
    -> std::optional<std::invoke_result_t<Decode, QJsonValue>>
{
    if (problem)
        problem->reset();
    if (!holdsFile(file))
        return std::nullopt;
    QString readError;
    const auto bytes = readCapped(file, &readError);
    if (!bytes) {
        const FileProblem found = leaveInPlace(file, readError);
        if (problem)
            *problem = found;
        return std::nullopt;
    }
    const bool tooLarge = bytes->size() > maximumFileSize;
    if (!tooLarge) {
        try {
            return decode(parseJsonDocument(*bytes));
        } catch (const JsonDecodeError &) {
        }
    }
    const FileProblem found = setAside(file, quarantine, tooLarge);
    if (problem)
        *problem = found;
    return std::nullopt;
}

// Replaces the file through AtomicFile::write. Bytes over the cap are refused, since load would
// ignore what they produce. Throws FileStoreError.
void save(const QByteArray &bytes, const QString &file);

} // namespace JSONFileStore

} // namespace marrowick
