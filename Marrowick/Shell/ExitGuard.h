#pragma once

#include <functional>

namespace marrowick {

// Qt's X11 platform ends the process with exit(1) from inside the event loop when its
// connection to the X server breaks (the server went away, as at logout on X11): no quit path
// runs, and nothing on the stack is destroyed. While a guard lives, an exit() on the thread
// that made it first runs its `save`, the quit path's part that needs no event loop; where the
// X connection broke, the process then ends with status 0, as after SIGTERM, and Qt's teardown
// over the dead connection is skipped. An exit after the guard is gone (the end of main) does
// nothing more. One guard at a time: an exit handler reaches only statics.
class ExitGuard {
public:
    explicit ExitGuard(std::function<void()> save);
    ~ExitGuard();
    ExitGuard(const ExitGuard &) = delete;
    ExitGuard &operator=(const ExitGuard &) = delete;

private:
    static void atExit();

    std::function<void()> m_save;
};

} // namespace marrowick
