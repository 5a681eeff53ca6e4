#pragma once

namespace marrowick::test {

// The session's accessibility bus (at-spi2-core's, which scripts/with-test-services.sh starts
// for every test on its bus), with Qt told to serve it as it serves a screen reader: widgets then
// send what they would send one, and a test's update handler takes it. Make it before the
// application object.
class AccessibilityBus {
public:
    AccessibilityBus();

    // Whether the bus is there; ask once the application object exists. Without it, Qt keeps
    // its accessibility off and the tests that need it skip.
    static bool isReady();
};

} // namespace marrowick::test
