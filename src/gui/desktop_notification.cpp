#include "gui/desktop_notification.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace qv {

using namespace Qt::StringLiterals;

bool sendDesktopNotification(const QString& summary, const QString& body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage message = QDBusMessage::createMethodCall(u"org.freedesktop.Notifications"_s,
                                                          u"/org/freedesktop/Notifications"_s,
                                                          u"org.freedesktop.Notifications"_s, u"Notify"_s);
    // Critical urgency: servers keep such a notification until it is dismissed, as an alarm should be. The
    // desktop entry lets the server show the program's name and icon.
    const QVariantMap hints{{u"urgency"_s, QVariant::fromValue(uchar(2))},
                            {u"desktop-entry"_s, u"qv7700-remote"_s}};
    message << u"qv7700-remote"_s << uint(0) << u"qv7700-remote"_s << summary << body << QStringList() << hints
            << int(-1);
    return bus.send(message);
}

}  // namespace qv
