#pragma once

// A session bus of the test's own (dbus-daemon --session) with a notification
// service on it that records what it is sent and answers in a thread of its
// own, so that a test may wait for a program or run a window meanwhile.

#include <QDBusConnection>
#include <QMutex>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QThread>
#include <QVariantMap>

namespace testing_support {

class TNotificationListener : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    explicit TNotificationListener(const QString& connection) : FConnection(connection) {}

    // Each notification as "app|summary|body|urgency|actions".
    QStringList Received();
    // After a notification with actions: "default" clicks it, "closed" closes
    // it unclicked, empty leaves it on screen.
    void SetAnswer(const QString& answer);
    // Polls until `count` notifications came or two minutes passed.
    bool WaitForCount(qsizetype count);

public Q_SLOTS:
    QStringList GetCapabilities();
    uint Notify(const QString& app, uint replaces, const QString& icon, const QString& summary, const QString& body,
                const QStringList& actions, const QVariantMap& hints, int timeout);

private:
    QString FConnection;
    QMutex FMutex;
    QStringList FReceived;
    QString FAnswer;
};

class TNotificationService
{
public:
    TNotificationService();
    ~TNotificationService();
    TNotificationService(const TNotificationService&) = delete;
    TNotificationService& operator=(const TNotificationService&) = delete;

    // Why the bus or the service is not there; empty when both are.
    QString Problem() const { return FProblem; }
    QString Address() const { return FAddress; }
    TNotificationListener& Listener() { return FListener; }

private:
    QProcess FDaemon;
    QThread FThread;
    TNotificationListener FListener;
    QString FAddress;
    QString FProblem;
};

} // namespace testing_support
