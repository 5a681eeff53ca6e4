#pragma once

#include "MarrowickKit/Credentials/Keyring.h"

namespace marrowick {

// The desktop's keyring through QtKeychain (the Secret Service, or KWallet on KDE). QtKeychain
// says little about why a call failed: with the Secret Service, a locked keyring whose unlock
// prompt was declined reads as "entry not found", no keyring service at all as "other error".
// So a failed or empty answer is checked against the Secret Service itself: whether it runs,
// whether the item is there but locked, whether a default keyring exists and is locked.
class DesktopKeyring : public Keyring {
public:
    QCoro::Task<Reply> run(Request request) override;
};

} // namespace marrowick
