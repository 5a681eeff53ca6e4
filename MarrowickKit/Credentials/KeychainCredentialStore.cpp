#include "MarrowickKit/Credentials/KeychainCredentialStore.h"

#include "MarrowickKit/Async/Completion.h"
#include "MarrowickKit/Model/StrictUtf8.h"

#include <QTimer>

#include <qt6keychain/keychain.h>

#include <algorithm>
#include <cmath>

namespace marrowick {

namespace {

template<typename JobType>
JobType *makeJob(const QString &service, const QString &referenceName)
{
    auto *job = new JobType(service);
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    job->setKey(referenceName);
    return job;
}

int milliseconds(double seconds)
{
    if (!std::isfinite(seconds))
        return 2147483647;
    return static_cast<int>(std::clamp(std::ceil(seconds * 1000.0), 0.0, 2147483647.0));
}

} // namespace

KeychainCredentialStore::KeychainCredentialStore(QString service, double promptTimeout)
    : m_service(std::move(service)), m_promptTimeout(promptTimeout)
{
}

QCoro::Task<KeychainCredentialStore::JobResult> KeychainCredentialStore::run(QObject *object) const
{
    auto *job = static_cast<QKeychain::Job *>(object);
    Completion<JobResult> done;
    // The job deletes itself once finished, also after it lost the race against the timer.
    QObject::connect(job, &QKeychain::Job::finished, [done](QKeychain::Job *finished) {
        JobResult result{static_cast<int>(finished->error()), {}};
        if (auto *read = qobject_cast<QKeychain::ReadPasswordJob *>(finished))
            result.data = read->binaryData();
        done.complete(std::move(result));
    });
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [done] { done.fail(CredentialError::timedOut()); });
    timer.start(milliseconds(m_promptTimeout));
    job->start();
    JobResult result = co_await done;
    co_return result;
}

QCoro::Task<std::optional<QString>> KeychainCredentialStore::secret(QString referenceName)
{
    const JobResult result = co_await run(makeJob<QKeychain::ReadPasswordJob>(m_service, referenceName));
    if (result.error == QKeychain::EntryNotFound)
        co_return std::nullopt;
    if (result.error != QKeychain::NoError)
        throw CredentialError::unexpectedStatus(result.error);
    co_return decodeStrictUtf8(result.data);
}

QCoro::Task<void> KeychainCredentialStore::setSecret(QString secret, QString referenceName)
{
    auto *job = makeJob<QKeychain::WritePasswordJob>(m_service, referenceName);
    // Writing replaces an item that already holds the name.
    job->setTextData(secret);
    const JobResult result = co_await run(job);
    if (result.error != QKeychain::NoError)
        throw CredentialError::unexpectedStatus(result.error);
}

QCoro::Task<void> KeychainCredentialStore::removeSecret(QString referenceName)
{
    const JobResult result = co_await run(makeJob<QKeychain::DeletePasswordJob>(m_service, referenceName));
    if (result.error != QKeychain::NoError && result.error != QKeychain::EntryNotFound)
        throw CredentialError::unexpectedStatus(result.error);
}

} // namespace marrowick
