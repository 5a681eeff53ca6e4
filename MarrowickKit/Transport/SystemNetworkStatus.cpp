#include "MarrowickKit/Transport/SystemNetworkStatus.h"

#include <QNetworkInformation>
#include <QNetworkInterface>
#include <QTimer>

#ifdef Q_OS_LINUX
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <utility>

namespace marrowick {

namespace {

const QString networkManagerBackend = QStringLiteral("networkmanager");
constexpr int changeFoldMs = 200;

// Only NetworkManager: Qt's other Linux backend follows GLib, whose monitor calls a computer
// without a default route offline, which a home lab's own network often is.
QNetworkInformation *networkManager()
{
    if (!QNetworkInformation::instance())
        QNetworkInformation::loadBackendByName(networkManagerBackend);
    QNetworkInformation *information = QNetworkInformation::instance();
    return information && information->backendName().compare(networkManagerBackend, Qt::CaseInsensitive) == 0
        ? information
        : nullptr;
}

} // namespace

SystemNetworkStatus::SystemNetworkStatus(QObject *parent) : NetworkStatus(parent)
{
    if (QNetworkInformation *information = networkManager()) {
        m_networkManager = true;
        connect(information, &QNetworkInformation::reachabilityChanged, this, &SystemNetworkStatus::noteChange);
    }
    watchKernel();
}

SystemNetworkStatus::~SystemNetworkStatus()
{
    m_kernelNotices.reset();
#ifdef Q_OS_LINUX
    if (m_netlink >= 0)
        ::close(m_netlink);
#endif
}

bool SystemNetworkStatus::isOffline() const
{
    if (m_networkManager
        && QNetworkInformation::instance()->reachability() == QNetworkInformation::Reachability::Disconnected)
        return true;
    return !hasInterface();
}

bool SystemNetworkStatus::hasInterface() const
{
    if (m_hasInterface)
        return *m_hasInterface;
    bool found = false;
    const auto wanted = QNetworkInterface::IsUp | QNetworkInterface::IsRunning;
    for (const QNetworkInterface &interface : QNetworkInterface::allInterfaces()) {
        if ((interface.flags() & wanted) != wanted || interface.flags().testFlag(QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry &entry : interface.addressEntries()) {
            if (!entry.ip().isLinkLocal() && !entry.ip().isLoopback())
                found = true;
        }
    }
    if (m_kernelNotices)
        m_hasInterface = found;
    return found;
}

void SystemNetworkStatus::watchKernel()
{
#ifdef Q_OS_LINUX
    const int descriptor = ::socket(AF_NETLINK, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (descriptor < 0)
        return;
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR | RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE;
    if (::bind(descriptor, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) != 0) {
        ::close(descriptor);
        return;
    }
    m_netlink = descriptor;
    m_kernelNotices = std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Read);
    connect(m_kernelNotices.get(), &QSocketNotifier::activated, this, [this] {
        // What changed does not matter, only that something did; an overrun lost notices,
        // which says the same.
        char buffer[8192];
        while (::recv(m_netlink, buffer, sizeof(buffer), MSG_DONTWAIT) > 0 || errno == ENOBUFS) {
        }
        noteChange();
    });
#endif
}

void SystemNetworkStatus::noteChange()
{
    m_hasInterface.reset();
    // A link, its addresses, its routes and NetworkManager's verdict come as a burst of notices
    // over a few milliseconds: one change for them all.
    if (std::exchange(m_changePending, true))
        return;
    QTimer::singleShot(changeFoldMs, this, [this] {
        m_changePending = false;
        emit changed();
    });
}

} // namespace marrowick
