#pragma once

#include "Marrowick/State/AlertCenter.h"
#include "Marrowick/State/OverallStatus.h"
#include "Marrowick/State/OverallStatusTally.h"
#include "Marrowick/State/ProcessActivity.h"
#include "Marrowick/State/SaveFailure.h"
#include "Marrowick/State/WidgetLayout.h"
#include "MarrowickKit/Engine/AlertEvaluator.h"
#include "MarrowickKit/Model/AnySourceConfig.h"
#include "MarrowickKit/Async/ClockReading.h"
#include "MarrowickKit/Async/Completion.h"
#include "MarrowickKit/Credentials/CredentialStore.h"
#include "MarrowickKit/Engine/HistoryRecorder.h"
#include "MarrowickKit/Engine/PollEngine.h"
#include "MarrowickKit/Async/Sleep.h"
#include "MarrowickKit/Engine/SourceMap.h"
#include "MarrowickKit/Engine/SourceProvider.h"
#include "MarrowickKit/Model/SourceSnapshot.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

namespace marrowick {

class AppSettings;

// What AppState is built with. The application hands in the keyring, the real data folder,
// the registry, the continuous-clock sleep, the wall clock and the boot-time clock; tests hand in
// fakes, a temporary folder and virtual time.
struct AppStateServices {
    CredentialStoreHandle credentials;
    QString sourcesDirectory;
    // The settings the layout and the alert switches live in; must outlive the state.
    AppSettings *settings = nullptr;
    std::shared_ptr<AlertCenter> alertCenter;
    ProviderFactory makeProvider;
    SleepFunction sleep;
    std::function<Instant()> now;
    // Measures outages, and tells the history when the wall clock can be trusted.
    BootClock bootClock;
    // Under an automated UI test the engine waits for the first change and nothing is posted.
    bool isUnderTest = false;
    // What this computer knows of its network; none: only failures that say so are its own.
    std::shared_ptr<NetworkStatus> network;
};

// The one object every view reads and the only way views change anything. It owns the
// sources (and keeps "sources.json" in step), the latest results, the latency series of the
// sparklines, the widget layout and the paused flag; it drives the poll engine and turns its
// updates into history and alerts. The alert evaluator's down marks outlive a restart in
// "alerts.json", so an outage is told once and its recovery still is. Main thread only. Each property has its own change signal,
// emitted only when the value really differs; side effects of an assignment run either way.
//
// A poll costs the same at any number of sources: it touches only the polled source's entries,
// history and alert counts, and the overall status is tallied incrementally. Views follow
// `sourceResultChanged` for one source's results and the structural signals (`sourcesChanged`,
// `widgetLayoutChanged`, `isPausedChanged`, `overallStatusChanged`) for the rest; nothing whose
// work grows with the number of sources may follow `snapshotsChanged`, `errorsChanged` or
// `latencyHistoryChanged`, which fire on every poll.
class AppState : public QObject {
    Q_OBJECT

public:
    static constexpr qsizetype latencySeriesLength = 30;
    // A change of the down marks is written this many seconds later, with those made meanwhile.
    static constexpr double alertMarksWriteDelay = 2.0;
    static inline const QString underTestVariable = QStringLiteral("XCTestConfigurationFilePath");

    explicit AppState(AppStateServices services, QObject *parent = nullptr);
    ~AppState() override;

    // Whether the process environment names an automated UI test run.
    static bool environmentIsUnderTest();

    const QList<AnySourceConfig> &sources() const { return m_sources; }
    const SourceMap<SourceSnapshot> &snapshots() const { return m_snapshots; }
    const SourceMap<QString> &errors() const { return m_errors; }
    const QHash<QString, QList<double>> &latencyHistory() const { return m_latencyHistory; }
    const WidgetLayout &widgetLayout() const { return m_widgetLayout; }
    // One source's configuration, latest snapshot and error; nothing when absent. A pointer
    // lives until the state changes.
    const AnySourceConfig *source(const QUuid &id) const;
    const SourceSnapshot *snapshot(const QUuid &id) const { return m_snapshots.find(id); }
    const QString *error(const QUuid &id) const { return m_errors.find(id); }
    // The sparkline series of one widget key ("<source id>/<widget id>"); empty when absent.
    QList<double> latencySeries(const QString &widgetKey) const { return m_latencyHistory.value(widgetKey); }
    bool isPaused() const { return m_isPaused; }
    OverallStatus overallStatus() const;
    // Why the last write of "sources.json" failed; empty once a write succeeds. While it is
    // set, the sources in memory are unsaved and the write is tried again after every write of
    // the history, at the next change and before quitting.
    const QString &sourcesSaveError() const { return m_sourcesSaveFailure.reason(); }
    // Whether a source's last poll failed for want of a network on this computer.
    bool isWithoutNetwork() const { return !m_withoutNetwork.isEmpty(); }
    // What every window says while the sources are unsaved; empty once they are saved.
    QString unsavedSourcesText() const { return m_sourcesSaveFailure.text(); }
    // What the user should know about the data files and the settings, one sentence a line: a
    // file found damaged or unreadable at start, and the history while it cannot be saved. Empty
    // when all is well.
    const QString &storageNotice() const { return m_storageNotice; }

