#include "MarrowickKit/Engine/HistoryRecorder.h"

#include "MarrowickKit/Engine/HistoryStore.h"

#include <QtDebug>

#include <algorithm>
#include <cmath>

namespace marrowick {

HistoryRecorder::HistoryRecorder(QString directory, SleepFunction sleep, Clock now, BootClock bootClock,
                                 QObject *parent)
    : QObject(parent),
      m_directory(std::move(directory)),
      m_sleep(std::move(sleep)),
      m_now(std::move(now)),
      m_bootClock(std::move(bootClock))
{
    HistoryStore::removeLeftoverTemporaries(m_directory);
    m_history = HistoryStore::load(m_directory, &m_loadProblem, m_bootClock.bootID, &m_trusted);
    m_history.trim(ageReference());
}

HistoryRecorder::~HistoryRecorder()
{
    // The write task wakes up cancelled and ends without touching us.
    if (m_pendingWrite)
        m_pendingWrite->cancel();
}

void HistoryRecorder::record(const SourceSnapshot &snapshot, const PollHistory::StatusRule &statusOf,
                             const PollHistory::LatencyRule &latencyOf)
{
    m_history.record(snapshot, statusOf, latencyOf, ageReference());
    scheduleWrite();
}

Instant HistoryRecorder::ageReference()
{
    const ClockReading now = ClockReading::now(m_now, m_bootClock);
    // Without an earlier reading of this boot there is nothing to check the wall clock against.
    if (!m_trusted) {
        m_trusted = now;
        return now.wall;
    }
    const Instant counted = m_trusted->wall.advanced(ClockReading::secondsBetween(*m_trusted, now));
    if (std::abs(now.wall.sinceReference - counted.sinceReference) <= clockAgreement)
        m_trusted = now;
    return std::min(now.wall, counted);
}

void HistoryRecorder::keepOnlySources(const QSet<QUuid> &sourceIDs)
{
    const qsizetype before = m_history.samples().size();
    m_history.removeSourcesNotIn(sourceIDs);
    if (m_history.samples().size() != before)
        scheduleWrite();
}

void HistoryRecorder::renameKeys(const QHash<QString, QString> &newKeys)
{
    if (m_history.renameKeys(newKeys))
        scheduleWrite();
}

QCoro::Task<void> HistoryRecorder::flush()
{
    if (m_pendingWrite) {
        m_pendingWrite->cancel();
        m_pendingWrite.reset();
    }
    writeIfDirty();
    co_return;
}

void HistoryRecorder::scheduleWrite()
{
    m_isDirty = true;
    if (m_pendingWrite)
        return;
    m_pendingWrite.emplace();
    [[maybe_unused]] auto task = writeLater(m_pendingWrite->token());
}

void HistoryRecorder::writeIfDirty()
{
    m_pendingWrite.reset();
    // An unread file stays as it is; the user was told at start.
    if (!m_isDirty || (m_loadProblem && m_loadProblem->blocksSaving()))
        return;
    QString failure;
    try {
        HistoryStore::save(m_history, m_directory, m_trusted, m_bootClock.bootID);
    } catch (const std::exception &error) {
        // Still dirty: the next change schedules the next attempt, and flush() tries too.
        failure = QString::fromUtf8(error.what());
        if (failure.isEmpty())
            failure = QStringLiteral("unknown error");
    }
    m_isDirty = !failure.isEmpty();
    setWriteError(failure);
    emit writeAttempted();
}

void HistoryRecorder::setWriteError(const QString &error)
{
    if (error == m_writeError)
        return;
    m_writeError = error;
    // Logged once per failure, not at every retry.
    if (!error.isEmpty())
        qWarning().noquote() << QStringLiteral("The history could not be saved: %1").arg(error);
    emit writeErrorChanged(m_writeError);
}

QCoro::Task<void> HistoryRecorder::writeLater(CancelToken cancel)
{
    co_await m_sleep(writeDelay, cancel);
    // Cancelled by flush() or by our destruction: `this` may be gone.
    if (cancel.isCancelled())
        co_return;
    writeIfDirty();
}

} // namespace marrowick
