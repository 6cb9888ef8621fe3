#pragma once

#include <QString>

// A desktop notification through the freedesktop notification service on the
// session bus (org.freedesktop.Notifications). Without a session bus or a
// service nothing happens: the caller's own output stays the record.

// Sends one notification; false when there is no bus, no service, or no
// answer within a few seconds.
bool SendDesktopNotification(const QString& summary, const QString& body, bool failed);
