#pragma once

#include "MarrowickKit/Transport/NetworkStatus.h"

namespace marrowick::test {

// This computer's network as a test says it is. Checked against the real one (NetworkManager
// on a system bus of its own, the kernel's notices in a network namespace): `changed` comes
// once the state has changed, and says nothing of which way.
class FakeNetworkStatus : public NetworkStatus {
public:
    bool offline = false;

    bool isOffline() const override { return offline; }
    void set(bool isOffline)
    {
        offline = isOffline;
        emit changed();
    }
};

} // namespace marrowick::test
