#pragma once

#include <sys/types.h>

namespace marrowick::test {

// The accessibility bus of a desktop session (at-spi2-core's launcher, on the test's private
// session bus), with Qt told to serve it as it does a screen reader: Qt's accessibility is then
// on, and widgets send what they would send a screen reader. Start it before the application
// object. Without at-spi2-core installed it is not ready, and the tests that need it skip.
class AccessibilityBus {
public:
    AccessibilityBus();
    ~AccessibilityBus();
    AccessibilityBus(const AccessibilityBus &) = delete;
    AccessibilityBus &operator=(const AccessibilityBus &) = delete;

    bool isReady() const { return m_launcher > 0; }

private:
    pid_t m_launcher = -1;
};

} // namespace marrowick::test
