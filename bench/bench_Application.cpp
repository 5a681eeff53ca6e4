// The whole application stack (state, engine, the real providers, history, alerts, the popup)
// polling N HTTP-ping sources against a loopback server that answers after a fixed delay.
// The server runs on its own thread, and its CPU time is subtracted from the process's.
//   bench_Application [--sources 100,1000] [--interval 5] [--duration 20] [--delay-ms 50]
//                     [--popup hidden|shown|both] [--history full|empty] [--rss-every <s>] [--bare yes]
//                     [--one-port yes]
// --bare yes runs the providers alone in the same rhythm, for the bare cost of a check.
// --one-port yes puts every source on one port of the server (one host:port with many checks)
// instead of spreading them over up to 2,000.
// Each run starts from a full history (as after days of running) unless --history empty; with
// --rss-every the window prints the memory and CPU time at that period.
// For each N: one warm-up interval, then a window with the popup hidden and one with it shown.
// Prints per window: checks made against checks due, CPU per check, latency error (reported
// latency minus the server's delay), memory, and the connections opened in the window and
// open at its end.
//   bench_Application --startup yes [--sources 1000,10000] [--interval 60] [--idle 10]
// starts the program itself once per N, in a process of its own over a fresh data folder whose
// "sources.json" holds N HTTP-ping sources and "history.json" as many samples as it may hold
// (none with --history empty), with its windows hidden; and once with no source. Prints the
// time from the launch to the first poll's answer, and the memory after --idle seconds more,
// beyond the empty program's.
#include "StateBench.h"
#include "Marrowick/State/AppSettings.h"
#include "Marrowick/State/AppState.h"
#include "Marrowick/Popover/PopoverView.h"
#include "Marrowick/Shell/MarrowickApp.h"
#include "Marrowick/Shell/TerminationSignals.h"
#include "MarrowickKit/Engine/HistoryStore.h"
#include "MarrowickKit/Credentials/InMemoryCredentialStore.h"
#include "MarrowickKit/Model/UuidText.h"
#include "MarrowickKit/Providers/ProviderRegistry.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QTemporaryDir>

#include <QCoro/QCoroTask>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <queue>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <arpa/inet.h>
#include <malloc.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <unistd.h>

using namespace marrowick;

