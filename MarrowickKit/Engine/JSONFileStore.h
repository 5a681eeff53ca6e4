#pragma once

#include "MarrowickKit/Model/JsonReading.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <stdexcept>
#include <type_traits>

namespace marrowick {

// A file of ours that could not be saved; the text says which file and why.
class FileStoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The one reader and writer of the system's own JSON files. A damaged file costs its contents
// but never blocks a start; a write either lands whole or leaves the old file whole.
namespace JSONFileStore {

inline constexpr qint64 maximumFileSize = 8388608;

// Whether a regular file (or a link to one) is at `file`. Anything else (nothing, a folder, a
// pipe, a device) holds no bytes of ours and is never opened, so a pipe cannot block a start.
bool holdsFile(const QString &file);

// The first maximumFileSize + 1 bytes of the file, or nothing when it cannot be opened or read.
std::optional<QByteArray> readCapped(const QString &file);

// Replaces whatever is at `quarantine` with the file; failures are ignored, so a file that
// cannot be moved is tried again at its next load.
void moveToQuarantine(const QString &file, const QString &quarantine);

// Decodes the file with `decode` (QJsonValue -> T, throwing JsonDecodeError for the wrong
// shape). Nothing when no file is there. A file that is there but gives no value (unreadable,
// over the cap, or not decodable) is moved to `quarantine`: left in place, the next save would
// overwrite it. Never throws for the file's sake.
template<typename Decode>
auto load(const QString &file, const QString &quarantine, Decode decode)
    -> std::optional<std::invoke_result_t<Decode, QJsonValue>>
{
    if (!holdsFile(file))
        return std::nullopt;
    const auto bytes = readCapped(file);
    if (bytes && bytes->size() <= maximumFileSize) {
        try {
            return decode(parseJsonDocument(*bytes));
        } catch (const JsonDecodeError &) {
        }
    }
    moveToQuarantine(file, quarantine);
    return std::nullopt;
}

// Creates the file's folder when needed and replaces the file atomically. Bytes over the cap
// are refused, since load would ignore what they produce. Throws FileStoreError.
void save(const QByteArray &bytes, const QString &file);

} // namespace JSONFileStore

} // namespace marrowick
