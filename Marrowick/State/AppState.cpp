#include "Marrowick/State/AppState.h"

#include "Marrowick/State/AppSettings.h"
#include "Marrowick/State/SourcesStore.h"
#include "MarrowickKit/Engine/AlertMarksStore.h"
#include "MarrowickKit/Engine/HistoryStore.h"
#include "MarrowickKit/Model/UuidText.h"

#include <QSet>
#include <QStringList>
#include <QtDebug>

namespace marrowick {

namespace {

AlertCenter::EventKind eventKind(AlertEvent::Kind kind)
{
    return kind == AlertEvent::Kind::recovered ? AlertCenter::EventKind::recovered : AlertCenter::EventKind::down;
}

// A widget key belongs to a source when it starts with the source's id text and "/".
QString keyPrefix(const QUuid &sourceID)
{
    return uuidText(sourceID) + QLatin1Char('/');
}

QString gameWidgetKey(const QUuid &sourceID, const QString &widgetID)
{
    GameServerStatus status;
    status.id = widgetID;
    return WidgetData::game(status).scopedID(sourceID);
}

// A game widget was once known by its source's display name, which a rename changed; it is
// known by the source's id now. The keys stored under the name the source has move over.
QHash<QString, QString> gameWidgetKeysByName(const QList<AnySourceConfig> &sources)
{
    QHash<QString, QString> newKeys;
    for (const AnySourceConfig &source : sources) {
        if (source.get<GameServerConfig>())
            newKeys.insert(gameWidgetKey(source.id(), source.displayName()),
                           gameWidgetKey(source.id(), uuidText(source.id())));
    }
    return newKeys;
}

// Nothing for sources that cannot be encoded: the write fails and says why.
std::optional<QByteArray> encodedOrNothing(const QList<AnySourceConfig> &sources)
{
    try {
        return SourcesStore::encode(sources);
    } catch (const std::exception &) {
        return std::nullopt;
    }
}

// Why sources of this encoding are refused; empty where they fit or where they cannot be
// encoded, which the write tells.
QString refusal(const std::optional<QByteArray> &encoded)
{
    return encoded ? SourcesStore::sizeRefusal(*encoded) : QString();
}

QList<QString> secretReferences(const QList<AnySourceConfig> &sources)
{
    QList<QString> references;
    for (const AnySourceConfig &source : sources) {
        if (const std::optional<QString> reference = source.credentialRef(); reference && !references.contains(*reference))
            references.append(*reference);
    }
    return references;
}

} // namespace

AppState::AppState(AppStateServices services, QObject *parent)
    : QObject(parent),
      m_settings(services.settings),
      m_alertCenter(std::move(services.alertCenter)),
      m_engine(std::make_unique<PollEngine>(services.credentials, std::move(services.makeProvider), services.sleep,
                                            std::move(services.network))),
      m_credentials(services.credentials),
      m_historyRecorder(std::make_unique<HistoryRecorder>(services.sourcesDirectory, services.sleep, services.now,
                                                          services.bootClock)),
      m_sourcesDirectory(services.sourcesDirectory),
      m_now(std::move(services.now)),
      m_bootClock(std::move(services.bootClock)),
      m_sleep(std::move(services.sleep)),
      m_isUnderTest(services.isUnderTest)
{
    Q_ASSERT(m_settings);
    // Loaded directly: reading the file neither writes it back nor starts polling.
    SourcesStore::removeLeftoverTemporaries(m_sourcesDirectory);
    m_sources = SourcesStore::load(m_sourcesDirectory, &m_sourcesLoadProblem);
    reindexSources();
    restoreAlertMarks();
    connect(m_historyRecorder.get(), &HistoryRecorder::writeErrorChanged, this, &AppState::refreshStorageNotice);
    // The history is written about every half minute while polling: a free retry for the sources.
    connect(m_historyRecorder.get(), &HistoryRecorder::writeAttempted, this, &AppState::retryUnsavedSources);
    refreshStorageNotice();
    m_widgetLayout = WidgetLayout::load(*m_settings);
    carryOverGameWidgetKeys();
    startObservingUpdates();
    // The recorder has just read the file: it is read once.
    seedLatencyHistory(m_historyRecorder->current());
    if (!m_isUnderTest)
        syncEngine();
    m_lastOverallStatus = overallStatus();
}

AppState::~AppState()
{
    // Ends the update consumer: its waiting next() fails and it finds us gone. A running
    // synchronisation finds the engine gone and does nothing; the write of the down marks wakes
    // up cancelled and ends without touching us.
    if (m_pendingMarksWrite)
        m_pendingMarksWrite->cancel();
    m_updates.reset();
    if (m_pollingActivity.isHeld())
        m_pollingActivity.end();
}

bool AppState::environmentIsUnderTest()
{
    return qEnvironmentVariableIsSet(underTestVariable.toLatin1().constData());
}

// ---- Sources -------------------------------------------------------------------------------

void AppState::storeSources(QList<AnySourceConfig> sources)
{
    if (sources == m_sources)
        return;
    m_sources = std::move(sources);
    reindexSources();
    m_alertEvaluator.forgetSources([this](const QUuid &id) { return !m_sourceIndex.contains(id); });
    noteAlertMarksChange();
    emit sourcesChanged();
}

void AppState::reindexSources()
{
    m_sourceIndex.clear();
    m_sourceIndex.reserve(m_sources.size());
    for (qsizetype i = 0; i < m_sources.size(); ++i) {
        // The first of duplicate ids wins, as a search from the front finds it.
        if (!m_sourceIndex.contains(m_sources.at(i).id()))
            m_sourceIndex.insert(m_sources.at(i).id(), i);
    }
}

const AnySourceConfig *AppState::source(const QUuid &id) const
{
    const auto found = m_sourceIndex.constFind(id);
    return found == m_sourceIndex.cend() ? nullptr : &m_sources.at(*found);
}

QString AppState::setSources(QList<AnySourceConfig> sources)
{
    const std::optional<QByteArray> encoded = encodedOrNothing(sources);
    if (QString refused = refusal(encoded); !refused.isEmpty())
        return refused;
    assignSources(std::move(sources), {}, encoded);
    return QString();
}

QString AppState::addSource(const AnySourceConfig &source)
{
    QList<AnySourceConfig> sources = m_sources;
    sources.append(source);
    return setSources(std::move(sources));
}

QString AppState::updateSource(const AnySourceConfig &source)
{
    const auto found = m_sourceIndex.constFind(source.id());
    if (found == m_sourceIndex.cend())
        return QString();
    QList<AnySourceConfig> sources = m_sources;
    const AnySourceConfig going = std::exchange(sources[*found], source);
    const std::optional<QByteArray> encoded = encodedOrNothing(sources);
    if (QString refused = refusal(encoded); !refused.isEmpty())
        return refused;
    assignSources(std::move(sources), {going}, encoded);
    return QString();
}

QString AppState::refusalToKeep(const AnySourceConfig &source) const
{
    QList<AnySourceConfig> sources = m_sources;
    if (const auto found = m_sourceIndex.constFind(source.id()); found != m_sourceIndex.cend())
        sources[*found] = source;
    else
        sources.append(source);
    return refusal(encodedOrNothing(sources));
}

void AppState::assignSources(QList<AnySourceConfig> sources, const QList<AnySourceConfig> &going,
                             const std::optional<QByteArray> &encoded)
{
    noteSecretsOf(going);
    storeSources(std::move(sources));
    writeSourcesFile(encoded);
    syncEngine();
}

void AppState::deleteSource(const QUuid &id)
{
    QList<AnySourceConfig> removed;
    QList<AnySourceConfig> remaining;
    for (const AnySourceConfig &source : std::as_const(m_sources))
        (source.id() == id ? removed : remaining).append(source);

    const QString prefix = keyPrefix(id);
    const qsizetype seriesBefore = m_latencyHistory.size();
    m_latencyHistory.removeIf([&prefix](const auto &entry) { return entry.key().startsWith(prefix); });
    if (m_latencyHistory.size() != seriesBefore)
        emit latencyHistoryChanged();

    // Fewer sources always fit.
    assignSources(std::move(remaining), removed, std::nullopt);
    pruneRecorderHistory(m_sources);
}

QString AppState::replaceSources(QList<AnySourceConfig> sources)
{
    const std::optional<QByteArray> encoded = encodedOrNothing(sources);
    if (QString refused = refusal(encoded); !refused.isEmpty())
        return refused;
    if (!m_latencyHistory.isEmpty()) {
        m_latencyHistory.clear();
        emit latencyHistoryChanged();
    }
    const QList<AnySourceConfig> going = m_sources;
    assignSources(std::move(sources), going, encoded);
    pruneRecorderHistory(m_sources);
    loadHistory();
    return QString();
}

void AppState::writeSourcesFile(const std::optional<QByteArray> &encoded)
{
    QString failure;
    if (m_sourcesLoadProblem && m_sourcesLoadProblem->blocksSaving()) {
        // Replacing it would lose every source it holds.
        failure = m_sourcesLoadProblem->savingRefusal();
    } else {
        try {
            if (encoded)
                SourcesStore::saveEncoded(*encoded, m_sourcesDirectory);
            else
                SourcesStore::save(m_sources, m_sourcesDirectory);
        } catch (const std::exception &error) {
            // The list stays as assigned in memory; the next change tries the write again.
            failure = QString::fromUtf8(error.what());
            if (failure.isEmpty())
                failure = QStringLiteral("unknown error");
        }
    }
    if (m_sourcesSaveFailure.record(failure))
        emit sourcesSaveErrorChanged(failure);
    removeUnusedSecrets();
}

void AppState::retryUnsavedSources()
{
    if (!sourcesSaveError().isEmpty())
        writeSourcesFile();
}

QStringList AppState::unsavedAtQuit()
{
    retryUnsavedSources();
    m_settings->sync();
    // Written at once: a disk that is full or read-only now would lose the history at quit too.
    [[maybe_unused]] auto written = m_historyRecorder->flush();
    const QString lost = QStringLiteral("%1 could not be saved (%2), so %3 since %4 last save would be lost.");
    QStringList lines;
    if (const QString &error = sourcesSaveError(); !error.isEmpty())
        lines.append(lost.arg(QStringLiteral("Your sources"), error, QStringLiteral("the changes"), QStringLiteral("their")));
    if (const QString &error = m_settings->writeError(); !error.isEmpty())
        lines.append(lost.arg(QStringLiteral("Your settings"), error, QStringLiteral("the changes"), QStringLiteral("their")));
    if (const QString &error = m_historyRecorder->writeError(); !error.isEmpty())
        lines.append(lost.arg(QStringLiteral("The history"), error, QStringLiteral("the checks"), QStringLiteral("its")));
    return lines;
}

QCoro::Task<void> AppState::saveBeforeQuit()
{
    // Before the first suspension: a quit hook may drop this task, and nothing after a
    // suspension would run before the process ends.
    retryUnsavedSources();
    m_settings->sync();
    writeAlertMarks();
    if (!sourcesSaveError().isEmpty() && !m_toldUnsavedAtQuit) {
        m_toldUnsavedAtQuit = true;
        qWarning().noquote() << QStringLiteral("Marrowick quits with unsaved sources; the changes since the last "
                                               "save are lost: %1")
                                    .arg(sourcesSaveError());
    }
    co_await m_historyRecorder->flush();
}

void AppState::refreshStorageNotice()
{
    QStringList lines;
    for (const std::optional<FileProblem> &problem :
         {m_sourcesLoadProblem, m_historyRecorder->loadProblem(), m_alertMarksLoadProblem, m_settings->loadProblem()}) {
        if (problem)
            lines.append(problem->text());
    }
    if (const QString &error = m_historyRecorder->writeError(); !error.isEmpty())
        lines.append(QStringLiteral("The history could not be saved (%1). Marrowick tries again at its next write.")
                         .arg(error));
    const QString notice = lines.join(QLatin1Char('\n'));
    if (notice == m_storageNotice)
        return;
    m_storageNotice = notice;
    emit storageNoticeChanged(m_storageNotice);
}

void AppState::noteSecretsOf(const QList<AnySourceConfig> &going)
{
    for (const QString &reference : secretReferences(going)) {
        if (!m_secretsToRemove.contains(reference))
            m_secretsToRemove.append(reference);
    }
}

void AppState::removeUnusedSecrets()
{
    // Until a write lands, the sources on disk, which the next start loads, may still use them.
    if (!sourcesSaveError().isEmpty() || m_secretsToRemove.isEmpty())
        return;
    const QList<QString> used = secretReferences(m_sources);
    QList<QString> unused = std::exchange(m_secretsToRemove, {});
    unused.removeIf([&used](const QString &reference) { return used.contains(reference); });
    if (unused.isEmpty())
        return;
    [[maybe_unused]] auto task = removeSecrets(m_credentials, std::move(unused));
}

QCoro::Task<void> AppState::removeSecrets(CredentialStoreHandle credentials, QList<QString> references)
{
    for (const QString &reference : std::as_const(references)) {
        try {
            co_await credentials->removeSecret(reference);
        } catch (...) {
            // The secret stays in the keyring; nothing else depends on its removal.
        }
    }
}

std::optional<Completion<Done>> AppState::queueSecretSave(const QString &reference, const Completion<Done> &done)
{
    m_secretSaves.removeIf([](const auto &save) { return save.value().isDone(); });
    std::optional<Completion<Done>> before;
    if (const auto running = m_secretSaves.constFind(reference); running != m_secretSaves.cend())
        before = *running;
    m_secretSaves.insert(reference, done);
    return before;
}

void AppState::pruneRecorderHistory(const QList<AnySourceConfig> &keeping)
{
    QSet<QUuid> ids;
    for (const AnySourceConfig &source : keeping)
        ids.insert(source.id());
    m_historyRecorder->keepOnlySources(ids);
}

// ---- Paused flag, layout, refresh ------------------------------------------------------------

void AppState::setPaused(bool paused)
{
    if (paused != m_isPaused) {
        m_isPaused = paused;
        emit isPausedChanged();
        notifyIfOverallStatusChanged();
    }
    syncEngine();
}

void AppState::setWidgetLayout(const WidgetLayout &layout)
{
    if (!(layout == m_widgetLayout)) {
        m_widgetLayout = layout;
        emit widgetLayoutChanged();
    }
    m_widgetLayout.save(*m_settings);
}

void AppState::refreshAll()
{
    if (m_isPaused)
        return;
    // The user asked: a keyring that refused may ask again.
    m_credentials->askAgain();
    QList<QUuid> ids;
    for (const AnySourceConfig &source : std::as_const(m_sources))
        ids.append(source.id());
    // Behind the changes before it, so a source just added is refreshed too.
    chainEngineStep([ids = std::move(ids)](PollEngine &engine) {
        for (const QUuid &id : ids)
            engine.refreshNow(id);
    });
}

void AppState::setAlertEventsSink(std::function<void(const QList<AlertEvent> &)> sink)
{
    m_alertEventsSink = std::move(sink);
}

// ---- Engine synchronisation -------------------------------------------------------------------

void AppState::syncEngine()
{
    const bool paused = m_isPaused;
    setPollingActivity(!paused && !m_sources.isEmpty());
    chainEngineStep([paused, sources = m_sources](PollEngine &engine) {
        engine.setPaused(paused);
        if (!paused)
            engine.setSources(sources);
    });
}

void AppState::refreshSource(const QUuid &id)
{
    if (m_isPaused || !source(id))
        return;
    chainEngineStep([id](PollEngine &engine) { engine.refreshNow(id); });
}

void AppState::chainEngineStep(std::function<void(PollEngine &)> step)
{
    const Completion<Done> done;
    std::optional<Completion<Done>> previous = std::exchange(m_syncDone, done);
    [[maybe_unused]] auto task =
        runEngineStep(std::move(previous), done, QPointer<PollEngine>(m_engine.get()), std::move(step));
}

QCoro::Task<void> AppState::runEngineStep(std::optional<Completion<Done>> previous, Completion<Done> done,
                                          QPointer<PollEngine> engine, std::function<void(PollEngine &)> step)
{
    // Runs after the change that started it has finished, and after every earlier step, so
    // the engine sees the changes in order.
    co_await nextEventLoopTurn();
    if (previous) {
        const Completion<Done> before = *previous;
        co_await before;
    }
    if (engine)
        step(*engine);
    done.complete({});
}

void AppState::setPollingActivity(bool on)
{
    if (on == m_pollingActivity.isHeld())
        return;
    if (on)
        m_pollingActivity.begin(ProcessActivity::pollingReason);
    else
        m_pollingActivity.end();
}

// ---- Update consumer --------------------------------------------------------------------------

void AppState::startObservingUpdates()
{
    m_updates = m_engine->updates();
    [[maybe_unused]] auto task = consumeUpdates(QPointer<AppState>(this), m_updates.get());
}

QCoro::Task<void> AppState::consumeUpdates(QPointer<AppState> self, PollEngine::Subscription *subscription)
{
    for (;;) {
        PollEngine::Update update;
        try {
            update = co_await subscription->next();
        } catch (const CancellationError &) {
            co_return; // the state, and with it the subscription, is gone
        }
        // An update handed over just before the state went still arrives: the subscription
        // belongs to the state, so neither may be touched then.
        if (!self)
            co_return;
        try {
            self->handleUpdate(update);
        } catch (const std::exception &) {
            // One update that cannot be handled must not end the consumer.
        }
    }
}

void AppState::handleUpdate(const PollEngine::Update &update)
{
    if (!update.polledSourceID) {
        setResults(update.snapshots, update.errors);
        QSet<QUuid> withoutNetwork;
        update.localCauses.forEach([&withoutNetwork](const QUuid &id, PollEngine::LocalCause cause) {
            if (cause == PollEngine::LocalCause::network)
                withoutNetwork.insert(id);
        });
        if (std::exchange(m_withoutNetwork, withoutNetwork).isEmpty() != withoutNetwork.isEmpty())
            emit isWithoutNetworkChanged(isWithoutNetwork());
        return;
    }
    // A poll changes only its own source's entries: the rest of the update is the state we hold.
    const QUuid id = *update.polledSourceID;
    const SourceSnapshot *snapshot = update.polledSucceeded ? update.snapshots.find(id) : nullptr;
    bool latencyChanged = false;
    if (snapshot) {
        latencyChanged = recordLatency(*snapshot, id);
        m_historyRecorder->record(*snapshot, historyStatus, historyLatency);
    }
    deliverAlerts(evaluateAlerts(id, update));
    noteAlertMarksChange();
    setPolledResult(id, update, latencyChanged);
    noteWithoutNetwork(id, update);
}

void AppState::noteWithoutNetwork(const QUuid &sourceID, const PollEngine::Update &update)
{
    const bool before = isWithoutNetwork();
    if (const PollEngine::LocalCause *cause = update.localCauses.find(sourceID);
        cause && *cause == PollEngine::LocalCause::network)
        m_withoutNetwork.insert(sourceID);
    else
        m_withoutNetwork.remove(sourceID);
    if (isWithoutNetwork() != before)
        emit isWithoutNetworkChanged(isWithoutNetwork());
}

void AppState::setPolledResult(const QUuid &sourceID, const PollEngine::Update &update, bool latencyChanged)
{
    const SourceSnapshot *before = m_snapshots.find(sourceID);
    const SourceSnapshot *after = update.snapshots.find(sourceID);
    const bool snapshotChanged = before ? !(after && *after == *before) : after != nullptr;
    const QString *errorBefore = m_errors.find(sourceID);
    const QString *errorAfter = update.errors.find(sourceID);
    const bool errorChanged = errorBefore ? !(errorAfter && *errorAfter == *errorBefore) : errorAfter != nullptr;

    if (snapshotChanged)
        m_tally.replaceSnapshot(before, after);
    // Copies share everything with the engine's state; only a changed part is ever copied.
    m_snapshots = update.snapshots;
    m_errors = update.errors;
    m_tally.setErrorCount(m_errors.size());
    if (snapshotChanged)
        emit snapshotsChanged();
    if (errorChanged)
        emit errorsChanged();
    if (snapshotChanged || errorChanged || latencyChanged)
        emit sourceResultChanged(sourceID);
    notifyIfOverallStatusChanged();
}

void AppState::setResults(const SourceMap<SourceSnapshot> &snapshots, const SourceMap<QString> &errors)
{
    // Not a poll (the first state, or sources went): every source may differ.
    QSet<QUuid> ids;
    const auto note = [&ids](const QUuid &id, const auto &) { ids.insert(id); };
    m_snapshots.forEach(note);
    snapshots.forEach(note);
    m_errors.forEach(note);
    errors.forEach(note);
    QList<QUuid> changed;
    for (const QUuid &id : std::as_const(ids)) {
        const SourceSnapshot *before = m_snapshots.find(id);
        const SourceSnapshot *after = snapshots.find(id);
        const QString *errorBefore = m_errors.find(id);
        const QString *errorAfter = errors.find(id);
        const bool snapshotChanged = before ? !(after && *after == *before) : after != nullptr;
        const bool errorChanged = errorBefore ? !(errorAfter && *errorAfter == *errorBefore) : errorAfter != nullptr;
        if (snapshotChanged)
            m_tally.replaceSnapshot(before, after);
        if (snapshotChanged || errorChanged)
            changed.append(id);
    }
    const bool snapshotsDiffer = !(snapshots == m_snapshots);
    const bool errorsDiffer = !(errors == m_errors);
    m_snapshots = snapshots;
    m_errors = errors;
    m_tally.setErrorCount(m_errors.size());
    if (snapshotsDiffer)
        emit snapshotsChanged();
    if (errorsDiffer)
        emit errorsChanged();
    for (const QUuid &id : std::as_const(changed))
        emit sourceResultChanged(id);
    notifyIfOverallStatusChanged();
}

ServiceStatus AppState::historyStatus(const WidgetData &widget)
{
    return std::visit(
        [](const auto &payload) {
            using Payload = std::decay_t<decltype(payload)>;
            if constexpr (std::is_same_v<Payload, GameServerStatus>)
                return payload.online ? ServiceStatus::up : ServiceStatus::down;
            else if constexpr (std::is_same_v<Payload, KeyValues>)
                return ServiceStatus::up;
            else
                return payload.status;
        },
        widget.value());
}

ServiceStatus AppState::worstStatus(const QList<WidgetData> &widgets)
{
    ServiceStatus result = ServiceStatus::unknown;
    for (const WidgetData &widget : widgets) {
        switch (historyStatus(widget)) {
        case ServiceStatus::down:
            return ServiceStatus::down;
        case ServiceStatus::warn:
            result = ServiceStatus::warn;
            break;
        case ServiceStatus::up:
            if (result == ServiceStatus::unknown)
                result = ServiceStatus::up;
            break;
        case ServiceStatus::unknown:
            break;
        }
    }
    return result;
}

std::optional<double> AppState::historyLatency(const WidgetData &widget)
{
    return std::visit(
        [](const auto &payload) -> std::optional<double> {
            using Payload = std::decay_t<decltype(payload)>;
            if constexpr (std::is_same_v<Payload, HostStats> || std::is_same_v<Payload, KeyValues>)
                return std::nullopt;
            else
                return payload.latencyMs;
        },
        widget.value());
}

bool AppState::recordLatency(const SourceSnapshot &snapshot, const QUuid &sourceID)
{
    bool appended = false;
    for (const WidgetData &widget : snapshot.widgets) {
        const std::optional<double> latency = historyLatency(widget);
        if (!latency)
            continue;
        QList<double> &series = m_latencyHistory[widget.scopedID(sourceID)];
        series.append(*latency);
        if (series.size() > latencySeriesLength)
            series.remove(0, series.size() - latencySeriesLength);
        appended = true;
    }
    if (appended)
        emit latencyHistoryChanged();
    return appended;
}

void AppState::carryOverGameWidgetKeys()
{
    const QHash<QString, QString> newKeys = gameWidgetKeysByName(m_sources);
    if (newKeys.isEmpty())
        return;
    m_historyRecorder->renameKeys(newKeys);
    if (m_widgetLayout.renameKeys(newKeys))
        m_widgetLayout.save(*m_settings);
}

void AppState::loadHistory()
{
    // A file the recorder could not read at start has been told about once already.
    const std::optional<FileProblem> &unread = m_historyRecorder->loadProblem();
    seedLatencyHistory(unread && unread->blocksSaving() ? PollHistory() : HistoryStore::load(m_sourcesDirectory));
}

void AppState::seedLatencyHistory(const PollHistory &history)
{
    QSet<QString> prefixes;
    for (const AnySourceConfig &source : std::as_const(m_sources))
        prefixes.insert(keyPrefix(source.id()));
    const qsizetype prefixLength = keyPrefix(QUuid()).size();
    bool changed = false;
    for (auto it = history.samples().cbegin(); it != history.samples().cend(); ++it) {
        if (!prefixes.contains(it.key().left(prefixLength)))
            continue;
        QList<double> latencies = history.latencies(it.key());
        if (latencies.isEmpty())
            continue;
        if (latencies.size() > latencySeriesLength)
            latencies.remove(0, latencies.size() - latencySeriesLength);
        QList<double> &series = m_latencyHistory[it.key()];
        if (series != latencies) {
            series = std::move(latencies);
            changed = true;
        }
    }
    if (changed)
        emit latencyHistoryChanged();
}

// ---- Alerts -----------------------------------------------------------------------------------

QList<AlertEvent> AppState::evaluateAlerts(const QUuid &sourceID, const PollEngine::Update &update)
{
    const AnySourceConfig *source = this->source(sourceID);
    // A poll that finished after its source was deleted counts for nothing.
    if (!source)
        return {};
    const ClockReading now = clockNow();
    const SourceSnapshot *snapshot = update.polledSucceeded ? update.snapshots.find(sourceID) : nullptr;
    if (snapshot)
        return m_alertEvaluator.recordSuccess(*source, *snapshot, now);
    // A failure of this computer neither counts against the target nor ends its run.
    if (update.localCauses.contains(sourceID))
        return {};
    return m_alertEvaluator.recordFailure(*source, now);
}

void AppState::deliverAlerts(const QList<AlertEvent> &events)
{
    if (m_alertEventsSink)
        m_alertEventsSink(events);
    if (m_isUnderTest || events.isEmpty())
        return;
    const bool quiet = m_settings->globalQuiet();
    const bool notifyOnRecovery = m_settings->notifyOnRecovery();
    const bool sound = m_settings->soundAlerts();
    const ClockReading now = clockNow();
    for (const AlertEvent &event : events) {
        const bool recovered = event.kind == AlertEvent::Kind::recovered;
        // Of an outage the user was not told of (muted or quiet then), a recovery tells nothing.
        if (quiet || (recovered && (!notifyOnRecovery || !event.downAnnounced)))
            continue;
        const AnySourceConfig *source = this->source(event.sourceID);
        if (source && !source->config().alertsEnabled)
            continue;
        const std::optional<double> downFor =
            event.downSince ? std::optional(ClockReading::secondsBetween(*event.downSince, now)) : std::nullopt;
        m_alertCenter->post(AlertNotification{event.title, AlertCenter::bodyText(eventKind(event.kind), downFor), sound});
        if (!recovered)
            m_alertEvaluator.markAnnounced(event);
    }
}

ClockReading AppState::clockNow() const
{
    return ClockReading::now(m_now, m_bootClock);
}

void AppState::restoreAlertMarks()
{
    AlertMarksStore::removeLeftoverTemporaries(m_sourcesDirectory);
    QList<DownMark> marks = AlertMarksStore::load(m_sourcesDirectory, m_bootClock.bootID, &m_alertMarksLoadProblem);
    const qsizetype stored = marks.size();
    marks.removeIf([this](const DownMark &mark) { return !m_sourceIndex.contains(mark.sourceID); });
    m_alertEvaluator.restoreDownMarks(marks);
    // The marks of sources gone meanwhile go from the file too.
    if (marks.size() == stored)
        m_savedMarksRevision = m_alertEvaluator.marksRevision();
    noteAlertMarksChange();
}

void AppState::noteAlertMarksChange()
{
    if (m_alertEvaluator.marksRevision() == m_savedMarksRevision || m_pendingMarksWrite)
        return;
    m_pendingMarksWrite.emplace();
    [[maybe_unused]] auto task = writeAlertMarksLater(m_pendingMarksWrite->token());
}

QCoro::Task<void> AppState::writeAlertMarksLater(CancelToken cancel)
{
    co_await m_sleep(alertMarksWriteDelay, cancel);
    // Cancelled: written at quit already, or `this` is gone.
    if (!cancel.isCancelled())
        writeAlertMarks();
}

void AppState::writeAlertMarks()
{
    if (m_pendingMarksWrite) {
        m_pendingMarksWrite->cancel();
        m_pendingMarksWrite.reset();
    }
    const quint64 revision = m_alertEvaluator.marksRevision();
    // A file that could not be read is left as it is; the user was told at start.
    if (revision == m_savedMarksRevision || (m_alertMarksLoadProblem && m_alertMarksLoadProblem->blocksSaving()))
        return;
    QString failure;
    try {
        AlertMarksStore::save(m_alertEvaluator.downMarks(), m_sourcesDirectory, m_bootClock.bootID);
        m_savedMarksRevision = revision;
    } catch (const std::exception &error) {
        // Tried again after the next poll and at quit.
        failure = QString::fromUtf8(error.what());
    }
    if (failure != m_alertMarksWriteError && !failure.isEmpty())
        qWarning().noquote() << QStringLiteral("The alert state could not be saved: %1").arg(failure);
    m_alertMarksWriteError = failure;
}

// ---- Overall status ---------------------------------------------------------------------------

OverallStatus AppState::overallStatus() const
{
    return m_isPaused ? OverallStatus::paused : m_tally.status();
}

OverallStatus AppState::computeOverallStatus(const SourceMap<SourceSnapshot> &snapshots,
                                             const SourceMap<QString> &errors)
{
    bool anyDown = false;
    bool anyWarning = false;
    bool anyUp = false;
    snapshots.forEach([&](const QUuid &, const SourceSnapshot &snapshot) {
        for (const WidgetData &widget : snapshot.widgets) {
            switch (historyStatus(widget)) {
            case ServiceStatus::down:
                anyDown = true;
                break;
            case ServiceStatus::warn:
                anyWarning = true;
                break;
            case ServiceStatus::up:
                anyUp = true;
                break;
            case ServiceStatus::unknown:
                break;
            }
        }
    });
    if (anyDown)
        return OverallStatus::down;
    if (!errors.isEmpty() || anyWarning)
        return OverallStatus::degraded;
    return anyUp ? OverallStatus::up : OverallStatus::unknown;
}

void AppState::notifyIfOverallStatusChanged()
{
    const OverallStatus status = overallStatus();
    if (status == m_lastOverallStatus)
        return;
    m_lastOverallStatus = status;
    emit overallStatusChanged(status);
}

} // namespace marrowick