namespace {

double monotonicSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

double clockSeconds(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// Answers each request head with a small 200 after a fixed delay, on `portCount` ports of
// 127.0.0.1 (a client keeps only a few connections per host and port, as to distinct targets).
class DelayServer {
public:
    DelayServer(int portCount, double delaySeconds) : m_delay(delaySeconds)
    {
        m_epoll = epoll_create1(EPOLL_CLOEXEC);
        m_wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        add(m_wake);
        // A timer to the nanosecond: epoll's millisecond time-out would add up to 1 ms to the delay.
        m_timer = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
        add(m_timer);
        for (int i = 0; i < portCount; ++i) {
            const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            socklen_t length = sizeof address;
            if (bind(fd, reinterpret_cast<sockaddr *>(&address), length) != 0 || listen(fd, 512) != 0) {
                std::perror("listen");
                std::exit(1);
            }
            getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
            m_ports.push_back(ntohs(address.sin_port));
            m_listeners.push_back(fd);
            m_listenerSet.insert(fd);
            add(fd);
        }
        m_thread = std::thread([this] { run(); });
        pthread_getcpuclockid(m_thread.native_handle(), &m_cpuClock);
    }
    ~DelayServer()
    {
        const uint64_t one = 1;
        [[maybe_unused]] auto written = write(m_wake, &one, sizeof one);
        m_thread.join();
        for (auto &[fd, connection] : m_connections)
            close(fd);
        for (int fd : m_listeners)
            close(fd);
        close(m_wake);
        close(m_timer);
        close(m_epoll);
    }
    const std::vector<quint16> &ports() const { return m_ports; }
    double cpuSeconds() const { return clockSeconds(m_cpuClock); }
    long accepted() const { return m_accepted; }
    // When the first request head arrived, on the monotonic clock; 0 before.
    double firstRequest() const { return m_firstRequest; }
    long open() const { return m_open; }

private:
    struct Connection {
        std::string pending;
        uint64_t generation = 0;
    };
    struct Reply {
        double due;
        int fd;
        uint64_t generation;
        bool operator>(const Reply &other) const { return due > other.due; }
    };

    void add(int fd)
    {
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = fd;
        epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event);
    }
    bool isListener(int fd) const { return m_listenerSet.count(fd) != 0; }

    void run()
    {
        std::vector<epoll_event> events(256);
        for (;;) {
            if (!m_replies.empty()) {
                const double due = m_replies.top().due;
                itimerspec when{};
                when.it_value.tv_sec = time_t(due);
                when.it_value.tv_nsec = long((due - double(time_t(due))) * 1e9);
                timerfd_settime(m_timer, TFD_TIMER_ABSTIME, &when, nullptr);
            }
            const int count = epoll_wait(m_epoll, events.data(), int(events.size()), -1);
            for (int i = 0; i < count; ++i) {
                const int fd = events[i].data.fd;
                if (fd == m_wake)
                    return;
                if (fd == m_timer) {
                    uint64_t expirations;
                    [[maybe_unused]] auto got = ::read(m_timer, &expirations, sizeof expirations);
                } else if (isListener(fd))
                    accept(fd);
                else
                    read(fd);
            }
            const double now = monotonicSeconds();
            while (!m_replies.empty() && m_replies.top().due <= now) {
                const Reply reply = m_replies.top();
                m_replies.pop();
                const auto connection = m_connections.find(reply.fd);
                if (connection == m_connections.end() || connection->second.generation != reply.generation)
                    continue;
                static const char answer[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
                [[maybe_unused]] auto written = send(reply.fd, answer, sizeof answer - 1, MSG_NOSIGNAL);
            }
        }
    }
    void accept(int listener)
    {
        for (;;) {
            const int fd = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0)
                return;
            m_connections[fd].generation = ++m_generation;
            ++m_accepted;
            ++m_open;
            add(fd);
        }
    }
    void read(int fd)
    {
        Connection &connection = m_connections[fd];
        char buffer[4096];
        for (;;) {
            const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
            if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) {
                epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
                close(fd);
                m_connections.erase(fd);
                --m_open;
                return;
            }
            if (got < 0)
                break;
            connection.pending.append(buffer, size_t(got));
        }
        std::size_t end;
        while ((end = connection.pending.find("\r\n\r\n")) != std::string::npos) {
            connection.pending.erase(0, end + 4);
            if (m_firstRequest == 0)
                m_firstRequest = monotonicSeconds();
            m_replies.push({monotonicSeconds() + m_delay, fd, connection.generation});
        }
    }

    double m_delay;
    int m_epoll = -1;
    int m_wake = -1;
    int m_timer = -1;
    std::vector<int> m_listeners;
    std::unordered_set<int> m_listenerSet;
    std::vector<quint16> m_ports;
    std::unordered_map<int, Connection> m_connections;
    std::priority_queue<Reply, std::vector<Reply>, std::greater<>> m_replies;
    uint64_t m_generation = 0;
    std::atomic<long> m_accepted = 0;
    std::atomic<long> m_open = 0;
    std::atomic<double> m_firstRequest = 0;
    std::thread m_thread;
    clockid_t m_cpuClock{};
};

// Every completed poll, by the time its snapshot was taken, read from an engine subscription
// of its own (the engine hands every subscriber every poll).
// Latencies go into fixed bins (10 us wide, up to 2 s), so a long run keeps no growing list.
struct PollLog {
    static constexpr double binMs = 0.01;
    static constexpr std::size_t binCount = 200000;
    bool recording = false;
    std::vector<uint32_t> bins = std::vector<uint32_t>(binCount, 0);
    uint64_t count = 0;
    int failures = 0;

    void add(double latencyMs)
    {
        if (!recording)
            return;
        ++bins[std::min(binCount - 1, std::size_t(std::max(0.0, latencyMs) / binMs))];
        ++count;
    }
    double percentile(double p) const
    {
        const uint64_t rank = uint64_t(p * double(count));
        uint64_t seen = 0;
        for (std::size_t i = 0; i < binCount; ++i) {
            seen += bins[i];
            if (seen > rank)
                return (double(i) + 0.5) * binMs;
        }
        return 0;
    }
    void clear()
    {
        std::fill(bins.begin(), bins.end(), 0);
        count = 0;
    }
};

