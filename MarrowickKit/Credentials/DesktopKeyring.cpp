#include "MarrowickKit/Credentials/DesktopKeyring.h"

#include "MarrowickKit/Async/Completion.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QCoro/QCoroDBusPendingCall>
#include <QPointer>

#include <qt6keychain/keychain.h>

#include <optional>

namespace marrowick {

namespace {

struct JobResult {
    QKeychain::Error error = QKeychain::NoError;
    QString message;
    QByteArray data;
};

QKeychain::Job *makeJob(const Keyring::Request &request)
{
    QKeychain::Job *job = nullptr;
    switch (request.operation) {
    case Keyring::Operation::read:
        job = new QKeychain::ReadPasswordJob(request.service);
        break;
    case Keyring::Operation::write: {
        auto *write = new QKeychain::WritePasswordJob(request.service);
        // Writing replaces an item that already holds the name. Stored as text, as other
        // programs reading the keyring expect.
        write->setTextData(request.secret);
        job = write;
        break;
    }
    case Keyring::Operation::remove:
        job = new QKeychain::DeletePasswordJob(request.service);
        break;
    }
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    job->setKey(request.referenceName);
    return job;
}

QCoro::Task<JobResult> runJob(const Keyring::Request &request)
{
    QKeychain::Job *job = makeJob(request);
    const Completion<JobResult> done;
    QObject::connect(job, &QKeychain::Job::finished, [done](QKeychain::Job *finished) {
        JobResult result{finished->error(), finished->errorString(), {}};
        if (auto *read = qobject_cast<QKeychain::ReadPasswordJob *>(finished))
            result.data = read->binaryData();
        done.complete(std::move(result));
    });
    job->start();
    JobResult result = co_await done;
    co_return result;
}

// The Secret Service as it is now. Asked only after a call went wrong, never started for it.
namespace secretService {

const QString name = QStringLiteral("org.freedesktop.secrets");
const QString path = QStringLiteral("/org/freedesktop/secrets");
const QString serviceInterface = QStringLiteral("org.freedesktop.Secret.Service");
constexpr int answerTimeoutMs = 5000;

QCoro::Task<QDBusMessage> call(QDBusMessage message)
{
    message.setAutoStartService(false);
    const QDBusPendingCall pending = QDBusConnection::sessionBus().asyncCall(message, answerTimeoutMs);
    const QDBusMessage reply = co_await pending;
    co_return reply;
}

bool answered(const QDBusMessage &reply, int arguments)
{
    return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() >= arguments;
}

struct Keyrings {
    bool running = false;
    bool hasDefault = false;
    bool defaultLocked = false;
};

// Whether the collection at `collection` says it is locked; nothing where it does not answer.
QCoro::Task<std::optional<bool>> collectionLocked(QString collection)
{
    QDBusMessage getLocked = QDBusMessage::createMethodCall(
        name, collection, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    getLocked << QStringLiteral("org.freedesktop.Secret.Collection") << QStringLiteral("Locked");
    const QDBusMessage locked = co_await call(getLocked);
    if (!answered(locked, 1))
        co_return std::nullopt;
    co_return locked.arguments().constFirst().value<QDBusVariant>().variant().toBool();
}

QCoro::Task<Keyrings> keyrings()
{
    Keyrings found;
    if (!QDBusConnection::sessionBus().isConnected())
        co_return found;
    QDBusMessage readAlias = QDBusMessage::createMethodCall(name, path, serviceInterface, QStringLiteral("ReadAlias"));
    readAlias << QStringLiteral("default");
    const QDBusMessage alias = co_await call(readAlias);
    if (!answered(alias, 1))
        co_return found;
    found.running = true;
    const QString collection = alias.arguments().constFirst().value<QDBusObjectPath>().path();
    // "/" names no collection: there is no default keyring.
    found.hasDefault = !collection.isEmpty() && collection != QStringLiteral("/");
    if (!found.hasDefault)
        co_return found;
    found.defaultLocked = (co_await collectionLocked(collection)).value_or(false);
    co_return found;
}

// Whether the item QtKeychain keeps for the name is there but locked. QtKeychain stores it
// with the name as "user" and the service name as "server".
QCoro::Task<bool> itemIsLocked(const Keyring::Request &request)
{
    if (!QDBusConnection::sessionBus().isConnected())
        co_return false;
    qDBusRegisterMetaType<QMap<QString, QString>>();
    QDBusMessage search = QDBusMessage::createMethodCall(name, path, serviceInterface, QStringLiteral("SearchItems"));
    const QMap<QString, QString> attributes{{QStringLiteral("user"), request.referenceName},
                                            {QStringLiteral("server"), request.service}};
    search << QVariant::fromValue(attributes);
    const QDBusMessage found = co_await call(search);
    if (!answered(found, 2))
        co_return false;
    const auto locked = qdbus_cast<QList<QDBusObjectPath>>(found.arguments().at(1));
    co_return !locked.isEmpty();
}

// Follows the service's signals: CollectionChanged, which does not say what changed, so the
// collection is asked then whether it is unlocked now; and its name getting an owner.
class Watch : public QObject {
    Q_OBJECT
public:
    explicit Watch(std::function<void(Keyring::Change)> changed)
        : m_changed(std::move(changed)),
          m_appearance(name, QDBusConnection::sessionBus(), QDBusServiceWatcher::WatchForRegistration)
    {
        connect(&m_appearance, &QDBusServiceWatcher::serviceRegistered, this,
                [this] { m_changed(Keyring::Change::appeared); });
        // A slot of the whole message: one typed by the signal's arguments connects only once
        // their types are known to the process, which they may not be yet.
        QDBusConnection::sessionBus().connect(name, path, serviceInterface, QStringLiteral("CollectionChanged"), this,
                                              SLOT(collectionChanged(QDBusMessage)));
    }

private slots:
    void collectionChanged(const QDBusMessage &signal)
    {
        [](QPointer<Watch> self, QString collection) -> QCoro::Task<void> {
            const std::optional<bool> locked = co_await collectionLocked(std::move(collection));
            if (self && locked == false)
                self->m_changed(Keyring::Change::unlocked);
        }(QPointer<Watch>(this), signal.arguments().value(0).value<QDBusObjectPath>().path());
    }

private:
    std::function<void(Keyring::Change)> m_changed;
    QDBusServiceWatcher m_appearance;
};

} // namespace secretService

Keyring::Reply replyOf(Keyring::Outcome outcome, const JobResult &job = {})
{
    return Keyring::Reply{outcome, job.data, static_cast<qint32>(job.error), job.message};
}

QCoro::Task<Keyring::Reply> failure(JobResult job)
{
    switch (job.error) {
    case QKeychain::NoBackendAvailable:
        co_return replyOf(Keyring::Outcome::noService, job);
    case QKeychain::AccessDeniedByUser:
        co_return replyOf(Keyring::Outcome::refused, job);
    default:
        break;
    }
    const secretService::Keyrings keyrings = co_await secretService::keyrings();
    if (!keyrings.running) {
        // KWallet refuses without a Secret Service on the bus; anything else means none runs.
        const bool refused = job.error == QKeychain::AccessDenied;
        co_return replyOf(refused ? Keyring::Outcome::refused : Keyring::Outcome::noService, job);
    }
    if (!keyrings.hasDefault)
        co_return replyOf(Keyring::Outcome::noKeyring, job);
    if (keyrings.defaultLocked)
        co_return replyOf(Keyring::Outcome::locked, job);
    if (job.error == QKeychain::AccessDenied)
        co_return replyOf(Keyring::Outcome::refused, job);
    co_return replyOf(Keyring::Outcome::failed, job);
}

} // namespace

DesktopKeyring::DesktopKeyring() = default;

DesktopKeyring::~DesktopKeyring() = default;

void DesktopKeyring::watch(std::function<void(Change)> changed)
{
    m_watch = std::make_unique<secretService::Watch>(std::move(changed));
}

QCoro::Task<Keyring::Reply> DesktopKeyring::run(Request request)
{
    // Only the request is used after a suspension: the keyring may be gone by then.
    const JobResult job = co_await runJob(request);
    if (job.error == QKeychain::NoError)
        co_return replyOf(Outcome::done, job);
    if (job.error == QKeychain::EntryNotFound) {
        // A read of a locked item whose unlock was declined also ends here.
        if (request.operation == Operation::read && co_await secretService::itemIsLocked(request))
            co_return replyOf(Outcome::locked, job);
        co_return replyOf(Outcome::absent, job);
    }
    co_return co_await failure(job);
}

} // namespace marrowick

#include "DesktopKeyring.moc"
