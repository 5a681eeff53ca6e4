#pragma once

#include "MarrowickKit/Engine/AlertEvaluator.h"
#include "MarrowickKit/Engine/JSONFileStore.h"

#include <QList>
#include <QString>

#include <optional>

namespace marrowick {

// "alerts.json" in a given folder: the sources and widgets declared down, so that an outage
// that outlives a restart of the program is not told twice and its recovery is still told.
// {"bootID": "<boot>", "marks": [{"source": "<UUID>", "widget": "<widget id>" (absent for the
// source itself), "since": <clock reading>, "announced": true|false}, ...]}; a damaged file is
// set aside as "alerts.json.corrupt" (then "-2", "-3", ...).
namespace AlertMarksStore {

QString fileName();
QString quarantineName();

// The stored marks; none when the file is missing, unreadable or damaged (`problem` says which,
// as HistoryStore::load does). Boot-time readings are kept where the file was written in the boot
// `bootID` names. Never throws.
QList<DownMark> load(const QString &directory, const QString &bootID, std::optional<FileProblem> *problem = nullptr);

// Removes what saves killed midway left beside "alerts.json".
void removeLeftoverTemporaries(const QString &directory);

// Writes the marks atomically, creating the folder. Throws FileStoreError or JsonEncodeError.
void save(const QList<DownMark> &marks, const QString &directory, const QString &bootID);

} // namespace AlertMarksStore

} // namespace marrowick
