#pragma once

#include "MarrowickKit/Credentials/Keyring.h"

#include <QObject>

#include <memory>

namespace marrowick {

// The desktop's keyring through QtKeychain (the Secret Service, or KWallet on KDE). QtKeychain
// says little about why a call failed: with the Secret Service, a locked keyring whose unlock
// prompt was declined reads as "entry not found", no keyring service at all as "other error".
// So a failed or empty answer is checked against the Secret Service itself: whether it runs,
// whether the item is there but locked, whether a default keyring exists and is locked.
//
// It watches the Secret Service's own signals, which start nothing: a collection that tells it
// changed and is unlocked now, and the service's name getting an owner.
class DesktopKeyring : public Keyring {
public:
    DesktopKeyring();
    ~DesktopKeyring() override;

    QCoro::Task<Reply> run(Request request) override;
    void watch(std::function<void(Change)> changed) override;

private:
    std::unique_ptr<QObject> m_watch;
};

} // namespace marrowick
