#pragma once

#include "MarrowickKit/Transport/NetworkStatus.h"

#include <QSocketNotifier>

#include <memory>
#include <optional>

namespace marrowick {

// This computer's network as the system tells it. Offline while NetworkManager (through Qt's
// network information) says disconnected, or while no interface but loopback is up and running
// with an address that is not link-local. Changes come from NetworkManager and, on Linux, from
// the kernel's notices of links, addresses and routes. Main thread only; Qt loads one network
// information backend per process, and this takes NetworkManager's or none.
class SystemNetworkStatus : public NetworkStatus {
    Q_OBJECT
public:
    explicit SystemNetworkStatus(QObject *parent = nullptr);
    ~SystemNetworkStatus() override;

    bool isOffline() const override;
    // Whether NetworkManager's backend loaded: it runs on the system bus.
    bool hasNetworkManager() const { return m_networkManager; }

private:
    void watchKernel();
    void noteChange();
    bool hasInterface() const;

    bool m_networkManager = false;
    int m_netlink = -1;
    std::unique_ptr<QSocketNotifier> m_kernelNotices;
    bool m_changePending = false;
    // Known while the kernel's notices say nothing changed; asked afresh where there are none.
    mutable std::optional<bool> m_hasInterface;
};

} // namespace marrowick
