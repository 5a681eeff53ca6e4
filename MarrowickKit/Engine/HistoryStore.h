#pragma once

#include "MarrowickKit/Engine/JSONFileStore.h"
#include "MarrowickKit/Engine/PollHistory.h"

#include <QString>

namespace marrowick {

// "history.json" in a given folder, with "history.json.corrupt" (then "-2", "-3", ...) beside it
// for damaged copies.
namespace HistoryStore {

QString fileName();
QString quarantineName();

// The stored history; an empty one when the file is missing, unreadable, too large or damaged
// (a damaged file is set aside first, an unreadable one left in place; `problem` says which).
// Never throws.
PollHistory load(const QString &directory, std::optional<FileProblem> *problem = nullptr);

// Removes what saves killed midway left beside "history.json".
void removeLeftoverTemporaries(const QString &directory);

// Writes the history compactly and atomically, creating the folder. A history whose encoding
// would exceed the file store's cap loses its oldest samples until it fits, so that what is
// written always loads back. Throws FileStoreError or JsonEncodeError.
void save(const PollHistory &history, const QString &directory);

} // namespace HistoryStore

} // namespace marrowick
