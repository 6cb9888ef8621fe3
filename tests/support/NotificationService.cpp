#include "support/NotificationService.h"

#include <QDBusMessage>
#include <QMutexLocker>

using namespace Qt::StringLiterals;

namespace testing_support {

namespace {
const QString ConnectionName = u"test-notification-service"_s;
}

QStringList TNotificationListener::Received()
{
    QMutexLocker lock(&FMutex);
    return FReceived;
}

void TNotificationListener::SetAnswer(const QString& answer)
{
    QMutexLocker lock(&FMutex);
    FAnswer = answer;
}

bool TNotificationListener::WaitForCount(qsizetype count)
{
    for (int i = 0; i < 1200 && Received().size() < count; ++i)
        QThread::msleep(100);
    return Received().size() >= count;
}

QStringList TNotificationListener::GetCapabilities()
{
    return {u"actions"_s, u"body"_s};
}

uint TNotificationListener::Notify(const QString& app, uint, const QString&, const QString& summary,
                                   const QString& body, const QStringList& actions, const QVariantMap& hints, int)
{
    QMutexLocker lock(&FMutex);
    FReceived << app + u'|' + summary + u'|' + body + u'|' + QString::number(hints.value(u"urgency"_s).toInt()) + u'|' +
                     actions.join(u',');
    const uint id = uint(FReceived.size());
    if (!actions.isEmpty() && !FAnswer.isEmpty()) {
        // After the reply, as a service does when the user acts on it.
        QMetaObject::invokeMethod(
            this,
            [this, id, answer = FAnswer] {
                const bool click = answer == u"default"_s;
                QDBusMessage signal =
                    QDBusMessage::createSignal(u"/org/freedesktop/Notifications"_s, u"org.freedesktop.Notifications"_s,
                                               click ? u"ActionInvoked"_s : u"NotificationClosed"_s);
                if (click)
                    signal << id << answer;
                else
                    signal << id << 2u;
                QDBusConnection(FConnection).send(signal);
            },
            Qt::QueuedConnection);
    }
    return id;
}

TNotificationService::TNotificationService() : FListener(ConnectionName)
{
    FDaemon.start(u"dbus-daemon"_s, {u"--session"_s, u"--nofork"_s, u"--print-address=1"_s});
    if (!FDaemon.waitForStarted(30000)) {
        FProblem = u"dbus-daemon is needed"_s;
        return;
    }
    while (!FDaemon.canReadLine() && FDaemon.waitForReadyRead(30000)) {
    }
    FAddress = QString::fromUtf8(FDaemon.readLine()).trimmed();
    if (FAddress.isEmpty()) {
        FProblem = u"dbus-daemon gave no address"_s;
        return;
    }
    FListener.moveToThread(&FThread);
    FThread.start();
    QDBusConnection bus = QDBusConnection::connectToBus(FAddress, ConnectionName);
    if (!bus.isConnected() ||
        !bus.registerObject(u"/org/freedesktop/Notifications"_s, &FListener, QDBusConnection::ExportAllSlots) ||
        !bus.registerService(u"org.freedesktop.Notifications"_s))
        FProblem = u"the notification service could not be registered on "_s + FAddress;
}

TNotificationService::~TNotificationService()
{
    QDBusConnection::disconnectFromBus(ConnectionName);
    FThread.quit();
    FThread.wait();
    FDaemon.kill();
    FDaemon.waitForFinished();
}

} // namespace testing_support
