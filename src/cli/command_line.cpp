#include "cli/command_line.h"

#include "session/front_panel_keys.h"
#include "net/net_access.h"
#include "net/tls_identity.h"
#include "render/screen_picture.h"
#include "snmp/snmp_agent.h"
#include "watch/alarm_rules.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

namespace qv {

using namespace Qt::StringLiterals;

namespace {
struct OptionTable {
    QCommandLineOption device{u"device"_s,
                              u"Link to the instrument: d2xx, serial, serial:PATH or sim (the simulated instrument; "
                              "sim:LATENCY_MS[:BYTES_PER_SECOND] models a slow link). Without it: the D2XX library "
                              "if it loads, else the first serial port of USB vendor 0403. Repeated with --serve or "
                              "--watch: one instrument each (dev1, dev2, ...)."_s,
                              u"NAME"_s};
    QCommandLineOption serialNumber{{u"s"_s, u"serial-number"_s},
                                    u"The instrument whose USB converter has this serial number (see "
                                    "--list-devices). Without it: the first one found. Repeated with --serve or "
                                    "--watch: one instrument each, known by its serial number."_s,
                                    u"SN"_s};
    QCommandLineOption all{u"all"_s,
                           u"With --serve or --watch: every instrument attached, and those plugged in later, each "
                           "known by its converter's serial number."_s};
    QCommandLineOption press{u"press"_s,
                             u"Press a front-panel key without a window (repeatable; runs before any other action): "
                             "WFM VECT AUDIO CURS LOGGER ALARM DATA DISPLAY PICTURE 1-9 CH1 CH2 EYE STO REC, or hold "
                             "a knob for 200 ms: LEFT RIGHT UP DOWN VOL- VOL+."_s,
                             u"KEY"_s};
    QCommandLineOption capture{u"capture"_s,
                               u"Without a window: one status poll, then the screen fetch; save the picture (.png or "
                               ".bmp; - writes PNG to standard output)."_s,
                               u"FILE"_s};
    QCommandLineOption getLog{u"get-log"_s,
                              u"Without a window: fetch the error log into FILE (- for standard output), as the "
                              "status box shows it unless --format says otherwise."_s,
                              u"FILE"_s};
    QCommandLineOption format{u"format"_s,
                              u"With --capture: png or bmp. With --get-log: text (the status box, byte for byte), "
                              "json or csv."_s,
                              u"FORMAT"_s};
    QCommandLineOption eraseLog{u"erase-log"_s, u"Without a window: erase the instrument's error log."_s};
    QCommandLineOption status{u"status"_s, u"Without a window: one status poll; print the panel state."_s};
    QCommandLineOption listDevices{u"list-devices"_s,
                                   u"List the instrument converters attached to this computer and whether they can "
                                   "be opened."_s};
    QCommandLineOption json{u"json"_s,
                            u"Print results (and failures) as JSON on standard output; texts for people stay on "
                            "standard error."_s};
    QCommandLineOption render{u"render"_s,
                              u"Without an instrument: draw screen-type CODE (0-255) with a simulated trace into "
                              "--output."_s,
                              u"CODE"_s};
    QCommandLineOption levels{u"levels"_s, u"With --render: the four audio levels, e.g. 110,120,130,140."_s,
                              u"L1,L2,L3,L4"_s, u"110,120,130,140"_s};
    QCommandLineOption noSignal{u"no-signal"_s, u"With --render: as the instrument shows it without a signal."_s};
    QCommandLineOption output{u"output"_s, u"With --render: the picture file (.png or .bmp)."_s, u"FILE"_s};
    QCommandLineOption doctor{u"doctor"_s, u"Check the link to the instrument and say what to fix."_s};
    QCommandLineOption watch{u"watch"_s,
                             u"Without a window: watch the instrument until SIGINT or SIGTERM, journaling its state, "
                             "alarms, captures and error log into DIR."_s,
                             u"DIR"_s};
    QCommandLineOption captureEvery{u"capture-every"_s, u"With --watch: a time-lapse capture every MINUTES."_s,
                                    u"MINUTES"_s};
    QCommandLineOption logEvery{u"log-every"_s, u"With --watch: fetch the error log every MINUTES (default %1; 0: never)."_s.arg(WatchSettings{}.logEveryMinutes),
                                u"MINUTES"_s};
    QCommandLineOption alarms{u"alarms"_s, u"With --watch: the alarms to raise, all or a list of gamut,signal,absent,log."_s,
                              u"LIST"_s};
    QCommandLineOption alarmRules{u"alarm-rules"_s,
                                  u"With --watch: the alarms' raise delays, clear holds, flap limits and hook pace "
                                  "from this INI file (see the README)."_s,
                                  u"FILE"_s};
    QCommandLineOption alarmHook{u"alarm-hook"_s,
                                 u"With --watch: run COMMAND (split into words, no shell) for every alarm raised or "
                                 "cleared, with QV_ALARM, QV_STATE, QV_TIME, QV_DETAIL, QV_SERIAL, QV_CAPTURE, "
                                 "QV_JOURNAL and QV_INSTRUMENT in its environment."_s,
                                 u"COMMAND"_s};
    QCommandLineOption keepDays{u"keep-days"_s, u"With --watch: delete its captures and journal files after N days (default %1)."_s.arg(
                                    WatchSettings{}.retention.keepDays),
                                u"N"_s};
    QCommandLineOption keepMb{u"keep-mb"_s, u"With --watch: delete its oldest captures beyond N MB (default %1)."_s.arg(
                                  WatchSettings{}.retention.keepBytes / (1024 * 1024)),
                              u"N"_s};
    QCommandLineOption report{u"report"_s, u"Write a PDF report of the watch in DIR (with --from, --to, --output)."_s,
                              u"DIR"_s};
    QCommandLineOption from{u"from"_s, u"With --report: the start, ISO 8601 or YYYY-MM-DD."_s, u"TIME"_s};
    QCommandLineOption to{u"to"_s, u"With --report: the end, ISO 8601 or YYYY-MM-DD (that whole day)."_s, u"TIME"_s};
    QCommandLineOption serve{u"serve"_s,
                             u"Without a window: poll once a second and serve the live page, the HTTP API and "
                             "Prometheus metrics on [ADDRESS:]PORT (address 127.0.0.1 unless given; port 0: any free "
                             "one)."_s,
                             u"[ADDRESS:]PORT"_s};
    QCommandLineOption tokenFile{u"token-file"_s,
                                 u"With --serve: the token that control (and reading off loopback) needs; made with "
                                 "128 random bits and mode 0600 when missing."_s,
                                 u"FILE"_s};
    QCommandLineOption tlsCert{u"tls-cert"_s, u"With --serve and --tls-key: serve HTTPS with this PEM certificate."_s,
                               u"FILE"_s};
    QCommandLineOption tlsKey{u"tls-key"_s, u"With --serve and --tls-cert: the certificate's PEM private key."_s,
                              u"FILE"_s};
    QCommandLineOption tlsKeyPass{u"tls-key-pass-file"_s,
                                  u"With --tls-key: the file whose first line is the key's passphrase."_s, u"FILE"_s};
    QCommandLineOption publicRead{u"public-read"_s,
                                  u"With --serve on an address that is not loopback: reading needs no token."_s};
    QCommandLineOption window{u"window"_s, u"With --serve: show the window too and serve from it."_s};
    // Written --snmp or --snmp=SOCKET: a bare --snmp is given the default socket before parsing.
    QCommandLineOption snmp{u"snmp"_s,
                            u"With --watch or --serve: join the SNMP agent as an AgentX subagent through SOCKET "
                            "(written --snmp=SOCKET; default %1, or tcp:HOST:PORT)."_s.arg(QLatin1StringView(snmp::kDefaultAgentxSocket)),
                            u"SOCKET"_s};
    QCommandLineOption snmpBaseOid{u"snmp-base-oid"_s,
                                   u"With --snmp: the program's subtree (default %1, a placeholder under the "
                                   "documentation enterprise number)."_s.arg(snmp::oidText(snmp::kDefaultBase)),
                                   u"OID"_s};
    QCommandLineOption liveInterval{u"live-interval"_s,
                                    u"With --serve or the window: while the live screen is watched, copy it every "
                                    "SECONDS (default %1, at least %2)."_s.arg(LiveView::kDefaultIntervalMs / 1000)
                                        .arg(LiveView::kMinIntervalMs / 1000),
                                    u"SECONDS"_s};
    QCommandLineOption allowHost{u"allow-host"_s,
                                 u"With --serve: a host name viewers may use besides the address (repeatable)."_s,
                                 u"NAME"_s};

