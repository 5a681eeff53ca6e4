#pragma once

#include <QByteArray>
#include <QString>

#include <stdexcept>

namespace marrowick {

// A file of ours that could not be saved; the text says which file and why.
class FileStoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Replacing a file so that a reader finds either the old bytes or all of the new ones, even
// after a full disk or a kill midway.
namespace AtomicFile {

// Writes `bytes` to a new temporary beside the file, owner-only, checks that every byte reached
// the disk, then renames it over the file and makes the folder hold the rename, so that a power
// cut does not bring the old file back. A link stays a link: the file it names is replaced.
// Creates the folder when needed. On failure the file is untouched and the temporary gone.
// Throws FileStoreError.
void write(const QByteArray &bytes, const QString &file);

// Copies `file` to `copy`, a name that must be new: false when it is taken, and nothing is
// replaced. As write() writes, owner-only and every byte on the disk before the name appears,
// through a temporary named as those of `file` (so removeLeftoverTemporaries(file) clears what
// a kill leaves) in the folder of `copy`. Throws FileStoreError.
bool copyToNewName(const QString &file, const QString &copy);

// Checks that a file of `bytes` fits beside the file: writes that many bytes to a temporary
// there, makes sure the disk holds them, and removes it. For writers that cannot tell when
// their own last bytes were refused. Throws FileStoreError with the reason (a full disk, a
// file-size limit).
void checkRoom(qint64 bytes, const QString &file);

// Makes the disk hold a file another writer has put in place (one that does not sync), and
// its folder the name. Throws FileStoreError when the file's bytes may not be on the disk.
void syncToDisk(const QString &file);

// Creates `folder` and the folders above it where missing, owner-only; one that is there keeps
// its mode. An empty text, else why not (the first refusal met, such as a folder above that
// cannot be written).
QString createFolder(const QString &folder);

// Removes the temporaries that writes of `file` killed midway left beside it: only names that
// write() makes, never a copy the user made.
void removeLeftoverTemporaries(const QString &file);

} // namespace AtomicFile

} // namespace marrowick
