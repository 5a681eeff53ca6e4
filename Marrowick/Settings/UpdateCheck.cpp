#include "Marrowick/Settings/UpdateCheck.h"

#include "MarrowickKit/Providers/ReleaseChecker.h"

namespace marrowick {

UpdateCheck::UpdateCheck(QUrl manifestURL, std::shared_ptr<const HTTPClient> http,
                         std::function<QString()> installedVersion, QObject *parent)
    : QObject(parent), m_manifestURL(std::move(manifestURL)), m_http(std::move(http)),
      m_installedVersion(std::move(installedVersion))
{
    Q_ASSERT(m_installedVersion);
}

void UpdateCheck::start()
{
    if (!m_manifestURL.isValid() || m_checking)
        return;
    setChecking(true);
    // The shared client is made on first use, so a settings window that never checks makes none.
    run(this, m_manifestURL, m_http ? m_http : sharedHTTPClient(), m_installedVersion());
}

QCoro::Task<void> UpdateCheck::run(QPointer<UpdateCheck> self, QUrl manifest, std::shared_ptr<const HTTPClient> http,
                                   QString installed)
{
    std::optional<ReleaseCheckResult> result;
    try {
        const ReleaseChecker checker(manifest, std::move(http));
        result = co_await checker.check(installed);
    } catch (...) {
        // Every failure reads the same to the user.
    }
    if (self)
        self->finish(result);
}

void UpdateCheck::finish(std::optional<ReleaseCheckResult> result)
{
    setChecking(false);
    emit finished(result ? SettingsTexts::updateResult(*result) : SettingsTexts::updateCheckFailed());
}

void UpdateCheck::setChecking(bool checking)
{
    m_checking = checking;
    emit checkingChanged(checking);
}

} // namespace marrowick
