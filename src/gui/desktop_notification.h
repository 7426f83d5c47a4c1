#pragma once
// A desktop notification through the freedesktop notification service (org.freedesktop.Notifications on the
// session bus), for an alarm raised while the window watches.

#include <QString>

namespace qv {

// Sends without waiting for an answer: false when there is no session bus. A bus without the service drops the
// message; either way the alarm is in the watch window's list, so nothing is shown to the user about it.
bool sendDesktopNotification(const QString& summary, const QString& body);

}  // namespace qv
