#pragma once

#include "Marrowick/Settings/SettingsTexts.h"
#include "MarrowickKit/Transport/HTTPClient.h"

#include <QObject>
#include <QPointer>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

namespace marrowick {

// Asks the release manifest whether a newer version than the installed one exists. One
// check runs at a time; its result, success or failure, ends in one message.
class UpdateCheck : public QObject {
    Q_OBJECT

public:
    // No http: the application's shared client, made on the first check. `installedVersion` is
    // required.
    UpdateCheck(QUrl manifestURL, std::shared_ptr<const HTTPClient> http, std::function<QString()> installedVersion,
                QObject *parent = nullptr);

    bool isChecking() const { return m_checking; }
    // Does nothing while a check runs or without a valid manifest address.
    void start();

signals:
    void checkingChanged(bool checking);
    void finished(const MessageAlert &result);

private:
    static QCoro::Task<void> run(QPointer<UpdateCheck> self, QUrl manifest, std::shared_ptr<const HTTPClient> http,
                                 QString installed);
    void finish(std::optional<ReleaseCheckResult> result);
    void setChecking(bool checking);

    QUrl m_manifestURL;
    std::shared_ptr<const HTTPClient> m_http;
    std::function<QString()> m_installedVersion;
    bool m_checking = false;
};

} // namespace marrowick