QCoro::Task<void> collect(PollEngine::Subscription *subscription, PollLog *log, std::shared_ptr<bool> stop)
{
    while (!*stop) {
        PollEngine::Update update;
        try {
            update = co_await subscription->next();
        } catch (...) {
            co_return;
        }
        if (*stop || !update.polledSourceID)
            continue;
        if (!update.polledSucceeded) {
            ++log->failures;
            continue;
        }
        const SourceSnapshot *snapshot = update.snapshots.find(*update.polledSourceID);
        const CheckResult *check = snapshot && !snapshot->widgets.isEmpty() ? snapshot->widgets.first().get<CheckResult>() : nullptr;
        if (!check || check->status != ServiceStatus::up || !check->latencyMs) {
            ++log->failures;
            continue;
        }
        log->add(*check->latencyMs);
    }
}

void runEventLoopFor(double seconds)
{
    QEventLoop loop;
    QTimer::singleShot(qint64(seconds * 1000), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

double residentMegabytes()
{
    long pages = 0, resident = 0;
    if (FILE *statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

double peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

// The history of an application that has run for long: every series full, as it is after
// HistoryLimits::samplesPerWidget polls (the file keeps less: its size is capped).
void seedHistory(AppState &state, const QList<AnySourceConfig> &sources, double interval)
{
    const Instant now = Instant::now();
    for (const AnySourceConfig &source : sources) {
        for (qsizetype i = HistoryLimits::samplesPerWidget; i > 0; --i) {
            CheckResult check;
            check.id = uuidText(source.id());
            check.name = source.displayName();
            check.status = ServiceStatus::up;
            check.latencyMs = 50.0 + double(i % 7) * 0.125;
            const SourceSnapshot snapshot{source.id(), now.advanced(-interval * double(i)), {WidgetData::check(std::move(check))}};
            state.historyRecorder()->record(snapshot, AppState::historyStatus, AppState::historyLatency);
        }
    }
}

struct Options {
    QList<int> sources{100, 1000};
    bool fullHistory = true;
    bool bare = false;
    bool onePort = false;
    double rssEvery = 0;
    double interval = 5;
    double duration = 20;
    double delayMs = 50;
    bool hidden = true;
    bool shown = true;
    bool startup = false;
    double idle = 10;
};

void measureWindow(const char *phase, int n, const Options &options, const DelayServer &server, PollLog &log)
{
    const double rssBefore = residentMegabytes();
    const double cpuStart = clockSeconds(CLOCK_PROCESS_CPUTIME_ID) - server.cpuSeconds();
    const double wallStart = monotonicSeconds();
    const std::size_t failuresBefore = std::size_t(log.failures);
    const long acceptedBefore = server.accepted();
    log.recording = true;
    if (options.rssEvery > 0) {
        for (double at = 0; at < options.duration; at += options.rssEvery) {
            runEventLoopFor(std::min(options.rssEvery, options.duration - at));
            // The heap in use tells growth apart from memory the allocator keeps after a peak.
            const struct mallinfo2 heap = mallinfo2();
            std::printf("%6d sources  %-6s  after %5.0f s: RSS %6.1f MB, heap in use %6.1f MB, CPU %5.1f s\n", n, phase,
                        at + std::min(options.rssEvery, options.duration - at), residentMegabytes(),
                        double(heap.uordblks + heap.hblkhd) / 1048576.0,
                        clockSeconds(CLOCK_PROCESS_CPUTIME_ID) - server.cpuSeconds() - cpuStart);
            std::fflush(stdout);
        }
    } else {
        runEventLoopFor(options.duration);
    }
    const double cpu = clockSeconds(CLOCK_PROCESS_CPUTIME_ID) - server.cpuSeconds() - cpuStart;
    const double wall = monotonicSeconds() - wallStart;
    log.recording = false;
    // A loop sleeps its interval after each completed check, so its period is interval + delay.
    const double due = n * wall / (options.interval + options.delayMs / 1000.0);
    const double made = double(log.count);
    std::printf("%6d sources  %-6s  checks %7.0f of %7.0f due (%5.1f%%), %d failed  CPU %5.1f%% of a core, "
                "%6.0f us/check  latency error median %+6.2f ms, p99 %+7.2f ms  RSS %6.1f -> %6.1f MB (peak %6.1f)  "
                "%ld connections opened, %ld open\n",
                n, phase, made, due, 100.0 * made / due, int(std::size_t(log.failures) - failuresBefore),
                100.0 * cpu / wall, made > 0 ? cpu / made * 1e6 : 0.0, log.percentile(0.5) - options.delayMs,
                log.percentile(0.99) - options.delayMs, rssBefore, residentMegabytes(), peakMegabytes(),
                server.accepted() - acceptedBefore, server.open());
    std::fflush(stdout);
    log.clear();
}

// Distinct targets as far as descriptors allow (a client keeps a few connections per port), or
// one port for every source.
int portsFor(int n, const Options &options)
{
    return options.onePort ? 1 : std::clamp(n, 1, 2000);
}

// The providers alone, in the same rhythm as the engine's loops (staggered start, a wait of one
// interval after each answer) but without engine, state, history or alerts: the bare cost of a
// check made at this rate, for comparison with the whole application.
QCoro::Task<void> bareLoop(std::shared_ptr<SourceProvider> provider, double delay, double interval, PollLog *log,
                           std::shared_ptr<bool> stop)
{
    co_await continuousSleep(delay);
    while (!*stop) {
        const SourceSnapshot snapshot = co_await provider->fetch();
        if (*stop)
            co_return;
        const CheckResult *check = snapshot.widgets.first().get<CheckResult>();
        if (check->status == ServiceStatus::up && check->latencyMs)
            log->add(*check->latencyMs);
        else
            ++log->failures;
        co_await continuousSleep(interval);
    }
}

void runBare(int n, const Options &options)
{
    const int portCount = portsFor(n, options);
    DelayServer server(portCount, options.delayMs / 1000.0);
    PollLog log;
    auto stop = std::make_shared<bool>(false);
    for (int i = 0; i < n; ++i) {
        const HTTPPingConfig config(QUuid::createUuid(), QStringLiteral("Check %1").arg(i),
                                    QStringLiteral("http://127.0.0.1:%1/%2").arg(server.ports()[std::size_t(i % portCount)]).arg(i));
        std::shared_ptr<SourceProvider> provider = ProviderRegistry::makeProvider(config, {});
        const double delay = std::min(double(i / 4) * 0.004, options.interval * double(i) / double(n));
        [[maybe_unused]] auto loop = bareLoop(std::move(provider), delay, options.interval, &log, stop);
    }
    std::printf("%6d sources  bare providers; warming up for %.0f s\n", n, options.interval + 2);
    std::fflush(stdout);
    runEventLoopFor(options.interval + 2);
    measureWindow("bare", n, options, server, log);
    *stop = true;
    runEventLoopFor(options.interval + 1);
}

// N HTTP-ping sources spread over the server's ports.
QList<AnySourceConfig> pingSources(int n, const Options &options, const DelayServer &server)
{
    QList<AnySourceConfig> sources;
    const std::size_t portCount = server.ports().size();
    for (int i = 0; i < n; ++i) {
        HTTPPingConfig config(QUuid::createUuid(), QStringLiteral("Check %1").arg(i),
                              QStringLiteral("http://127.0.0.1:%1/").arg(server.ports()[std::size_t(i) % portCount]));
        config.pollInterval = options.interval;
        sources.append(config);
    }
    return sources;
}

void run(int n, const Options &options)
{
    DelayServer server(portsFor(n, options), options.delayMs / 1000.0);
    QTemporaryDir dir;
    AppSettings settings(std::make_unique<QSettings>(dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat));
    const QList<AnySourceConfig> sources = pingSources(n, options, server);

    AppStateServices services;
    services.credentials = std::make_shared<InMemoryCredentialStore>();
    services.sourcesDirectory = dir.filePath(QStringLiteral("Marrowick"));
    services.settings = &settings;
    services.alertCenter = std::make_shared<bench::SilentAlertCenter>();
    services.makeProvider = [](const AnySourceConfig &config, CredentialStoreHandle credentials) {
        return ProviderRegistry::makeProvider(config, std::move(credentials));
    };
    services.sleep = [](double seconds, CancelToken cancel) { return continuousSleep(seconds, std::move(cancel)); };
    services.now = [] { return Instant::now(); };
    services.bootClock = BootClock::system();
    auto state = std::make_unique<AppState>(std::move(services));
    auto popover = std::make_unique<PopoverView>(state.get());
    if (options.fullHistory)
        seedHistory(*state, sources, options.interval);

    PollLog log;
    auto stop = std::make_shared<bool>(false);
    std::unique_ptr<PollEngine::Subscription> subscription = state->engine()->updates();
    [[maybe_unused]] auto collector = collect(subscription.get(), &log, stop);

    QElapsedTimer setup;
    setup.start();
    state->setSources(sources);
    std::printf("%6d sources  set up in %lld ms with %lld history samples; warming up for %.0f s\n", n, setup.elapsed(),
                qlonglong(state->historyRecorder()->current().sampleCount()), options.interval + 2);
    std::fflush(stdout);
    runEventLoopFor(options.interval + 2);
    log.clear();

    if (options.hidden)
        measureWindow("hidden", n, options, server, log);
    if (options.shown) {
        QElapsedTimer open;
        open.start();
        popover->show();
        popover->repaint();
        std::printf("%6d sources  popup opened in %lld ms\n", n, open.elapsed());
        std::fflush(stdout);
        measureWindow("shown", n, options, server, log);
        popover->hide();
    }

    QElapsedTimer quit;
    quit.start();
    state->setPaused(true);
    QCoro::waitFor(state->historyRecorder()->flush());
    std::printf("%6d sources  paused and history written in %lld ms\n", n, quit.elapsed());
    std::fflush(stdout);
    *stop = true;
    popover.reset();
    subscription.reset();
    state.reset();
    runEventLoopFor(0.2);
}

const char *const startupChildArgument = "--startup-child";

// A history file as full as its cap allows, of recent samples.
PollHistory fullHistory(const QList<AnySourceConfig> &sources, double interval)
{
    // More would only be cut off by the file's cap.
    const qsizetype perSource = std::min<qsizetype>(HistoryLimits::samplesPerWidget, 2000000 / std::max<qsizetype>(1, sources.size()));
    const Instant now = Instant::now();
    PollHistory history;
    for (const AnySourceConfig &source : sources) {
        for (qsizetype i = perSource; i > 0; --i) {
            CheckResult check;
            check.id = uuidText(source.id());
            check.name = source.displayName();
            check.status = ServiceStatus::up;
            check.latencyMs = 50.0 + double(i % 7) * 0.125;
            history.record(SourceSnapshot{source.id(), now.advanced(-interval * double(i)), {WidgetData::check(std::move(check))}},
                           AppState::historyStatus, AppState::historyLatency);
        }
    }
    return history;
}

// The program as main() starts it, in this process: the signals caught first, the application
// object, the shell with its state and windows. Beside a tray it would show the tray icon, with
// the popup hidden; with no tray here it shows nothing. Prints when it entered main(), when the
// shell was built, when the first poll was answered, and the memory after `idle` seconds more.
int startupChild(int argc, char **argv)
{
    const double entered = monotonicSeconds();
    ignoreFileSizeSignal();
    TerminationSignals::catchFromNow();
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("tobrin"));
    QApplication::setApplicationName(QStringLiteral("Marrowick"));
    QApplication::setQuitOnLastWindowClosed(false);
    const double idle = QString::fromLatin1(argv[2]).toDouble();
    MarrowickApp marrowick(QCoreApplication::arguments());
    const double built = monotonicSeconds();
    if (QSystemTrayIcon::isSystemTrayAvailable())
        marrowick.start();

    double answered = 0;
    QEventLoop firstAnswer;
    QObject::connect(marrowick.appState(), &AppState::sourceResultChanged, &firstAnswer, [&] {
        if (answered == 0)
            answered = monotonicSeconds();
        firstAnswer.quit();
    });
    if (!marrowick.appState()->sources().isEmpty()) {
        QTimer::singleShot(120000, &firstAnswer, &QEventLoop::quit);
        firstAnswer.exec();
    }
    runEventLoopFor(idle);
    std::printf("entered %.6f\nbuilt %.6f\nanswered %.6f\nrss %.3f\ncpu %.3f\n", entered, built, answered,
                residentMegabytes(), clockSeconds(CLOCK_PROCESS_CPUTIME_ID));
    std::fflush(stdout);
    return 0;
}

struct StartupRun {
    bool ok = false;
    double firstAnswer = 0; // seconds after the launch
    double firstRequest = 0;
    double entered = 0;
    double built = 0;
    double rss = 0;
    double cpu = 0;
};

StartupRun startOnce(int n, const Options &options)
{
    DelayServer server(portsFor(std::max(n, 1), options), options.delayMs / 1000.0);
    QTemporaryDir home;
    const QString folder = home.filePath(QStringLiteral("data/Marrowick"));
    const QList<AnySourceConfig> sources = pingSources(n, options, server);
    bench::saveCompactSources(sources, folder);
    if (options.fullHistory)
        HistoryStore::save(fullHistory(sources, options.interval), folder);
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *folder : {"DATA", "CONFIG", "CACHE"})
        environment.insert(QStringLiteral("XDG_%1_HOME").arg(QLatin1String(folder)), home.filePath(QString::fromLatin1(folder).toLower()));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const double launched = monotonicSeconds();
    child.start(QCoreApplication::applicationFilePath(),
                {QString::fromLatin1(startupChildArgument), QString::number(options.idle), QStringLiteral("-uiTestDemoSources")});
    StartupRun figures;
    if (!child.waitForFinished(int((options.idle + 300) * 1000)) || child.exitCode() != 0)
        return figures;
    QHash<QString, double> values;
    for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() == 2)
            values.insert(QString::fromLatin1(parts[0]), parts[1].toDouble());
    }
    figures.ok = true;
    const double answered = values.value(QStringLiteral("answered"));
    figures.firstAnswer = answered > 0 ? answered - launched : 0;
    figures.firstRequest = server.firstRequest() > 0 ? server.firstRequest() - launched : 0;
    figures.entered = values.value(QStringLiteral("entered")) - launched;
    figures.built = values.value(QStringLiteral("built")) - launched;
    figures.rss = values.value(QStringLiteral("rss"));
    figures.cpu = values.value(QStringLiteral("cpu"));
    return figures;
}

