#pragma once

#include "MarrowickKit/Async/ClockReading.h"
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
// `trusted`, when given, receives the clock reading saved with it where it was saved in the boot
// `bootID` names, else nothing. Never throws.
PollHistory load(const QString &directory, std::optional<FileProblem> *problem = nullptr, const QString &bootID = {},
                 std::optional<ClockReading> *trusted = nullptr);

// Removes what saves killed midway left beside "history.json".
void removeLeftoverTemporaries(const QString &directory);

// Writes the history compactly and atomically, creating the folder, with the last reading at
// which the recorder trusted the wall clock, taken in the boot `bootID` names, as the member
// "clock" beside "samples" (readers of the samples alone pass it by). A history whose encoding
// would exceed the file store's cap loses its oldest samples until it fits, so that what is
// written always loads back. Throws FileStoreError or JsonEncodeError.
void save(const PollHistory &history, const QString &directory, const std::optional<ClockReading> &trusted = std::nullopt,
          const QString &bootID = {});

} // namespace HistoryStore

} // namespace marrowick
