#include "Marrowick/Shell/ExitGuard.h"

#include "Marrowick/Shell/X11Connection.h"

#include <QGuiApplication>
#include <QThread>

#if defined(MARROWICK_WITH_XCB) && QT_CONFIG(xcb)
#define MARROWICK_X11_EXIT 1
#include <xcb/xcb.h>
#endif

#include <cstdio>
#include <cstdlib>

#include <unistd.h>

namespace marrowick {

namespace {

// The live guard's save, and the thread it belongs to: all an exit handler can reach.
const std::function<void()> *liveSave = nullptr;
Qt::HANDLE guardThread = nullptr;
bool handlerRegistered = false;

bool x11ConnectionBroke()
{
#if MARROWICK_X11_EXIT
    if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb"))
        return false;
    xcb_connection_t *connection = x11Connection();
    return connection && xcb_connection_has_error(connection) != 0;
#else
    return false;
#endif
}

} // namespace

ExitGuard::ExitGuard(std::function<void()> save) : m_save(std::move(save))
{
    Q_ASSERT(!liveSave);
    liveSave = &m_save;
    guardThread = QThread::currentThreadId();
    // Registered once the program has loaded: handlers run in reverse order, so this one runs
    // before the teardown of what Qt and the C++ runtime had set up by then.
    if (!handlerRegistered)
        handlerRegistered = std::atexit(&ExitGuard::atExit) == 0;
}

ExitGuard::~ExitGuard()
{
    if (liveSave == &m_save)
        liveSave = nullptr;
}

void ExitGuard::atExit()
{
    // Another thread's exit must not touch what the guard's thread owns.
    if (!liveSave || QThread::currentThreadId() != guardThread)
        return;
    const std::function<void()> *save = std::exchange(liveSave, nullptr);
    (*save)();
    if (x11ConnectionBroke()) {
        std::fflush(nullptr);
        ::_exit(0);
    }
}

} // namespace marrowick
