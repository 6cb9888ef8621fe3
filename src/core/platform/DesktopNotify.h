#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

// A desktop notification through the freedesktop notification service on the
// session bus (org.freedesktop.Notifications). Without a session bus or a
// service nothing happens: the caller's own output stays the record.
class TDesktopNotification : public QObject
{
    Q_OBJECT
public:
    explicit TDesktopNotification(QObject* parent = nullptr);
    ~TDesktopNotification() override;

    // Sends the notification; with `offerFailures` a click on it and its
    // "Show failures" button ask for the failure list, where the service
    // offers actions. False when there is no bus, no service, or no answer
    // within a few seconds.
    bool Send(const QString& summary, const QString& body, bool failed, bool offerFailures);
    // The notification sent carries the failures action.
    bool OffersFailures() const { return FOffersFailures; }
    // Runs the event loop until the notification was clicked, closed, or
    // `ms` passed, or `stopFd` became readable (-1: none). True when the
    // failure list was asked for.
    bool WaitForAnswer(int ms, int stopFd = -1);

Q_SIGNALS:
    void FailuresRequested();
    void Closed();

private Q_SLOTS:
    void ActionInvoked(uint id, const QString& action);
    void NotificationClosed(uint id, uint reason);

private:
    QDBusConnection FBus;
    uint FId = 0;
    bool FOffersFailures = false;
    bool FConnected = false;
};
