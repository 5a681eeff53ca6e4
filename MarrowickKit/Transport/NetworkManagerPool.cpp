#include "MarrowickKit/Transport/NetworkManagerPool.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QThread>

#include <algorithm>

namespace marrowick {

namespace {

// Keeps nothing and sends nothing, so no cookie survives from one poll to the next.
class NoCookieJar : public QNetworkCookieJar {
public:
    using QNetworkCookieJar::QNetworkCookieJar;
    QList<QNetworkCookie> cookiesForUrl(const QUrl &) const override { return {}; }
    bool setCookiesFromUrl(const QList<QNetworkCookie> &, const QUrl &) override { return false; }
    bool insertCookie(const QNetworkCookie &) override { return false; }
};

std::shared_ptr<QNetworkAccessManager> makeManager()
{
    // The shared client outlives the application object, but a manager's network thread must
    // not: left running, it crashes on the first event after the application is gone. A manager
    // made on the application's thread is therefore the application's child, deleted with it
    // (which stops that thread); the pool deletes it first when it goes first.
    QCoreApplication *application = QCoreApplication::instance();
    const bool onApplicationThread = application && application->thread() == QThread::currentThread();
    auto *made = new QNetworkAccessManager(onApplicationThread ? application : nullptr);
    std::shared_ptr<QNetworkAccessManager> manager(made, [guard = QPointer<QNetworkAccessManager>(made)](QNetworkAccessManager *) {
        if (guard && QCoreApplication::instance())
            delete guard.data();
    });
    manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    manager->setCookieJar(new NoCookieJar(manager.get()));
    manager->setCache(nullptr);
    return manager;
}

// What a manager keeps its connections by.
QString targetOf(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    const int port = url.port(scheme == QLatin1String("https") ? 443 : 80);
    return scheme + QLatin1String("://") + url.host() + QLatin1Char(':') + QString::number(port);
}

} // namespace

NetworkManagerPool::NetworkManagerPool()
{
    m_slots.push_back({makeManager(), {}});
}

NetworkManagerPool::~NetworkManagerPool() = default;

QNetworkReply *NetworkManagerPool::send(const QNetworkRequest &request, const QByteArray &method, const QByteArray &body)
{
    const QString target = targetOf(request.url());
    const std::size_t slot = slotFor(target);
    QNetworkAccessManager &manager = *m_slots[slot].manager;
    QNetworkReply *reply = body.isEmpty() ? manager.sendCustomRequest(request, method)
                                          : manager.sendCustomRequest(request, method, body);
    ++m_slots[slot].inFlight[target];
    // A reply holds its connection until it is finished; every reply is deleted after that.
    QObject::connect(reply, &QObject::destroyed, &m_context, [this, slot, target] { release(slot, target); });
    return reply;
}

std::size_t NetworkManagerPool::slotFor(const QString &target)
{
    for (std::size_t i = 0; i < m_slots.size(); ++i) {
        if (m_slots[i].inFlight.value(target) < connectionsPerManager)
            return i;
    }
    if (m_slots.size() < std::size_t(maxManagers)) {
        m_slots.push_back({makeManager(), {}});
        return m_slots.size() - 1;
    }
    const auto least = std::min_element(m_slots.begin(), m_slots.end(), [&target](const Slot &a, const Slot &b) {
        return a.inFlight.value(target) < b.inFlight.value(target);
    });
    return std::size_t(least - m_slots.begin());
}

void NetworkManagerPool::release(std::size_t slot, const QString &target)
{
    auto &inFlight = m_slots[slot].inFlight;
    const auto found = inFlight.find(target);
    if (found != inFlight.end() && --*found <= 0)
        inFlight.erase(found);
}

} // namespace marrowick
