#pragma once

#include <QObject>

namespace marrowick {

// What this computer knows of its own network. A check that fails while it has none failed
// here, not at its target.
class NetworkStatus : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // True only where something tells that this computer has no network; false where nothing
    // tells.
    virtual bool isOffline() const = 0;

signals:
    // A route, an address, an interface or the desktop's network service changed: what failed
    // for want of a network may work now.
    void changed();
};

} // namespace marrowick