void runStartups(const Options &options)
{
    const StartupRun empty = startOnce(0, options);
    std::printf("     0 sources  in main() %.3f s after launch, shell built at %.3f s; after %.0f s: RSS %.1f MB, CPU "
                "%.2f s\n",
                empty.entered, empty.built, options.idle, empty.rss, empty.cpu);
    std::fflush(stdout);
    for (int n : options.sources) {
        const StartupRun run = startOnce(n, options);
        if (!run.ok) {
            std::printf("%6d sources  the program did not finish\n", n);
            continue;
        }
        std::printf("%6d sources  first poll answered %.3f s after launch (asked at %.3f s; in main() at %.3f s, shell "
                    "built at %.3f s); after %.0f s more: RSS %.1f MB, CPU %.2f s, %.1f KB per source beyond the "
                    "empty program\n",
                    n, run.firstAnswer, run.firstRequest, run.entered, run.built, options.idle, run.rss, run.cpu,
                    (run.rss - empty.rss) * 1024.0 / n);
        std::fflush(stdout);
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc >= 3 && qstrcmp(argv[1], startupChildArgument) == 0)
        return startupChild(argc, argv);
    QApplication app(argc, argv);
    Options options;
    const QStringList arguments = QCoreApplication::arguments();
    for (qsizetype i = 1; i + 1 < arguments.size(); i += 2) {
        const QString &name = arguments.at(i);
        const QString &value = arguments.at(i + 1);
        if (name == QLatin1String("--sources")) {
            options.sources.clear();
            for (const QString &part : value.split(QLatin1Char(',')))
                options.sources.append(std::max(1, part.toInt()));
        } else if (name == QLatin1String("--interval")) {
            options.interval = value.toDouble();
        } else if (name == QLatin1String("--duration")) {
            options.duration = value.toDouble();
        } else if (name == QLatin1String("--delay-ms")) {
            options.delayMs = value.toDouble();
        } else if (name == QLatin1String("--bare")) {
            options.bare = value == QLatin1String("yes");
        } else if (name == QLatin1String("--one-port")) {
            options.onePort = value == QLatin1String("yes");
        } else if (name == QLatin1String("--history")) {
            options.fullHistory = value != QLatin1String("empty");
        } else if (name == QLatin1String("--rss-every")) {
            options.rssEvery = value.toDouble();
        } else if (name == QLatin1String("--startup")) {
            options.startup = value == QLatin1String("yes");
        } else if (name == QLatin1String("--idle")) {
            options.idle = value.toDouble();
        } else if (name == QLatin1String("--popup")) {
            options.hidden = value != QLatin1String("shown");
            options.shown = value != QLatin1String("hidden");
        } else {
            std::fprintf(stderr, "unknown option %s\n", qPrintable(name));
            return 2;
        }
    }
    std::printf("interval %.0f s, window %.0f s, server delay %.0f ms%s\n", options.interval, options.duration,
                options.delayMs, options.onePort ? ", every source on one port" : "");
    if (options.startup) {
        runStartups(options);
        return 0;
    }
    for (int n : std::as_const(options.sources)) {
        if (options.bare)
            runBare(n, options);
        else
            run(n, options);
    }
    return 0;
}
