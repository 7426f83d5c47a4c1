#include "cli/service_notifier.h"

#include "session/session.h"
#include "watch/watch.h"

#include <systemd/sd-daemon.h>

namespace qv {

using namespace Qt::StringLiterals;

QString serviceStatusText(bool present, int activeAlarms)
{
    const QString alarms = activeAlarms == 0 ? u"no alarm"_s
                           : activeAlarms == 1 ? u"1 alarm active"_s
                                               : u"%1 alarms active"_s.arg(activeAlarms);
    return (present ? u"present, "_s : u"absent, "_s) + alarms;
}

ServiceNotifier::ServiceNotifier(Session& session, Watch& watch, QObject* parent)
    : QObject(parent), session_(session), watch_(watch)
{
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) > 0)
        watchdogMs_ = qint64(usec / 2000);
    // A tick the device was busy for is a tick all the same: the program is alive and its poll runs.
    connect(&session, &Session::polled, this, &ServiceNotifier::ticked);
    connect(&session, &Session::pollSkipped, this, &ServiceNotifier::ticked);
    connect(&watch, &Watch::alarmsChanged, this, &ServiceNotifier::updateStatus);
}

void ServiceNotifier::ready()
{
    sd_notify(0, "READY=1");
    updateStatus();
}

void ServiceNotifier::stopping()
{
    sd_notify(0, "STOPPING=1");
}

void ServiceNotifier::ticked()
{
    const qint64 now = monotonicNowMs();
    if (watchdogMs_ > 0 && (lastPingMs_ < 0 || now - lastPingMs_ >= watchdogMs_)) {
        sd_notify(0, "WATCHDOG=1");
        lastPingMs_ = now;
    }
    updateStatus();
}

void ServiceNotifier::updateStatus()
{
    int active = 0;
    for (const AlarmEpisode& e : watch_.episodes())
        active += e.cleared.isValid() ? 0 : 1;
    const QString status = serviceStatusText(session_.status().present, active);
    if (status == status_)
        return;
    status_ = status;
    sd_notify(0, (u"STATUS="_s + status).toUtf8().constData());
}

}  // namespace qv