    void addTo(QCommandLineParser& parser) const
    {
        for (const auto* o : {&device, &serialNumber, &all, &press, &capture, &getLog, &format, &eraseLog, &status,
                              &listDevices, &json, &render, &levels, &noSignal, &output, &doctor, &watch,
                              &captureEvery, &logEvery, &alarms, &alarmRules, &alarmHook, &keepDays, &keepMb, &report, &from, &to,
                              &serve, &tokenFile, &tlsCert, &tlsKey, &tlsKeyPass, &publicRead, &allowHost, &window, &snmp, &snmpBaseOid, &liveInterval})
            parser.addOption(*o);
    }
};

ParsedCommandLine usage(const QString& text)
{
    ParsedCommandLine r;
    r.exitCode = exitcode::Usage;
    r.error = u"qv7700-remote: "_s + text + u" (see --help)"_s;
    r.out = text;  // kept for the JSON object, if the command line asked for one
    return r;
}

std::optional<std::array<uint8_t, 4>> parseLevels(const QString& text)
{
    const QStringList parts = text.split(u',');
    if (parts.size() != 4)
        return std::nullopt;
    std::array<uint8_t, 4> levels{};
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        const int v = parts.at(i).trimmed().toInt(&ok);
        if (!ok || v < 0 || v > 255)
            return std::nullopt;
        levels[size_t(i)] = uint8_t(v);
    }
    return levels;
}

// The one action the command line asks for, or a usage error naming the options that clash.
std::optional<QString> chooseAction(const QCommandLineParser& p, const OptionTable& t, Options& o)
{
    const std::pair<const QCommandLineOption*, Action> actions[] = {
        {&t.capture, Action::Capture}, {&t.getLog, Action::GetLog},           {&t.eraseLog, Action::EraseLog},
        {&t.status, Action::Status},   {&t.listDevices, Action::ListDevices}, {&t.render, Action::Render},
        {&t.doctor, Action::Doctor},   {&t.watch, Action::Watch},             {&t.report, Action::Report}};
    QStringList chosen;
    for (const auto& [option, action] : actions) {
        if (p.isSet(*option)) {
            chosen.append(u"--"_s + option->names().constLast());
            o.action = action;
        }
    }
    if (chosen.size() > 1)
        return u"choose one of %1"_s.arg(chosen.join(u", "_s));
    // Serving goes beside the watch, or alone (polling as the window does).
    if (p.isSet(t.serve)) {
        if (chosen.isEmpty())
            o.action = Action::Serve;
        else if (o.action != Action::Watch)
            return u"--serve goes alone or with --watch, not with %1"_s.arg(chosen.first());
    }
    if (!o.presses.isEmpty()) {
        if (chosen.isEmpty())
            o.action = Action::Press;
        else if (o.action == Action::Render || o.action == Action::ListDevices || o.action == Action::Doctor ||
                 o.action == Action::Report)
            return u"--press does not go with %1"_s.arg(chosen.first());
    }
    return std::nullopt;
}

std::optional<QString> checkFormat(const QCommandLineParser& p, const OptionTable& t, Options& o)
{
    const QString format = p.value(t.format).toLower();
    if (o.action == Action::Capture) {
        o.output = p.value(t.capture);
        if (format.isEmpty() && o.output != u"-" && !isPictureFileName(o.output))
            return u"--capture writes .png or .bmp files (or give --format png|bmp)"_s;
        if (!format.isEmpty() && format != u"png" && format != u"bmp")
            return u"--format for --capture is png or bmp, not \"%1\""_s.arg(format);
        const QString chosen = format.isEmpty() ? QString::fromLatin1(pictureFormatFor(o.output)).toLower() : format;
        o.format = (o.output == u"-" && format.isEmpty()) || chosen == u"png" ? OutputFormat::Png : OutputFormat::Bmp;
        return std::nullopt;
    }
    if (o.action == Action::GetLog) {
        o.output = p.value(t.getLog);
        if (format.isEmpty() || format == u"text")
            o.format = OutputFormat::Text;
        else if (format == u"json")
            o.format = OutputFormat::Json;
        else if (format == u"csv")
            o.format = OutputFormat::Csv;
        else
            return u"--format for --get-log is text, json or csv, not \"%1\""_s.arg(format);
        return std::nullopt;
    }
    if (p.isSet(t.format))
        return u"--format goes with --capture or --get-log"_s;
    return std::nullopt;
}

std::optional<QString> checkRender(const QCommandLineParser& p, const OptionTable& t, Options& o)
{
    if (o.action != Action::Render) {
        for (const auto* option : {&t.levels, &t.noSignal})
            if (p.isSet(*option))
                return u"--%1 goes with --render"_s.arg(option->names().constFirst());
        if (o.action != Action::Report && p.isSet(t.output))
            return u"--output goes with --render or --report"_s;
        return std::nullopt;
    }
    bool ok = false;
    o.renderCode = p.value(t.render).toInt(&ok);
    if (!ok || o.renderCode < 0 || o.renderCode > 255)
        return u"--render takes a screen-type code from 0 to 255"_s;
    const auto levels = parseLevels(p.value(t.levels));
    if (!levels)
        return u"--levels takes four numbers from 0 to 255, e.g. 110,120,130,140"_s;
    o.levels = *levels;
    o.signal = !p.isSet(t.noSignal);
    o.output = p.value(t.output);
    if (!isPictureFileName(o.output))
        return u"--render needs --output FILE.png or FILE.bmp"_s;
    return std::nullopt;
}

// A time as ISO 8601, or a day (YYYY-MM-DD, local): its start, or with endOfDay the start of the next day.
std::optional<QDateTime> parseTime(const QString& text, bool endOfDay)
{
    const QDate day = QDate::fromString(text, u"yyyy-MM-dd"_s);
    if (day.isValid())
        return (endOfDay ? day.addDays(1) : day).startOfDay();
    QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!t.isValid())
        t = QDateTime::fromString(text, Qt::ISODate);
    if (!t.isValid())
        return std::nullopt;
    return t;
}

