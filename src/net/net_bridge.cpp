#include "net/net_bridge.h"

#include "session/session.h"
#include "watch/log_keeper.h"

#include <QBuffer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

namespace qv {

using namespace Qt::StringLiterals;
using net::HttpResponse;

namespace {
// Taken as the program is loaded, before main(): serving may start long after the program did.
const qint64 kProgramStartMs = QDateTime::currentMSecsSinceEpoch();

constexpr int kKnobPressMs = 200;  // a knob pressed, not held: as --press does it

QByteArray compact(const QJsonObject& o) { return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n'; }

// A failed exchange as an HTTP answer: the code says what kind of failure, the body carries the kind and the
// instrument's own words.
HttpResponse failureResponse(const Outcome& outcome, const QString& what)
{
    int code = 502;  // the instrument (or its converter) failed at something it should do
    switch (outcome.kind) {
    case ErrorKind::Absent: code = 503; break;
    case ErrorKind::TimeOut: code = 504; break;
    case ErrorKind::Busy: case ErrorKind::NotOffered: code = 409; break;
    case ErrorKind::Cancelled: code = 503; break;
    case ErrorKind::Internal: code = 500; break;
    default: break;
    }
    HttpResponse r = HttpResponse::error(code, what.isEmpty() ? outcome.text : what + u": "_s + outcome.text);
    QJsonObject body = QJsonDocument::fromJson(r.body).object();
    body.insert(u"kind"_s, QLatin1StringView(errorKindName(outcome.kind)));
    r.body = compact(body);
    return r;
}
}  // namespace

NetBridge::NetBridge(Session& session, net::NetServer& server, QObject* parent)
    : NetBridge(session, server, server.store(), -1, parent)
{
}

NetBridge::NetBridge(Session& session, net::NetServer& server, net::SnapshotStore& store, int instrument, QObject* parent)
    : QObject(parent), session_(session), server_(server), store_(store), instrument_(instrument), collector_(session.errorLog())
{
    working_.version = QStringLiteral(QV_VERSION);
    working_.startTimeSeconds = double(kProgramStartMs) / 1000.0;
    // The usual reasons from the start: a counter that appears only with its first capture hides that capture
    // from increase() and rate().
    for (const char* reason : {"api", "button", "alarm", "timelapse"}) {
        working_.capturesByReason.insert(reason, 0);
        working_.captureFailuresByReason.insert(reason, 0);
    }
    connect(&session_, &Session::polled, this, [this](const InstrumentStatus& st) {
        for (size_t i = 0; i < st.lamps.size(); ++i)
            working_.redPolls[i] += st.reading && st.lamps[i] == LampColour::Red;
        publish();
    });
    connect(&session_, &Session::pollSkipped, this, &NetBridge::publish);
    connect(&session_.panel(), &PanelModel::changed, this, &NetBridge::schedulePublish);
    connect(&session_.panel(), &PanelModel::statusTextWritten, this, &NetBridge::schedulePublish);
    // Captures and log fetches of others (the window, the watch) are shown to viewers too.
    connect(&session_.screenFetch(), &ScreenFetch::finished, this, &NetBridge::captureFinished);
    connect(&session_.errorLog(), &ErrorLog::finished, this, &NetBridge::logFinished);
    connect(&server_, &net::NetServer::commandRequested, this, &NetBridge::run);
    // The live screen: copied while at least one viewer holds its stream open, shared with the window's switch.
    LiveView& live = session_.live();
    working_.liveIntervalMs = live.intervalMs();
    connect(&server_, &net::NetServer::liveViewersChanged, this,
            [this, &live](int viewers, int instrument) {
                if (instrument == instrument_)
                    live.setWatching(u"web"_s, viewers > 0);
            });
    connect(&live, &LiveView::availabilityChanged, this, &NetBridge::liveAvailability);
    working_.live = live.active();
    connect(&live, &LiveView::activeChanged, this, [this](bool on) {
        working_.live = on;
        schedulePublish();
    });
    connect(&live, &LiveView::intervalChanged, this, [this](int ms) {
        working_.liveIntervalMs = ms;
        schedulePublish();
    });
    publish();
}

NetBridge::~NetBridge()
{
    session_.live().setWatching(u"web"_s, false);  // nobody can watch a server that is gone
    for (int knob : std::as_const(heldKnobs_))
        session_.keys().knobUp(knob);
}

void NetBridge::setAlarms(const QJsonArray& alarms)
{
    working_.alarms = alarms;
    // Active: the alarm's latest episode has not cleared (the list holds earlier, cleared episodes too).
    for (net::AlarmCount& a : working_.alarmCounts)
        a.active = false;
    for (const QJsonValue& v : alarms) {
        const QJsonObject o = v.toObject();
        if (o.value(u"active"_s).toBool())
            alarmCount(o.value(u"name"_s).toString()).active = true;
    }
    markViewChanged();
    schedulePublish();
}

net::AlarmCount& NetBridge::alarmCount(const QString& name)
{
    for (net::AlarmCount& a : working_.alarmCounts)
        if (a.name == name)
            return a;
    working_.alarmCounts.append({name, false, 0});
    return working_.alarmCounts.last();
}

void NetBridge::setWatchedAlarms(const QStringList& names)
{
    for (const QString& name : names)
        alarmCount(name);
    schedulePublish();
}

void NetBridge::countAlarmRaised(const QString& name)
{
    ++alarmCount(name).raised;
    schedulePublish();
}

void NetBridge::setJournalTail(const QList<net::JournalLine>& lines)
{
    working_.journalTail = lines;
    markViewChanged();
    schedulePublish();
}

void NetBridge::setCapturesDir(const QString& dir)
{
    working_.capturesDir = dir;
    schedulePublish();
}

void NetBridge::schedulePublish()
{
    // A poll or a key changes several lamps and captions in a row: one snapshot after them all.
    if (publishScheduled_)
        return;
    publishScheduled_ = true;
    QTimer::singleShot(0, this, [this] {
        publishScheduled_ = false;
        publish();
    });
}

void NetBridge::publish()
{
    auto s = std::make_shared<net::Snapshot>(working_);
    s->status = session_.status();
    const Session::PollCounts counts = session_.pollCounts();
    s->polls = counts.polls;
    s->pollFailures = counts.failures;
    s->lateTicks = counts.late;
    s->skippedTicks = counts.skipped;
    s->statusBoxText = session_.panel().statusText();
    s->statusBoxAlert = session_.panel().statusBold();
    if (viewChanged_ || !s->status.sameStateAs(shownStatus_) || s->statusBoxText != shownBox_) {
        viewChanged_ = false;
        shownStatus_ = s->status;
        shownBox_ = s->statusBoxText;
        s->viewVersion = ++working_.viewVersion;
    }
    store_.publish(std::move(s));
}

void NetBridge::run(quint64 ticket, const net::NetCommand& command)
{
    if (command.instrument != instrument_)
        return;  // for another instrument's bridge
    switch (command.kind) {
    case net::CommandKind::Press: press(ticket, command.key); break;
    case net::CommandKind::KnobDown: knob(ticket, command.key, true); break;
    case net::CommandKind::KnobUp: knob(ticket, command.key, false); break;
    case net::CommandKind::Capture: capture(ticket); break;
    case net::CommandKind::LogFetch: fetchLog(ticket); break;
    case net::CommandKind::Acknowledge: acknowledgeAlarm(ticket, command); break;
    }
}

void NetBridge::acknowledgeAlarm(quint64 ticket, const net::NetCommand& c)
{
    if (!acknowledge) {
        server_.answer(ticket, HttpResponse::json(409, compact({{u"error"_s, u"no watch runs beside this server"_s},
                                                                {u"kind"_s, u"not-offered"_s}})));
        return;
    }
    switch (acknowledge(c.key, c.operatorName, c.comment, c.from)) {
    case AckResult::Done:
        server_.answer(ticket, HttpResponse::json(200, compact({{u"ok"_s, true}, {u"id"_s, c.key}})));
        break;
    case AckResult::Unknown:
        server_.answer(ticket, HttpResponse::error(404, u"no alarm %1"_s.arg(c.key)));
        break;
    case AckResult::Already:
        server_.answer(ticket, HttpResponse::error(409, u"alarm %1 is acknowledged already"_s.arg(c.key)));
        break;
    }
}

void NetBridge::press(quint64 ticket, const QString& name)
{
    const auto named = controlByName(name);
    if (!named) {
        server_.answer(ticket, HttpResponse::error(404, u"no key named \"%1\""_s.arg(name)));
        return;
    }
    // Answered once the key went out to the instrument, with how that went.
    const QString key = name.toUpper();
    session_.press(*named, [this, ticket, key](const Outcome& outcome) {
        if (outcome.ok())
            server_.answer(ticket, HttpResponse::json(200, compact({{u"ok"_s, true}, {u"key"_s, key}})));
        else
            server_.answer(ticket, failureResponse(outcome, {}));
    }, kKnobPressMs);
}

void NetBridge::knob(quint64 ticket, const QString& name, bool down)
{
    const int knob = controlByName(name)->knob;
    // Answered first: a held knob keeps the handler busy until it is let go.
    server_.answer(ticket, HttpResponse::json(200, compact({{u"ok"_s, true}, {u"knob"_s, name.toUpper()}, {u"down"_s, down}})));
    if (!down) {
        heldKnobs_.remove(knob);
        session_.keys().knobUp(knob);
        return;
    }
    heldKnobs_.insert(knob);
    QTimer::singleShot(knobHoldLimitMs, this, [this, knob] {
        heldKnobs_.remove(knob);
        session_.keys().knobUp(knob);
    });
    session_.keys().knobDown(knob);
}

void NetBridge::capture(quint64 ticket)
{
    session_.captureScreen(true, [this, ticket](const Outcome& outcome) {
        if (outcome.ok())
            server_.answer(ticket, HttpResponse::json(200, compact({{u"time"_s, isoTimestamp(working_.pngTime)},
                                                                     {u"url"_s, pathPrefix + u"/api/screen.png"_s}})));
        else
            server_.answer(ticket, failureResponse(outcome, u"the screen transfer failed"_s));
    }, "api");
}

void NetBridge::captureFinished()
{
    const ScreenFetch& fetch = session_.screenFetch();
    if (fetch.lastDurationMs() >= 0)
        working_.captures.add(double(fetch.lastDurationMs()) / 1000.0);
    ++working_.capturesByReason[fetch.reason()];
    working_.captureFailuresByReason[fetch.reason()] += !fetch.lastOutcome().ok();
    if (!fetch.lastFetchClean()) {
        publish();  // the counts, before whoever asked hears of the failure
        return;
    }
    QBuffer buffer(&working_.png);
    buffer.open(QIODevice::WriteOnly);
    session_.picture().image().save(&buffer, "PNG");
    working_.pngTime = QDateTime::currentDateTime();
    working_.pngTag = QByteArray::number(++screens_) + '-' + QByteArray::number(working_.pngTime.toMSecsSinceEpoch());
    working_.pngFrame = screens_;
    markViewChanged();
    publish();
}

void NetBridge::liveAvailability(const Outcome& why)
{
    working_.liveUnavailable = why.ok() ? QString() : why.text;
    working_.liveUnavailableKind = why.ok() ? QString() : QString::fromLatin1(errorKindName(why.kind));
    markViewChanged();
    publish();
}

void NetBridge::fetchLog(quint64 ticket)
{
    session_.fetchLog([this, ticket](const Outcome& outcome) {
        if (outcome.ok())
            server_.answer(ticket, HttpResponse::json(200, working_.logJson));
        else
            server_.answer(ticket, failureResponse(outcome, u"the log transfer failed"_s));
    });
}

void NetBridge::logFinished()
{
    const FetchedLog log = collector_.log();
    collector_.start();
    // An erase sends no records; a fetch that received none has nothing new to show.
    if (log.header.isEmpty() && log.records.isEmpty())
        return;
    working_.logJson = logToJson(log, session_.serialNumber(), QDateTime::currentDateTime());
    working_.logLines = session_.panel().statusText().split(u"\r\n"_s);
    // Counted once each: a fetch brings the whole log again, and only what the last fetch did not have is new
    // (after an erase, what follows the part the instrument kept; see diffLog()).
    QStringList texts;
    for (const auto& r : log.records)
        texts.append(r.text);
    working_.logRecordsSeen += quint64(texts.size() - diffLog(logSeen_, texts).firstNew);
    logSeen_ = texts;
    markViewChanged();
    publish();
}

}  // namespace qv
