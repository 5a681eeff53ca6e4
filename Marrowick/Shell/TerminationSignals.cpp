#include "Marrowick/Shell/TerminationSignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace marrowick {

namespace {

// Written by the signal handler, read on the event loop: the only state a handler may touch.
int signalPipe[2] = {-1, -1};
// Whether an instance reads the pipe: there is one reader.
bool hasInstance = false;
constexpr int handledSignals[] = {SIGTERM, SIGINT, SIGHUP};

} // namespace

void TerminationSignals::catchFromNow()
{
    if (signalPipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalPipe) != 0)
        return;
    struct sigaction action {};
    action.sa_handler = handle;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : handledSignals) {
        // One ignored at start stays ignored: whoever started the program asked for that, as
        // nohup does for the hang-up.
        struct sigaction inherited {};
        if (::sigaction(signal, nullptr, &inherited) == 0 && inherited.sa_handler == SIG_IGN)
            continue;
        ::sigaction(signal, &action, nullptr);
    }
}

TerminationSignals::TerminationSignals(QObject *parent) : QObject(parent)
{
    catchFromNow();
    if (signalPipe[0] < 0 || hasInstance)
        return;
    hasInstance = true;
    m_notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char byte;
        while (::read(signalPipe[1], &byte, 1) > 0) {
        }
        emit received();
    });
}

TerminationSignals::~TerminationSignals()
{
    if (!m_notifier)
        return;
    for (const int signal : handledSignals) {
        struct sigaction current {};
        if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == handle)
            std::signal(signal, SIG_DFL);
    }
    delete m_notifier;
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
    hasInstance = false;
}

void ignoreFileSizeSignal()
{
    // Caught rather than ignored: an ignored signal stays ignored in the programs this one starts
    // (a browser opened for a link), a caught one is back to the default there.
    struct sigaction action {};
    action.sa_handler = [](int) {};
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGXFSZ, &action, nullptr);
}

void TerminationSignals::handle(int)
{
    const char byte = 1;
    if (::write(signalPipe[0], &byte, 1) < 0) {
        // Full or closed: a quit is already on its way, or the process is ending.
    }
}

} // namespace marrowick
