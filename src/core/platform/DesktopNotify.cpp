#include "platform/DesktopNotify.h"

#include "util/Translate.h"

#include <QDBusMessage>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>
#include <QVariantMap>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString Service = u"org.freedesktop.Notifications"_s;
const QString Path = u"/org/freedesktop/Notifications"_s;
const QString Interface = u"org.freedesktop.Notifications"_s;
const QString FailuresAction = u"failures"_s;
// A service that does not answer must not hold up the end of a run for long.
constexpr int CallTimeoutMs = 5000;

} // namespace

TDesktopNotification::TDesktopNotification(QObject* parent) : QObject(parent), FBus(QDBusConnection::sessionBus()) {}

TDesktopNotification::~TDesktopNotification() = default;

bool TDesktopNotification::Send(const QString& summary, const QString& body, bool failed, bool offerFailures)
{
    if (!FBus.isConnected())
        return false;
    FOffersFailures = false;
    QStringList actions;
    if (offerFailures) {
        // A service without actions would show the keys as text, or nothing.
        const QDBusMessage caps =
            FBus.call(QDBusMessage::createMethodCall(Service, Path, Interface, u"GetCapabilities"_s), QDBus::Block,
                      CallTimeoutMs);
        if (caps.type() == QDBusMessage::ReplyMessage && !caps.arguments().isEmpty() &&
            caps.arguments().constFirst().toStringList().contains(u"actions"_s)) {
            // "default" is the click on the notification itself.
            actions << u"default"_s << TrDefault("Show failures") << FailuresAction << TrDefault("Show failures");
        }
    }
    // Subscribed before the call: a quick click must not come before the subscription.
    if (!actions.isEmpty() && !FConnected) {
        FConnected =
            FBus.connect(Service, Path, Interface, u"ActionInvoked"_s, this, SLOT(ActionInvoked(uint, QString))) &&
            FBus.connect(Service, Path, Interface, u"NotificationClosed"_s, this, SLOT(NotificationClosed(uint, uint)));
    }
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface, u"Notify"_s);
    // Urgency 2 (critical) keeps a failure on screen until it is seen; 1 is normal.
    const QVariantMap hints{{u"urgency"_s, QVariant::fromValue(uchar(failed ? 2 : 1))},
                            {u"desktop-entry"_s, u"org.morvane.Morvane"_s}};
    call << u"Morvane"_s << FId << u"org.morvane.Morvane"_s << summary << body << actions << hints << -1;
    const QDBusMessage reply = FBus.call(call, QDBus::Block, CallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return false;
    FId = reply.arguments().isEmpty() ? 0 : reply.arguments().constFirst().toUInt();
    FOffersFailures = !actions.isEmpty() && FConnected && FId != 0;
    return true;
}

bool TDesktopNotification::WaitForAnswer(int ms, int stopFd)
{
    if (!FOffersFailures)
        return false;
    bool requested = false;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &TDesktopNotification::Closed, &loop, &QEventLoop::quit);
    connect(this, &TDesktopNotification::FailuresRequested, &loop, [&] {
        requested = true;
        loop.quit();
    });
    std::unique_ptr<QSocketNotifier> stop;
    if (stopFd >= 0) {
        stop = std::make_unique<QSocketNotifier>(stopFd, QSocketNotifier::Read);
        connect(stop.get(), &QSocketNotifier::activated, &loop, &QEventLoop::quit);
    }
    timer.start(ms);
    loop.exec();
    return requested;
}

void TDesktopNotification::ActionInvoked(uint id, const QString& action)
{
    if (id == FId && (action == u"default"_s || action == FailuresAction))
        Q_EMIT FailuresRequested();
}

void TDesktopNotification::NotificationClosed(uint id, uint)
{
    if (id == FId)
        Q_EMIT Closed();
}
