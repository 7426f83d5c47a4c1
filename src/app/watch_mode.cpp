#include "app/watch_mode.h"

#include "app/headless.h"
#include "app/remote.h"
#include "watch/clock.h"
#include "watch/report.h"
#include "watch/watch.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace qv {

using namespace Qt::StringLiterals;

namespace {
int signalPipe[2] = {-1, -1};

// A signal handler may do almost nothing: it writes one byte, and the event loop does the rest.
extern "C" void onStopSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

bool installStopSignals()
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &sa, nullptr) == 0 && ::sigaction(SIGTERM, &sa, nullptr) == 0;
}

WatchSettings settingsFrom(const Options& o)
{
    WatchSettings s;
    s.dir = o.watchDir;
    s.captureEveryMinutes = o.captureEveryMinutes;
    s.logEveryMinutes = o.logEveryMinutes;
    s.alarms = parseAlarmList(o.alarms).value_or(s.alarms);
    s.hook = o.alarmHook;
    s.retention = {o.keepDays, o.keepMegabytes * 1024 * 1024};
    return s;
}
}  // namespace

int runWatch(Remote& remote, const Options& o)
{
    if (!installStopSignals()) {
        say(u"qv7700-remote: cannot install the stop signals"_s);
        return exitcode::Failed;
    }
    QSocketNotifier stopper(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopper, &QSocketNotifier::activated, &remote, [] { QCoreApplication::quit(); });

    SystemClock clock;
    Watch watch({remote.link(), remote.state(), remote.panel(), remote.screenFetch(), remote.picture(),
                 remote.errorLog(), remote.timer3(), [&remote] { return remote.serialNumber(); }, o.device},
                settingsFrom(o), clock);
    QObject::connect(&watch, &Watch::problem, &remote, [](const QString& text) { say(u"qv7700-remote: "_s + text); });
    remote.Form_Load();
    // Tests and benchmarks poll faster than the instrument's once a second.
    if (const int ms = qEnvironmentVariableIntValue("QV7700_POLL_MS"); ms > 0)
        remote.timer3().setInterval(ms);
    watch.start();
    QCoreApplication::exec();
    watch.stop();
    return exitcode::Done;
}

int runReport(const Options& o)
{
    QString error;
    if (!writeReport(o.watchDir, o.from, o.to, o.output, &error)) {
        say(u"qv7700-remote: "_s + error);
        return exitcode::NotWritten;
    }
    return exitcode::Done;
}

}  // namespace qv
