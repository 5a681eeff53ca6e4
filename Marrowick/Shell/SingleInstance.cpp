#include "Marrowick/Shell/SingleInstance.h"

#include "MarrowickKit/Engine/AtomicFile.h"

#include <QDBusMessage>
#include <QDir>

namespace marrowick {

namespace {

// A running copy answers at once; one that does not is hung, and the start gives up on it.
constexpr int handOverTimeoutMs = 10000;

} // namespace

SingleInstance::SingleInstance(QString identifier, QString dataDirectory, QDBusConnection bus, QObject *parent)
    : QObject(parent),
      m_identifier(std::move(identifier)),
      m_dataDirectory(std::move(dataDirectory)),
      m_bus(std::move(bus)),
      m_lock(QDir(m_dataDirectory).filePath(lockFileName))
{
}

SingleInstance::~SingleInstance()
{
    leaveBus();
}

QString SingleInstance::objectPath() const
{
    return QLatin1Char('/') + QString(m_identifier).replace(QLatin1Char('.'), QLatin1Char('/'));
}

SingleInstance::Claim SingleInstance::claim()
{
    // The bus decides a race between two starts: exactly one gets the name.
    if (m_bus.isConnected() && !registerOnBus() && handOver())
        return Claim::handedOver;
    if (lockDataFolder())
        return Claim::owner;
    leaveBus();
    return Claim::alreadyRunning;
}

void SingleInstance::Activate()
{
    emit activationRequested();
}

bool SingleInstance::registerOnBus()
{
    // The object first, so a start that finds the name finds the object behind it too.
    if (!m_bus.registerObject(objectPath(), this, QDBusConnection::ExportScriptableSlots))
        return false;
    m_ownsName = m_bus.registerService(m_identifier);
    if (!m_ownsName)
        m_bus.unregisterObject(objectPath());
    return m_ownsName;
}

bool SingleInstance::handOver()
{
    const QDBusMessage call =
        QDBusMessage::createMethodCall(m_identifier, objectPath(), interfaceName, QStringLiteral("Activate"));
    // With the GUI's event loop running, so that an owner in this same thread can answer too.
    const QDBusMessage reply = m_bus.call(call, QDBus::BlockWithGui, handOverTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage;
}

bool SingleInstance::lockDataFolder()
{
    // The folder may not exist before the first save; the lock goes in it all the same. Where it
    // cannot be made, that is the cause to tell, not the missing lock file it leads to.
    const QString folderError = AtomicFile::createFolder(m_dataDirectory);
    const QString folder = QDir::toNativeSeparators(m_dataDirectory);
    switch (m_lock.tryLock()) {
    case InstanceLock::Result::locked:
        return true;
    case InstanceLock::Result::unavailable:
        // A folder we cannot write is reported where saving fails; it holds no other copy.
        qWarning("Marrowick could not lock its data folder %s (%s); it runs without the lock.", qPrintable(folder),
                 qPrintable(folderError.isEmpty() ? m_lock.error() : folderError));
        return true;
    case InstanceLock::Result::heldByAnother:
        break;
    }
    // Only a process that really holds the lock is named.
    if (m_lock.holderPid() <= 0)
        m_error = QStringLiteral("Marrowick is already running and uses the data folder %1.").arg(folder);
    else if (m_lock.holderHost().isEmpty())
        m_error = QStringLiteral("Marrowick is already running (process %1) and uses the data folder %2.")
                      .arg(m_lock.holderPid())
                      .arg(folder);
    else
        m_error = QStringLiteral("Marrowick is already running (process %1 on %2) and uses the data folder %3.")
                      .arg(m_lock.holderPid())
                      .arg(m_lock.holderHost(), folder);
    return false;
}

void SingleInstance::leaveBus()
{
    if (!m_ownsName)
        return;
    m_bus.unregisterService(m_identifier);
    m_bus.unregisterObject(objectPath());
    m_ownsName = false;
}

} // namespace marrowick
