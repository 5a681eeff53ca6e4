#pragma once

#include "MarrowickKit/Transport/NetworkStatus.h"

namespace marrowick::test {

// This computer's network as a test says it is; `changed` comes once it has changed, as from
// NetworkManager and the kernel's notices.
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