std::optional<double> parseMinutes(const QString& text)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    return ok && v >= 0 && v <= 7 * 24 * 60 ? std::optional<double>(v) : std::nullopt;
}

std::optional<QString> checkWatch(const QCommandLineParser& p, const OptionTable& t, Options& o)
{
    if (o.action != Action::Watch)
        for (const auto* option : {&t.captureEvery, &t.logEvery, &t.alarms, &t.alarmRules, &t.alarmHook, &t.keepDays, &t.keepMb})
            if (p.isSet(*option))
                return u"--%1 goes with --watch"_s.arg(option->names().constFirst());
    if (o.action != Action::Report)
        for (const auto* option : {&t.from, &t.to})
            if (p.isSet(*option))
                return u"--%1 goes with --report"_s.arg(option->names().constFirst());
    if (o.action == Action::Watch) {
        WatchSettings& w = o.watch;
        w.dir = p.value(t.watch);
        const auto minutesOf = [&p](const QCommandLineOption& option, double fallback) {
            return p.isSet(option) ? parseMinutes(p.value(option)) : std::optional<double>(fallback);
        };
        const auto capture = minutesOf(t.captureEvery, w.captureEveryMinutes), log = minutesOf(t.logEvery, w.logEveryMinutes);
        if (!capture)
            return u"--capture-every takes minutes (0 to 10080), not \"%1\""_s.arg(p.value(t.captureEvery));
        if (!log)
            return u"--log-every takes minutes (0 to 10080), not \"%1\""_s.arg(p.value(t.logEvery));
        w.captureEveryMinutes = *capture;
        w.logEveryMinutes = *log;
        if (p.isSet(t.alarms)) {
            const auto alarms = parseAlarmList(p.value(t.alarms));
            if (!alarms)
                return u"--alarms takes all or names from gamut,signal,absent,log, not \"%1\""_s.arg(p.value(t.alarms));
            w.alarms = *alarms;
        }
        if (p.isSet(t.alarmRules)) {
            QString why;
            const std::optional<AlarmRuleSet> rules = readAlarmRules(p.value(t.alarmRules), &why);
            if (!rules)
                return u"--alarm-rules: "_s + why;
            w.rules = *rules;
        }
        w.hook = p.value(t.alarmHook);
        if (p.isSet(t.alarmHook) && w.hook.trimmed().isEmpty())
            return u"--alarm-hook needs a command"_s;
        bool ok = true;
        if (p.isSet(t.keepDays))
            w.retention.keepDays = p.value(t.keepDays).toInt(&ok);
        if (!ok || w.retention.keepDays < 1)
            return u"--keep-days takes a whole number of days, 1 or more"_s;
        if (p.isSet(t.keepMb)) {
            const qint64 mb = p.value(t.keepMb).toLongLong(&ok);
            if (!ok || mb < 1 || mb > (qint64(1) << 40))
                return u"--keep-mb takes a whole number of megabytes, 1 or more"_s;
            w.retention.keepBytes = mb * 1024 * 1024;
        }
    }
    if (o.action == Action::Report) {
        o.watch.dir = p.value(t.report);
        const auto from = parseTime(p.value(t.from), false), to = parseTime(p.value(t.to), true);
        if (!from)
            return u"--report needs --from TIME (ISO 8601 or YYYY-MM-DD)"_s;
        if (!to)
            return u"--report needs --to TIME (ISO 8601 or YYYY-MM-DD)"_s;
        if (*to <= *from)
            return u"--to must come after --from"_s;
        o.from = *from;
        o.to = *to;
        o.output = p.value(t.output);
        if (!o.output.endsWith(u".pdf"_s, Qt::CaseInsensitive))
            return u"--report needs --output FILE.pdf"_s;
    }
    return std::nullopt;
}

