#include "cli/multi_mode.h"

#include "cli/headless.h"
#include "cli/stop_signals.h"
#include "cli/watch_mode.h"
#include "link/serial_number_filter.h"
#include "net/multi_service.h"
#include "session/device_select.h"
#include "session/instrument_thread.h"
#include "session/session.h"
#include "snmp/snmp_feed.h"
#include "watch/clock.h"
#include "watch/watch.h"

#include <QCoreApplication>
#include <QDir>
#include <QTimer>

#include <systemd/sd-daemon.h>

#include <atomic>
#include <memory>
#include <vector>

namespace qv {

using namespace Qt::StringLiterals;

QString instrumentIdFor(const QByteArray& serial)
{
    QString id = QString::fromLatin1(serial);
    for (QChar& c : id)
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != u'.' && c != u'-' && c != u'_')
            c = u'_';
    return id == u"."_s || id == u".."_s ? u"_"_s : id;
}

namespace {
constexpr int kScanMs = 2000;  // --all: how often the converters are listed for one plugged in meanwhile

// What the service's status line says, kept by each instrument's thread and read by the main one.
struct Summary {
    std::atomic<bool> present{false};
    std::atomic<int> alarms{0};
};

class Several {
public:
    explicit Several(const Options& o) : o_(o) {}
    ~Several() { stop(); }

    bool startServing(QString* error)
    {
        if (!o_.serve)
            return true;
        service_ = std::make_unique<MultiNetService>();
        if (!service_->start(*o_.serve, error))
            return false;
        for (const QString& notice : service_->notices())
            say(u"qv7700-remote: "_s + notice, Severity::Info);
        return true;
    }

    void startSnmp()
    {
        if (o_.watch.snmp.isEmpty())
            return;
        snmp::Agent& agent = snmp::Agent::instance();
        agent.say = [](const QString& line) { say(u"qv7700-remote: "_s + line, Severity::Warning); };
        const std::optional<snmp::Oid> base =
            o_.watch.snmpBaseOid.isEmpty() ? std::optional(snmp::kDefaultBase) : snmp::parseOid(o_.watch.snmpBaseOid);
        QString error;
        snmp_ = base && agent.start(o_.watch.snmp, *base, &error);
        if (!snmp_)
            say(u"qv7700-remote: %1; carrying on without SNMP"_s.arg(error), Severity::Warning);
    }

    // The instrument on a thread of its own: its session, its watch in DIR/ID, its bridge, its SNMP row, then
    // its poll. Code: 0, or the exit code to end with.
    int add(const InstrumentSpec& wanted)
    {
        auto instrument = std::make_unique<InstrumentThread>(wanted.id);
        QString error;
        if (!instrument->open(wanted.device, wanted.serial.toLatin1(), &error)) {
            say(u"qv7700-remote: "_s + error);
            return exitcode::Usage;
        }
        instrument->run([&] { instrument->session().live().setIntervalMs(o_.liveIntervalMs); });
        const QString prefix = u"qv7700-remote: "_s + wanted.id + u": "_s;
        auto summary = std::make_shared<Summary>();
        Watch* watch = nullptr;
        bool locked = true;
        if (o_.action == Action::Watch) {
            WatchSettings settings = o_.watch;
            settings.dir = QDir(o_.watch.dir).filePath(wanted.id);
            instrument->run([&] {
                Session& session = instrument->session();
                auto* clock = new SystemClock;
                watch = new Watch(session, wanted.device, settings, *clock);
                watch->setInstrumentId(wanted.id);
                instrument->atStop([watch, clock] {
                    watch->stop();
                    delete watch;
                    delete clock;
                });
                QString why;
                locked = watch->lockFolder(&why);
                if (!locked) {
                    say(prefix + why);
                    return;
                }
                QObject::connect(watch, &Watch::problem, watch, [prefix](const QString& text) { say(prefix + text); });
                QObject::connect(watch, &Watch::alarmChanged, watch, [prefix](const AlarmChange& c) {
                    say(prefix + u"alarm %1 %2: %3"_s.arg(alarmNameText(c.name), c.raised ? u"raised"_s : u"cleared"_s, c.detail),
                        c.raised ? Severity::Warning : Severity::Notice);
                });
                QObject::connect(watch, &Watch::alarmsChanged, watch, [watch, summary] {
                    int active = 0;
                    for (const AlarmEpisode& e : watch->episodes())
                        active += !e.cleared.isValid();
                    summary->alarms = active;
                });
            });
            if (!locked) {
                instrument->stop();
                return exitcode::Failed;
            }
        }
        NetBridge* bridge = service_ ? service_->add(*instrument) : nullptr;
        const size_t row = instruments_.size();
        instrument->run([&] {
            Session& session = instrument->session();
            QObject::connect(&session, &Session::polled, &session,
                             [summary](const InstrumentStatus& st) { summary->present = st.present; });
            if (bridge && watch)
                serveWatch(*bridge, *watch);
            if (snmp_) {
                auto* feed = new snmp::Feed(snmp::Agent::instance(), session, row, wanted.id);
                if (watch)
                    feed->follow(watch);
                instrument->atStop([feed] { delete feed; });
            }
            session.start();
            if (const int ms = qEnvironmentVariableIntValue("QV7700_POLL_MS"); ms > 0)
                session.pollSchedule().setInterval(ms);
            if (watch)
                watch->start();
        });
        say(u"qv7700-remote: instrument %1 on %2%3"_s.arg(wanted.id, wanted.device.isEmpty() ? u"auto"_s : wanted.device,
                                                           wanted.serial.isEmpty() ? QString() : u" (serial number %1)"_s.arg(wanted.serial)),
            Severity::Info);
        summaries_.push_back(summary);
        instruments_.push_back(std::move(instrument));
        return exitcode::Done;
    }

