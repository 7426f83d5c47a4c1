#include "cli/watch_mode.h"

#include "cli/headless.h"
#include "net/net_service.h"
#include "session/session.h"
#include "cli/service_notifier.h"
#include "cli/stop_signals.h"
#include "render/fonts.h"
#include "snmp/snmp_feed.h"
#include "watch/clock.h"
#include "watch/report.h"
#include "watch/watch.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <memory>

namespace qv {

using namespace Qt::StringLiterals;

namespace {

// The alarms as the API serves them: the picture of each as the address it is served at, never a server path.
QJsonArray alarmsJson(const std::deque<AlarmEpisode>& episodes, const QString& dir)
{
    QJsonArray out;
    const auto time = [](const QDateTime& t) { return t.isValid() ? QJsonValue(isoTimestamp(t)) : QJsonValue(); };
    for (const AlarmEpisode& e : episodes)
        out.append(QJsonObject{{u"id"_s, e.id},
                               {u"name"_s, alarmNameText(e.name)},
                               {u"active"_s, !e.cleared.isValid()},
                               {u"since"_s, time(e.raised)},
                               {u"cleared"_s, time(e.cleared)},
                               {u"acknowledged"_s, time(e.acknowledged)},
                               {u"acknowledged_by"_s, e.acknowledged.isValid() ? QJsonValue(e.acknowledgedBy) : QJsonValue()},
                               {u"comment"_s, e.acknowledged.isValid() ? QJsonValue(e.comment) : QJsonValue()},
                               {u"flapping"_s, e.flapping},
                               {u"detail"_s, e.detail},
                               {u"capture_url"_s, e.capture.isEmpty() ? QJsonValue()
                                                                      : QJsonValue(net::captureUrl(QDir(dir).relativeFilePath(e.capture)))}});
    return out;
}

}  // namespace

void serveWatch(NetBridge& bridge, Watch& watch)
{
    bridge.acknowledge = [&watch](const QString& id, const QString& who, const QString& comment, const QString& from) {
        return watch.acknowledge(id, who, from, comment);
    };
    // Every alarm the watch may raise is in the metrics from now on, at 0 until it is raised.
    QStringList watched;
    for (int i = 0; i < kAlarmCount; ++i)
        if (watch.settings().alarms[size_t(i)])
            watched.append(alarmNameText(AlarmName(i)));
    bridge.setWatchedAlarms(watched);
    QObject::connect(&watch, &Watch::alarmChanged, &bridge, [&bridge](const AlarmChange& c) {
        if (c.raised)
            bridge.countAlarmRaised(alarmNameText(c.name));
    });
    const QString dir = watch.settings().dir;
    QObject::connect(&watch, &Watch::alarmsChanged, &bridge, [&bridge, &watch, dir] { bridge.setAlarms(alarmsJson(watch.episodes(), dir)); });
    QObject::connect(&watch, &QObject::destroyed, &bridge, [&bridge] {
        bridge.acknowledge = {};
        bridge.setCapturesDir({});
    });
    bridge.setCapturesDir(dir + u"/captures"_s);
    bridge.setAlarms(alarmsJson(watch.episodes(), dir));
    constexpr qsizetype kTailLines = 200;
    struct Tail {
        QList<net::JournalLine> lines;
        quint64 count = 0;
    };
    auto tail = std::make_shared<Tail>();
    QObject::connect(&watch, &Watch::journalLine, &bridge, [&bridge, &watch, tail, dir](const QByteArray& line) {
        const QJsonObject record = QJsonDocument::fromJson(line).object();
        tail->lines.append({QDateTime::fromString(record.value(u"t"_s).toString(), Qt::ISODateWithMs), line.trimmed(),
                            ++tail->count});
        if (tail->lines.size() > kTailLines)
            tail->lines.removeFirst();
        bridge.setJournalTail(tail->lines);
        bridge.setAlarms(alarmsJson(watch.episodes(), dir));
    });
}

namespace {

// The poll, once a second as in the window; tests and benchmarks poll faster than the instrument does.
void startPolling(Session& session)
{
    session.start();
    if (const int ms = qEnvironmentVariableIntValue("QV7700_POLL_MS"); ms > 0)
        session.pollSchedule().setInterval(ms);
}

// SNMP beside the watch or the server. An agent that cannot start is said once; the rest carries on.
std::unique_ptr<snmp::Feed> joinSnmp(Session& session, const WatchSettings& s)
{
    if (s.snmp.isEmpty())
        return nullptr;
    QString error;
    snmp::Agent::instance().say = [](const QString& line) { say(u"qv7700-remote: "_s + line, Severity::Warning); };
    std::unique_ptr<snmp::Feed> feed = snmp::startFeed(session, s.snmp, s.snmpBaseOid, &error);
    if (!feed)
        say(u"qv7700-remote: %1; carrying on without SNMP"_s.arg(error));
    return feed;
}
}  // namespace

int runWatch(Session& session, const Options& o)
{
    if (!quitOnStopSignals()) {
        say(u"qv7700-remote: cannot install the stop signals"_s);
        return exitcode::Failed;
    }

    SystemClock clock;
    Watch watch(session, o.device, o.watch, clock);
    // Before the poll or a server starts: a second watch on the folder leaves no trace, in the journal or elsewhere.
    if (QString why; !watch.lockFolder(&why)) {
        say(u"qv7700-remote: "_s + why);
        return exitcode::Failed;
    }
    // The keys go to the instrument only once the folder is ours: a refused watch touches nothing.
    if (!o.presses.isEmpty() && runPresses(session, o.presses) != exitcode::Done)
        say(u"qv7700-remote: a key exchange with the QV7700 failed; watching it anyway"_s);
    // The status box went to standard error for the presses; the watch's log fetches would fill it all day.
    QObject::disconnect(&session.panel(), &PanelModel::statusTextWritten, &session, nullptr);
    QObject::connect(&watch, &Watch::problem, &session, [](const QString& text) { say(u"qv7700-remote: "_s + text); });
    // Alarms on standard error too: for a service, journalctl -u ... -p warning lists them.
    QObject::connect(&watch, &Watch::alarmChanged, &session, [](const AlarmChange& c) {
        say(u"qv7700-remote: alarm %1 %2: %3"_s.arg(alarmNameText(c.name), c.raised ? u"raised"_s : u"cleared"_s, c.detail),
            c.raised ? Severity::Warning : Severity::Notice);
    });
    startPolling(session);
    std::unique_ptr<NetService> service;
    if (o.serve) {
        service = std::make_unique<NetService>(session);
        QString error;
        if (!service->start(*o.serve, &error)) {
            say(u"qv7700-remote: "_s + error);
            return exitcode::Failed;
        }
        for (const QString& notice : service->notices())
            say(u"qv7700-remote: "_s + notice, Severity::Info);
        serveWatch(*service->bridge(), watch);
    }
    std::unique_ptr<snmp::Feed> snmpFeed = joinSnmp(session, o.watch);
    if (snmpFeed)
        snmpFeed->follow(&watch);
    ServiceNotifier systemd(session, watch);
    watch.start();
    systemd.ready();
    QCoreApplication::exec();
    systemd.stopping();
    watch.stop();
    if (service)
        service->stop();
    snmpFeed.reset();
    snmp::Agent::instance().stop();
    return exitcode::Done;
}

int runReport(const Options& o)
{
    QString error;
    if (!writeReport(o.watch.dir, o.from, o.to, o.output, &error)) {
        say(u"qv7700-remote: "_s + error);
        return exitcode::NotWritten;
    }
    return exitcode::Done;
}

int runServe(const Options& o)
{
    QString error;
    std::unique_ptr<Session> session = openSession(o, &error);
    if (!session) {
        say(u"qv7700-remote: "_s + error);
        return exitcode::Usage;
    }
    if (!o.presses.isEmpty() && runPresses(*session, o.presses) != exitcode::Done)
        say(u"qv7700-remote: a key exchange failed"_s);
    NetService service(*session);
    if (!service.start(*o.serve, &error)) {
        say(u"qv7700-remote: "_s + error);
        return exitcode::Failed;
    }
    for (const QString& notice : service.notices())
        say(u"qv7700-remote: "_s + notice, Severity::Info);
    quitOnStopSignals();
    std::unique_ptr<snmp::Feed> snmpFeed = joinSnmp(*session, o.watch);
    startPolling(*session);
    const int code = QCoreApplication::exec();
    service.stop();
    snmpFeed.reset();
    snmp::Agent::instance().stop();
    return code;
}

}  // namespace qv
