#pragma once

#include "MarrowickKit/Async/Cancellation.h"
#include "MarrowickKit/Async/ClockReading.h"
#include "MarrowickKit/Async/Instant.h"
#include "MarrowickKit/Engine/JSONFileStore.h"
#include "MarrowickKit/Engine/PollHistory.h"
#include "MarrowickKit/Async/Sleep.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QUuid>

#include <QCoro/QCoroTask>

#include <functional>
#include <optional>

namespace marrowick {

// Owns the live poll history and writes "history.json" lazily: the first change after a quiet
// spell schedules one write `writeDelay` seconds later, which saves everything changed meanwhile.
// A failed write keeps the changes pending for the next one; a file that could not be read at
// start is never written over while it is there.
//
// Samples are dropped for their age only as far as the wall clock can be trusted: against the
// time the boot-time clock has counted since the last reading at which both clocks agreed, or
// the wall clock where it is behind that. A clock set ahead, even for a minute or before the
// start (the file keeps the last agreeing reading), erases nothing; one set back drops less.
class HistoryRecorder : public QObject {
    Q_OBJECT
public:
    static constexpr double writeDelay = 30.0;
    // How far the two clocks may part between readings and still agree: a time service's small
    // steps, never a week.
    static constexpr double clockAgreement = 60.0;
    using Clock = std::function<Instant()>;

    // Loads and trims the stored history at once, after removing temporaries of killed writes;
    // loading never marks it changed.
    HistoryRecorder(QString directory, SleepFunction sleep, Clock now, BootClock bootClock, QObject *parent = nullptr);
    ~HistoryRecorder() override;

    const PollHistory &current() const { return m_history; }
    void record(const SourceSnapshot &snapshot, const PollHistory::StatusRule &statusOf,
                const PollHistory::LatencyRule &latencyOf);
    // Forgets the series of other sources; schedules a write only when a series went.
    void keepOnlySources(const QSet<QUuid> &sourceIDs);
    // Moves series to new keys (PollHistory::renameKeys); schedules a write only when one moved.
    void renameKeys(const QHash<QString, QString> &newKeys);
    // Cancels the scheduled write and saves now when anything changed. A failure is only
    // logged and kept in writeError().
    QCoro::Task<void> flush();

    // What was wrong with "history.json" at start; nothing when it loaded or was not there.
    const std::optional<FileProblem> &loadProblem() const { return m_loadProblem; }
    // Why the last write failed; empty once one succeeds.
    const QString &writeError() const { return m_writeError; }

signals:
    void writeErrorChanged(const QString &error);
    // After every attempt to write the file, whether it landed or not.
    void writeAttempted();

private:
    void scheduleWrite();
    void writeIfDirty();
    QCoro::Task<void> writeLater(CancelToken cancel);
    void setWriteError(const QString &error);
    // The latest time samples may be judged old against: the wall clock's reading where it
    // agrees with the boot-time clock's count since the last agreeing reading, or is behind it.
    Instant ageReference();

    QString m_directory;
    SleepFunction m_sleep;
    Clock m_now;
    BootClock m_bootClock;
    // The last reading at which the wall clock agreed with the boot-time clock.
    std::optional<ClockReading> m_trusted;
    std::optional<FileProblem> m_loadProblem;
    PollHistory m_history;
    QString m_writeError;
    std::optional<CancelSource> m_pendingWrite;
    bool m_isDirty = false;
};

} // namespace marrowick
