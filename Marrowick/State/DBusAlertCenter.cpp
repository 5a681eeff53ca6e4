#include "Marrowick/State/DBusAlertCenter.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QCoro/QCoroDBusPendingCall>

namespace marrowick {

namespace {

// Errors that mean nothing on the bus can show a notification now. A server that does not
// answer in time counts as none: alerts posted to it would be lost without a word.
bool meansNoServer(QDBusError::ErrorType error)
{
    switch (error) {
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
    case QDBusError::ServiceUnknown:
    case QDBusError::UnknownObject:
    case QDBusError::UnknownInterface:
    case QDBusError::UnknownMethod:
    case QDBusError::NoServer:
    case QDBusError::Disconnected:
        return true;
    default:
        return false;
    }
}

// The "image-data" hint: width, height, row stride, alpha, bits per sample, channels, and
// the RGBA bytes, not premultiplied.
QVariant imageHint(const QImage &rgba)
{
    const QByteArray bytes(reinterpret_cast<const char *>(rgba.constBits()), rgba.sizeInBytes());
    QDBusArgument argument;
    argument.beginStructure();
    argument << qint32(rgba.width()) << qint32(rgba.height()) << qint32(rgba.bytesPerLine()) << true << qint32(8)
             << qint32(4) << bytes;
    argument.endStructure();
    return QVariant::fromValue(argument);
}

} // namespace

DBusAlertCenter::DBusAlertCenter(QDBusConnection bus, QString desktopEntry, int answerTimeoutMs)
    : m_bus(std::move(bus)),
      m_desktopEntry(std::move(desktopEntry)),
      m_answerTimeoutMs(answerTimeoutMs)
{
}

void DBusAlertCenter::setMark(const QImage &mark)
{
    m_image = mark.isNull() ? QVariant() : imageHint(mark.convertToFormat(QImage::Format_RGBA8888));
}

QCoro::Task<AuthorizationStatus> DBusAlertCenter::authorizationStatus()
{
    if (!m_bus.isConnected())
        co_return AuthorizationStatus::denied;
    const QDBusMessage call =
        QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("GetServerInformation"));
    const QDBusPendingCall pending = m_bus.asyncCall(call, m_answerTimeoutMs);
    const QDBusMessage reply = co_await pending;
    m_serverName.clear();
    if (reply.type() == QDBusMessage::ReplyMessage) {
        // The first of name, vendor, version and protocol version; the server's own text,
        // shown on one line and kept short.
        const QList<QVariant> answer = reply.arguments();
        if (!answer.isEmpty())
            m_serverName = answer.first().toString().simplified().left(maximumServerNameLength);
        co_return AuthorizationStatus::authorized;
    }
    // Nothing is cached: a server that starts later is found at the next question.
    const QDBusError error(reply);
    co_return meansNoServer(error.type()) ? AuthorizationStatus::denied : AuthorizationStatus::notDetermined;
}

QCoro::Task<bool> DBusAlertCenter::requestAuthorization()
{
    // Notification servers ask nobody: permission is there exactly when a server answers.
    const AuthorizationStatus status = co_await authorizationStatus();
    co_return status == AuthorizationStatus::authorized;
}

void DBusAlertCenter::post(const AlertNotification &notification)
{
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), m_desktopEntry);
    if (m_image.isValid())
        hints.insert(QStringLiteral("image-data"), m_image);
    if (notification.sound)
        hints.insert(QStringLiteral("sound-name"), soundName);
    else
        hints.insert(QStringLiteral("suppress-sound"), true);

    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("Notify"));
    call << QCoreApplication::applicationName() << quint32(0) << m_desktopEntry << notification.title
         << notification.body << QStringList() << hints << qint32(-1);
    // Fire and forget: the reply only carries the server's id for the notification.
    m_bus.asyncCall(call);
}

} // namespace marrowick