std::optional<QString> checkServe(const QCommandLineParser& p, const OptionTable& t, Options& o)
{
    if (!p.isSet(t.serve)) {
        for (const auto* option : {&t.tokenFile, &t.tlsCert, &t.tlsKey, &t.tlsKeyPass, &t.publicRead, &t.allowHost, &t.window})
            if (p.isSet(*option))
                return u"--%1 goes with --serve"_s.arg(option->names().constFirst());
        return std::nullopt;
    }
    ServeOptions s{p.value(t.serve), p.value(t.tokenFile), p.value(t.tlsCert), p.value(t.tlsKey), p.isSet(t.publicRead),
                   p.values(t.allowHost), p.value(t.tlsKeyPass)};
    if (!net::parseServeAddress(s.address))
        return u"--serve takes [ADDRESS:]PORT, e.g. 8080, 0.0.0.0:8080 or [::1]:8080, not \"%1\""_s.arg(s.address);
    if (s.tlsCert.isEmpty() != s.tlsKey.isEmpty())
        return u"--tls-cert and --tls-key go together"_s;
    if (!s.tlsKeyPassFile.isEmpty() && s.tlsKey.isEmpty())
        return u"--tls-key-pass-file goes with --tls-key"_s;
    if (!s.tlsKey.isEmpty())
        if (const QString problem = net::tlsFilesProblem({s.tlsCert, s.tlsKey, s.tlsKeyPassFile}); !problem.isEmpty())
            return problem;
    o.serve = s;
    if (p.isSet(t.window)) {
        if (o.action == Action::Watch)
            return u"--window does not go with --watch (the window has its own Watch...)"_s;
        if (!o.presses.isEmpty())
            return u"--press does not go with --window"_s;
        o.action = Action::Window;  // the window polls and serves; Logger > Network... shows the address
    }
    return std::nullopt;
}
}  // namespace