    static OverallStatus computeOverallStatus(const SourceMap<SourceSnapshot> &snapshots,
                                              const SourceMap<QString> &errors);

    // A change that would need a larger "sources.json" than can be saved is refused, since it
    // would be lost at quit: nothing changes, and the text says why. Empty when it was made.
    // Every assignment, also of an unchanged list, writes "sources.json" and re-synchronises.
    QString setSources(QList<AnySourceConfig> sources);
    QString addSource(const AnySourceConfig &source);
    // Replaces the first source with the same id; an unknown id changes nothing at all.
    QString updateSource(const AnySourceConfig &source);
    // Removes every source with the id, its latency series and history; the secrets no other
    // source uses go once the list without it is saved.
    void deleteSource(const QUuid &id);
    QString replaceSources(QList<AnySourceConfig> sources);
    // Why putting `source` in place of the source with its id, or adding it where there is none,
    // would be refused; empty where it would not. Changes nothing.
    QString refusalToKeep(const AnySourceConfig &source) const;
    // Polls every source now, letting a keyring that refused ask again; nothing while paused.
    void refreshAll();
    // Polls the source now, once the engine has the changes made before; nothing while paused.
    // For what the engine does not compare: a secret saved for an unchanged configuration
    // would otherwise wait out the source's back-off.
    void refreshSource(const QUuid &id);
    // Every assignment re-synchronises the engine, also of an unchanged value.
    void setPaused(bool paused);
    // Stores and saves the layout.
    void setWidgetLayout(const WidgetLayout &layout);

    // Chains one engine synchronisation behind the previous one, with the state of now.
    void syncEngine();
    // What a quit now would lose, one sentence a line, after the sources, the settings and the
    // history have been written once more: those that still cannot be saved. Empty when
    // everything is saved.
    QStringList unsavedAtQuit();
    // Writes unsaved sources, settings and down marks, then the history, before the process
    // ends; logs, once, sources that still cannot be saved. All of it is done when the call
    // returns (the recorder's flush writes at once), also where the task is dropped and no
    // event loop runs.
    QCoro::Task<void> saveBeforeQuit();

    // Saves of a secret under one reference run one after another: `done` completes once this one
    // is over, what takes it back included. Returns the save to wait for first, if one is running.
    std::optional<Completion<Done>> queueSecretSave(const QString &reference, const Completion<Done> &done);

    CredentialStoreHandle credentials() const { return m_credentials; }
    std::shared_ptr<AlertCenter> alertCenter() const { return m_alertCenter; }
    HistoryRecorder *historyRecorder() const { return m_historyRecorder.get(); }
    PollEngine *engine() const { return m_engine.get(); }
    AppSettings *widgetLayoutDefaults() const { return m_settings; }
    const QString &sourcesDirectory() const { return m_sourcesDirectory; }
    const ProcessActivity &pollingActivity() const { return m_pollingActivity; }

    // Receives every batch of alert events before anything is posted.
    void setAlertEventsSink(std::function<void(const QList<AlertEvent> &)> sink);

    QList<AlertEvent> evaluateAlerts(const QUuid &sourceID, const PollEngine::Update &update);
    // Posts what the switches allow; a recovery only where its outage's down was posted.
    void deliverAlerts(const QList<AlertEvent> &events);