    // --all: every converter the scan lists now, and from then on every one that appears.
    bool startScan(QString* error)
    {
        auto device = makeDevice(o_.device, error);
        if (!device)
            return false;
        scanner_ = std::make_unique<SerialNumberFilter>(std::move(device), QByteArray());
        scan();
        scanTimer_.setInterval(kScanMs);
        QObject::connect(&scanTimer_, &QTimer::timeout, [this] { scan(); });
        scanTimer_.start();
        return true;
    }

    void notifyReady()
    {
        sd_notify(0, "READY=1");
        QObject::connect(&statusTimer_, &QTimer::timeout, [this] { updateService(); });
        statusTimer_.start(1000);
        updateService();
    }

    void stop()
    {
        scanTimer_.stop();
        statusTimer_.stop();
        sd_notify(0, "STOPPING=1");
        // The instruments first: their bridges and watches go on their own threads, then the server they fed.
        for (auto it = instruments_.rbegin(); it != instruments_.rend(); ++it)
            (*it)->stop();
        instruments_.clear();
        if (service_)
            service_->stop();
        if (snmp_)
            snmp::Agent::instance().stop();
        snmp_ = false;
    }

private:
    void scan()
    {
        for (const QByteArray& serial : scanner_->attachedSerials()) {
            if (serial.isEmpty() || seen_.contains(serial))
                continue;
            seen_.append(serial);
            add({instrumentIdFor(serial), o_.device, QString::fromLatin1(serial)});
        }
    }

    // Every second: the watchdog, and the line systemctl status shows.
    void updateService()
    {
        uint64_t usec = 0;
        if (sd_watchdog_enabled(0, &usec) > 0)
            sd_notify(0, "WATCHDOG=1");
        int present = 0, alarms = 0;
        for (const auto& s : summaries_) {
            present += s->present;
            alarms += s->alarms;
        }
        const QString text = u"%1 instruments, %2 present, %3"_s.arg(summaries_.size()).arg(present).arg(
            alarms == 0 ? u"no alarm"_s : alarms == 1 ? u"1 alarm active"_s : u"%1 alarms active"_s.arg(alarms));
        sd_notify(0, (u"STATUS="_s + text).toUtf8().constData());
    }

    const Options& o_;
    std::unique_ptr<MultiNetService> service_;
    bool snmp_ = false;
    std::vector<std::unique_ptr<InstrumentThread>> instruments_;
    std::vector<std::shared_ptr<Summary>> summaries_;
    std::unique_ptr<SerialNumberFilter> scanner_;
    QList<QByteArray> seen_;
    QTimer scanTimer_, statusTimer_;
};
}  // namespace

int runSeveral(const Options& o)
{
    if (!quitOnStopSignals()) {
        say(u"qv7700-remote: cannot install the stop signals"_s);
        return exitcode::Failed;
    }
    Several several(o);
    QString error;
    if (!several.startServing(&error)) {
        say(u"qv7700-remote: "_s + error);
        return exitcode::Failed;
    }
    several.startSnmp();
    if (o.all) {
        if (!several.startScan(&error)) {
            say(u"qv7700-remote: "_s + error);
            return exitcode::Usage;
        }
    } else {
        for (const InstrumentSpec& wanted : o.instruments)
            if (const int code = several.add(wanted); code != exitcode::Done)
                return code;
    }
    several.notifyReady();
    QCoreApplication::exec();
    several.stop();
    return exitcode::Done;
}

}  // namespace qv
