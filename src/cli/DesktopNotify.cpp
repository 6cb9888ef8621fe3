#include "DesktopNotify.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

bool SendDesktopNotification(const QString& summary, const QString& body, bool failed)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // Urgency 2 (critical) keeps a failure on screen until it is seen; 1 is normal.
    const QVariantMap hints{{QStringLiteral("urgency"), QVariant::fromValue(uchar(failed ? 2 : 1))},
                            {QStringLiteral("desktop-entry"), QStringLiteral("org.morvane.Morvane")}};
    call << QStringLiteral("Morvane") << 0u << QStringLiteral("org.morvane.Morvane") << summary << body << QStringList()
         << hints << -1;
    // A service that does not answer must not hold up the end of the run for long.
    const QDBusMessage reply = bus.call(call, QDBus::Block, 5000);
    return reply.type() == QDBusMessage::ReplyMessage;
}
