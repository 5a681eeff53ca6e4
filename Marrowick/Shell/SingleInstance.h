#pragma once

#include "Marrowick/Shell/InstanceLock.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>

namespace marrowick {

// Keeps one running copy per user. The first start owns the data folder, through a lock file
// in it, and where there is a session bus a well-known name on it. A later start asks the
// owner over the bus to open its popup and then exits, so two copies never poll the same
// sources or write the same files. The lock ends with its process, so a copy that crashed
// keeps no later start out.
class SingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "dev.tobrin.marrowick.Instance")

public:
    enum class Claim {
        owner,          // this copy runs
        handedOver,     // a running copy was asked to open its popup; this one exits
        alreadyRunning, // a running copy holds the data folder and could not be reached
    };
    Q_ENUM(Claim)

    static inline const QString lockFileName = QStringLiteral("marrowick.lock");
    static inline const QString interfaceName = QStringLiteral("dev.tobrin.marrowick.Instance");

    // `identifier` is the bus name; its object path is the identifier with "/" for ".".
    SingleInstance(QString identifier, QString dataDirectory, QDBusConnection bus, QObject *parent = nullptr);
    ~SingleInstance() override;

    Claim claim();
    // Why the claim gave alreadyRunning, in words for the user.
    const QString &error() const { return m_error; }

public slots:
    // Called over the bus by a later start.
    Q_SCRIPTABLE void Activate();

signals:
    void activationRequested();

private:
    QString objectPath() const;
    bool registerOnBus();
    bool handOver();
    bool lockDataFolder();
    void leaveBus();

    QString m_identifier;
    QString m_dataDirectory;
    QDBusConnection m_bus;
    InstanceLock m_lock;
    bool m_ownsName = false;
    QString m_error;
};

} // namespace marrowick