    // The statuses and latencies that the history keeps for each kind of widget.
    static ServiceStatus historyStatus(const WidgetData &widget);
    // Down before warn before up before unknown; unknown for no widgets.
    static ServiceStatus worstStatus(const QList<WidgetData> &widgets);
    static std::optional<double> historyLatency(const WidgetData &widget);

signals:
    void sourcesChanged();
    void snapshotsChanged();
    void errorsChanged();
    void latencyHistoryChanged();
    // Once per handled engine update, for the polled source, when its snapshot, error or
    // latency series changed; for every source whose results an update without a poll changed
    // (a removed source's results went).
    void sourceResultChanged(const QUuid &sourceID);
    void widgetLayoutChanged();
    void isPausedChanged();
    void overallStatusChanged(marrowick::OverallStatus status);
    // The text is empty again once a write succeeds.
    void sourcesSaveErrorChanged(const QString &error);
    void storageNoticeChanged(const QString &notice);
    void isWithoutNetworkChanged(bool withoutNetwork);

private:
    // Stores, writes (the encoding, when at hand) and synchronises the sources, after noting the
    // secrets of those `going`.
    void assignSources(QList<AnySourceConfig> sources, const QList<AnySourceConfig> &going,
                       const std::optional<QByteArray> &encoded);
    void storeSources(QList<AnySourceConfig> sources);
    // Writes "sources.json" (the encoding, when at hand). One that could not be read at start is
    // never replaced while it is there: the write fails and says so.
    void writeSourcesFile(const std::optional<QByteArray> &encoded = std::nullopt);
    void retryUnsavedSources();
    void refreshStorageNotice();
    void setPollingActivity(bool on);
    void startObservingUpdates();
    static QCoro::Task<void> consumeUpdates(QPointer<AppState> self, PollEngine::Subscription *subscription);
    // Runs `step` on the engine after every step chained before it.
    void chainEngineStep(std::function<void(PollEngine &)> step);
    static QCoro::Task<void> runEngineStep(std::optional<Completion<Done>> previous, Completion<Done> done,
                                           QPointer<PollEngine> engine, std::function<void(PollEngine &)> step);
    static QCoro::Task<void> removeSecrets(CredentialStoreHandle credentials, QList<QString> references);
    void handleUpdate(const PollEngine::Update &update);
    // The sparklines' series from the history file (an import reads it again), or from a history
    // at hand.
    void loadHistory();
    // Moves what the history and the layout hold under a game widget's former key to its key.
    void carryOverGameWidgetKeys();
    void seedLatencyHistory(const PollHistory &history);
    // Notes the secrets of sources about to be replaced or removed; each write that lands
    // removes those no source uses any more.
    void noteSecretsOf(const QList<AnySourceConfig> &going);
    void removeUnusedSecrets();
    void pruneRecorderHistory(const QList<AnySourceConfig> &keeping);
    bool recordLatency(const SourceSnapshot &snapshot, const QUuid &sourceID);
    void reindexSources();
    void setPolledResult(const QUuid &sourceID, const PollEngine::Update &update, bool latencyChanged);
    void setResults(const SourceMap<SourceSnapshot> &snapshots, const SourceMap<QString> &errors);
    // Notes whether the source now waits for the network.
    void noteWithoutNetwork(const QUuid &sourceID, const PollEngine::Update &update);
    void notifyIfOverallStatusChanged();
    ClockReading clockNow() const;
    // Takes up the marks "alerts.json" kept of the sources there are.
    void restoreAlertMarks();
    // Schedules a write of the down marks when they changed since the last one.
    void noteAlertMarksChange();
    QCoro::Task<void> writeAlertMarksLater(CancelToken cancel);
    void writeAlertMarks();

    QList<AnySourceConfig> m_sources;
    QHash<QUuid, qsizetype> m_sourceIndex; // first position of each id in m_sources
    OverallStatusTally m_tally;
    SourceMap<SourceSnapshot> m_snapshots;
    SourceMap<QString> m_errors;
    QSet<QUuid> m_withoutNetwork;
    QHash<QString, QList<double>> m_latencyHistory;
    WidgetLayout m_widgetLayout;
    AppSettings *m_settings;
    AlertEvaluator m_alertEvaluator;
    std::shared_ptr<AlertCenter> m_alertCenter;
    std::function<void(const QList<AlertEvent> &)> m_alertEventsSink;
    bool m_isPaused = false;
    std::unique_ptr<PollEngine> m_engine;
    CredentialStoreHandle m_credentials;
    std::unique_ptr<HistoryRecorder> m_historyRecorder;
    QString m_sourcesDirectory;
    std::unique_ptr<PollEngine::Subscription> m_updates;
    std::optional<Completion<Done>> m_syncDone;
    ProcessActivity m_pollingActivity;
    std::function<Instant()> m_now;
    BootClock m_bootClock;
    SleepFunction m_sleep;
    bool m_isUnderTest;
    std::optional<FileProblem> m_alertMarksLoadProblem;
    // The evaluator's marks revision "alerts.json" holds; nothing when it holds other marks.
    std::optional<quint64> m_savedMarksRevision;
    std::optional<CancelSource> m_pendingMarksWrite;
    QString m_alertMarksWriteError;
    std::optional<FileProblem> m_sourcesLoadProblem;
    SaveFailure m_sourcesSaveFailure{QStringLiteral("sources")};
    // References of sources that went, kept in the keyring while the file may still name them.
    QList<QString> m_secretsToRemove;
    // The last save of each secret, by reference, while it runs.
    QHash<QString, Completion<Done>> m_secretSaves;
    bool m_toldUnsavedAtQuit = false;
    QString m_storageNotice;
    OverallStatus m_lastOverallStatus = OverallStatus::unknown;
};

} // namespace marrowick