namespace {
// Several instruments in one program: repeated --device (dev1, dev2, ... in order), repeated -s (each by its
// serial number on the one device), or --all (every one the scan finds on the one device).
std::optional<QString> checkInstruments(const QCommandLineParser& p, const OptionTable& t, Options& o)
{
    const QStringList devices = p.values(t.device), serials = p.values(t.serialNumber);
    if (!p.isSet(t.all) && devices.size() <= 1 && serials.size() <= 1)
        return std::nullopt;
    if (o.action != Action::Watch && o.action != Action::Serve)
        return p.isSet(t.all) ? u"--all goes with --serve or --watch"_s
                              : u"several instruments (--device or --serial-number given more than once) go with --serve or --watch"_s;
    if (!o.presses.isEmpty())
        return u"--press goes with one instrument"_s;
    if (p.isSet(t.all)) {
        if (!serials.isEmpty())
            return u"--all does not go with --serial-number"_s;
        if (devices.size() > 1)
            return u"--all scans one --device"_s;
        o.all = true;
        return std::nullopt;
    }
    if (devices.size() > 1 && !serials.isEmpty())
        return u"give several --device or several --serial-number, not both"_s;
    if (devices.size() > 1) {
        for (qsizetype i = 0; i < devices.size(); ++i)
            o.instruments.append({u"dev%1"_s.arg(i + 1), devices.at(i), {}});
        return std::nullopt;
    }
    for (const QString& serial : serials) {
        if (serial.trimmed().isEmpty())
            return u"--serial-number needs a serial number"_s;
        if (serial.contains(u'/'))
            return u"--serial-number \"%1\": a serial number has no slash"_s.arg(serial);
        for (const InstrumentSpec& before : std::as_const(o.instruments))
            if (before.id == serial)
                return u"--serial-number %1 is given twice"_s.arg(serial);
        o.instruments.append({serial, devices.value(0), serial});
    }
    return std::nullopt;
}

std::optional<QString> checkSnmp(const QCommandLineParser& p, const OptionTable& t, Options& o)
{
    if (!p.isSet(t.snmp)) {
        if (p.isSet(t.snmpBaseOid))
            return u"--snmp-base-oid goes with --snmp"_s;
        return std::nullopt;
    }
    if (o.action != Action::Watch && o.action != Action::Serve)
        return u"--snmp goes with --watch or --serve"_s;
    o.watch.snmp = p.value(t.snmp);
    if (o.watch.snmp.trimmed().isEmpty())
        return u"--snmp=SOCKET needs a socket"_s;
    o.watch.snmpBaseOid = p.value(t.snmpBaseOid);
    if (p.isSet(t.snmpBaseOid) && !snmp::parseOid(o.watch.snmpBaseOid))
        return u"--snmp-base-oid takes a dotted OID such as %1, not \"%2\""_s.arg(snmp::oidText(snmp::kDefaultBase),
                                                                              o.watch.snmpBaseOid);
    return std::nullopt;
}

std::optional<QString> checkLive(const QCommandLineParser& p, const OptionTable& t, Options& o)
{
    if (!p.isSet(t.liveInterval))
        return std::nullopt;
    if (o.action != Action::Window && !o.serve)
        return u"--live-interval goes with --serve or the window"_s;
    bool ok = false;
    const double seconds = p.value(t.liveInterval).toDouble(&ok);
    // Not faster than a second: a screen takes a good part of one on the wire, and the poll must keep its beat.
    if (!ok || !(seconds >= LiveView::kMinIntervalMs / 1000.0) || seconds > LiveView::kMaxIntervalMs / 1000.0)
        return u"--live-interval takes seconds from %1 to %2, not \"%3\""_s.arg(LiveView::kMinIntervalMs / 1000)
            .arg(LiveView::kMaxIntervalMs / 1000)
            .arg(p.value(t.liveInterval));
    o.liveIntervalMs = int(seconds * 1000 + 0.5);
    return std::nullopt;
}

ParsedCommandLine parse(QStringList args)
{
    // --snmp takes its socket only as --snmp=SOCKET, so that it can stand alone for the default.
    for (QString& a : args)
        if (a == u"--snmp"_s)
            a = u"--snmp="_s + QLatin1StringView(snmp::kDefaultAgentxSocket);
    QCommandLineParser p;
    p.setApplicationDescription(
        u"Session control for the Corvane QV7700 scope: drives its front panel, mirrors its lamps and captions, "
        "copies its screen and reads its error log."_s);
    const QCommandLineOption help = p.addHelpOption();
    const QCommandLineOption version = p.addVersionOption();
    const OptionTable t;
    t.addTo(p);
    if (!p.parse(args))
        return usage(p.errorText());
    ParsedCommandLine r;
    if (p.isSet(help)) {
        // Read before the application object exists, the parser does not know the program's name yet.
        r.out = p.helpText().replace(u"<executable_name>"_s, u"qv7700-remote"_s);
        return r;
    }
    if (p.isSet(version)) {
        r.out = u"qv7700-remote %1\n"_s.arg(QStringLiteral(QV_VERSION));
        return r;
    }
    if (!p.positionalArguments().isEmpty())
        return usage(u"unexpected argument \"%1\""_s.arg(p.positionalArguments().first()));

    Options o;
    o.device = p.value(t.device);
    o.serialNumber = p.value(t.serialNumber);
    o.presses = p.values(t.press);
    o.json = p.isSet(t.json);
    for (const QString& name : o.presses)
        if (!controlByName(name))
            return usage(u"--press: no key named \"%1\""_s.arg(name));
    if (p.isSet(t.serialNumber) && o.serialNumber.trimmed().isEmpty())
        return usage(u"--serial-number needs a serial number"_s);
    for (const auto& check : {chooseAction, checkFormat, checkRender, checkWatch, checkServe, checkSnmp, checkLive,
                                checkInstruments})
        if (const auto error = check(p, t, o))
            return usage(*error);
    if (o.json && !o.headless())
        return usage(u"--json goes with a mode without a window (--status, --capture, --get-log, ...)"_s);
    r.options = o;
    return r;
}
}  // namespace

QByteArray failureJson(const QString& error, int exit, const QString& kind)
{
    QJsonObject o{{u"ok"_s, false}, {u"error"_s, error}, {u"exit"_s, exit}};
    if (!kind.isEmpty())
        o.insert(u"kind"_s, kind);
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

ParsedCommandLine parseCommandLine(const QStringList& args)
{
    ParsedCommandLine r = parse(args);
    if (r.exitCode == exitcode::Usage) {
        // A script that asked for JSON gets its answer as JSON even when the command line itself is wrong.
        r.out = args.contains(u"--json"_s) ? QString::fromUtf8(failureJson(r.out, r.exitCode, u"usage"_s)) : QString();
    }
    return r;
}

}  // namespace qv
