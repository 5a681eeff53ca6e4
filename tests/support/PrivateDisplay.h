#pragma once

#include <QString>

#include <sys/types.h>

namespace marrowick::test {

// An X server of the test's own (Xvfb), with no window manager, started before the application
// object so that Qt connects to it: for what happens only on a desktop platform (the tray, the
// X server's focus and pointer). Sets DISPLAY and QT_QPA_PLATFORM=xcb when it is up; without
// Xvfb installed it is not, and the tests skip.
class PrivateDisplay {
public:
    PrivateDisplay();
    ~PrivateDisplay();
    PrivateDisplay(const PrivateDisplay &) = delete;
    PrivateDisplay &operator=(const PrivateDisplay &) = delete;

    bool isReady() const { return m_ready; }
    // Empty when the server is up and xdotool, which sends real clicks and keys through it, is
    // installed; otherwise why the tests that need both skip.
    QString missingForInput() const;

private:
    pid_t m_server = -1;
    bool m_ready = false;
};

} // namespace marrowick::test
