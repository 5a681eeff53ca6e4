#pragma once

#include "MarrowickKit/Async/Cancellation.h"
#include "MarrowickKit/Async/Instant.h"
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
class HistoryRecorder : public QObject {
    Q_OBJECT
public:
    static constexpr double writeDelay = 30.0;
    using Clock = std::function<Instant()>;

    // Loads and trims the stored history at once; loading never marks it changed.
    HistoryRecorder(QString directory, SleepFunction sleep, Clock now, QObject *parent = nullptr);
    ~HistoryRecorder() override;

    PollHistory current() const { return m_history; }
    void record(const SourceSnapshot &snapshot, const PollHistory::StatusRule &statusOf,
                const PollHistory::LatencyRule &latencyOf);
    // Forgets the series of other sources; schedules a write only when a series went.
    void keepOnlySources(const QSet<QUuid> &sourceIDs);
    // Cancels the scheduled write and saves now when anything changed. Save failures are
    // dropped: there is nowhere to show them at quit.
    QCoro::Task<void> flush();

private:
    void scheduleWrite();
    void writeIfDirty();
    QCoro::Task<void> writeLater(CancelToken cancel);

    QString m_directory;
    SleepFunction m_sleep;
    Clock m_now;
    PollHistory m_history;
    std::optional<CancelSource> m_pendingWrite;
    bool m_isDirty = false;
};

} // namespace marrowick
