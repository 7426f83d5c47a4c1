#pragma once
// The watch as a systemd service of Type=notify: it says READY=1 once it watches, WATCHDOG=1 while its poll ticks
// (so that a watch whose poll has stopped is restarted by systemd's watchdog), STATUS= with what it sees
// ("present, 1 alarm active"), and STOPPING=1 at the end. Without NOTIFY_SOCKET (not a service) it says nothing.

#include <QObject>
#include <QString>

namespace qv {

class Session;
class Watch;

class ServiceNotifier : public QObject {
    Q_OBJECT
public:
    ServiceNotifier(Session& session, Watch& watch, QObject* parent = nullptr);
    void ready();
    void stopping();

private:
    void ticked();
    void updateStatus();

    Session& session_;
    Watch& watch_;
    qint64 watchdogMs_ = 0;  // the ping interval: half of WatchdogSec; 0 without a watchdog
    qint64 lastPingMs_ = -1;
    QString status_;
};

// "present, no alarm", "absent, 2 alarms active", ...: the line systemctl status shows for the watch.
QString serviceStatusText(bool present, int activeAlarms);

}  // namespace qv
