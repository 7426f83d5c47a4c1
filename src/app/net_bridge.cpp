#include "app/net_bridge.h"

#include "app/remote.h"

#include <QBuffer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

namespace qv {

using namespace Qt::StringLiterals;
using net::HttpResponse;

namespace {
// A tick this long after the one before means at least one tick was missed: a gap in the poll. (A mode key
// restarts the poll timer, which can stretch one interval to nearly two periods; that is not a gap.)
constexpr double kGapPeriods = 2.5;
constexpr int kKnobPressMs = 200;  // a knob pressed, not held: as --press does it

QByteArray compact(const QJsonObject& o) { return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n'; }
}  // namespace

NetBridge::NetBridge(Remote& remote, net::NetServer& server, QObject* parent)
    : QObject(parent), remote_(remote), server_(server), collector_(remote.errorLog())
{
    working_.version = QStringLiteral(QV_VERSION);
    tickClock_.start();
    // Connected after the remote's own handler: this runs once the tick's exchange is over.
    connect(&remote_.timer3(), &QTimer::timeout, this, &NetBridge::tick);
    connect(&remote_.panel(), &PanelModel::changed, this, &NetBridge::schedulePublish);
    connect(&remote_.panel(), &PanelModel::statusTextWritten, this, &NetBridge::schedulePublish);
    connect(&remote_.screenFetch(), &ScreenFetch::finished, this, &NetBridge::captureFinished);
    connect(&remote_.errorLog(), &ErrorLog::finished, this, &NetBridge::logFinished);
    connect(&server_, &net::NetServer::commandRequested, this, &NetBridge::run);
    publish();
}

NetBridge::~NetBridge()
{
    for (int knob : std::as_const(heldKnobs_))
        remote_.keys().knobUp(knob);
}

void NetBridge::setAlarms(const QJsonArray& alarms)
{
    working_.alarms = alarms;
    markViewChanged();
    schedulePublish();
}

void NetBridge::setJournalTail(const QList<net::JournalLine>& lines)
{
    working_.journalTail = lines;
    markViewChanged();
    schedulePublish();
}

void NetBridge::tick()
{
    const qint64 now = tickClock_.elapsed();
    if (lastTickMs_ >= 0 && now - lastTickMs_ > qint64(kGapPeriods * remote_.timer3().interval()))
        ++working_.lateTicks;
    lastTickMs_ = now;
    ++working_.polls;
    if (!remote_.state().DeviceFound)
        ++working_.pollFailures;
    publish();
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
    s->status = readInstrumentStatus(remote_.state(), remote_.panel(), remote_.serialNumber(), QDateTime::currentDateTime());
    s->statusBoxText = remote_.panel().statusText();
    s->statusBoxAlert = remote_.panel().statusBold();
    if (viewChanged_ || !s->status.sameStateAs(shownStatus_) || s->statusBoxText != shownBox_) {
        viewChanged_ = false;
        shownStatus_ = s->status;
        shownBox_ = s->statusBoxText;
        s->viewVersion = ++working_.viewVersion;
    }
    server_.store().publish(std::move(s));
}

void NetBridge::run(quint64 ticket, const net::NetCommand& command)
{
    switch (command.kind) {
    case net::CommandKind::Press: press(ticket, command.key); break;
    case net::CommandKind::KnobDown: knob(ticket, command.key, true); break;
    case net::CommandKind::KnobUp: knob(ticket, command.key, false); break;
    case net::CommandKind::Capture: capture(ticket); break;
    case net::CommandKind::LogFetch: fetchLog(ticket); break;
    }
}

void NetBridge::press(quint64 ticket, const QString& name)
{
    const auto named = FrontPanelKeys::byName(name);
    if (!named) {
        server_.answer(ticket, HttpResponse::error(404, u"no key named \"%1\""_s.arg(name)));
        return;
    }
    // The key handlers write the status box only to report a failure.
    QString failure;
    const auto watch = connect(&remote_.panel(), &PanelModel::statusTextWritten, this, [&failure](const QString& text) {
        if (!text.trimmed().isEmpty())
            failure = text.trimmed();
    });
    if (named->key) {
        remote_.keys().click(*named->key);
    } else {
        const int knob = named->knob;
        QTimer::singleShot(kKnobPressMs, this, [this, knob] { remote_.keys().knobUp(knob); });
        remote_.keys().knobDown(knob);
    }
    disconnect(watch);
    if (!failure.isEmpty())
        server_.answer(ticket, HttpResponse::error(409, failure));
    else
        server_.answer(ticket, HttpResponse::json(200, compact({{u"ok"_s, true}, {u"key"_s, name.toUpper()}})));
}

void NetBridge::knob(quint64 ticket, const QString& name, bool down)
{
    const int knob = FrontPanelKeys::byName(name)->knob;
    // Answered first: a held knob keeps the handler busy until it is let go.
    server_.answer(ticket, HttpResponse::json(200, compact({{u"ok"_s, true}, {u"knob"_s, name.toUpper()}, {u"down"_s, down}})));
    if (!down) {
        heldKnobs_.remove(knob);
        remote_.keys().knobUp(knob);
        return;
    }
    heldKnobs_.insert(knob);
    QTimer::singleShot(knobHoldLimitMs, this, [this, knob] {
        heldKnobs_.remove(knob);
        remote_.keys().knobUp(knob);
    });
    remote_.keys().knobDown(knob);
}

void NetBridge::capture(quint64 ticket)
{
    // In the queue like a click; once it is this request's turn, a poll first, as --capture does: a mode key
    // pressed just before may have moved the instrument to its picture page, which has no screen to give.
    remote_.link().whenFree([this, ticket] {
        remote_.poll().Timer3_Timer();
        if (!remote_.state().DeviceFound)
            return server_.answer(ticket, HttpResponse::error(409, u"the instrument does not answer"_s));
        if (!remote_.panel().menuEnabled(Menu::Get1Frame))
            return server_.answer(ticket, HttpResponse::error(409, u"the instrument shows its picture page, which has no screen to capture"_s));
        captureWaiters_.append(ticket);
        if (captureWaiters_.size() == 1)
            captureClock_.start();
        remote_.screenFetch().mnuGet1Frame_Click();
    });
}

void NetBridge::captureFinished()
{
    if (captureClock_.isValid())
        working_.captures.add(double(captureClock_.elapsed()) / 1000.0);
    captureClock_.invalidate();
    const bool clean = remote_.screenFetch().lastFetchClean();
    if (clean) {
        QBuffer buffer(&working_.png);
        buffer.open(QIODevice::WriteOnly);
        remote_.picture().image().save(&buffer, "PNG");
        working_.pngTime = QDateTime::currentDateTime();
        working_.pngTag = QByteArray::number(++screens_) + '-' + QByteArray::number(working_.pngTime.toMSecsSinceEpoch());
        markViewChanged();
        publish();
    }
    const HttpResponse answer =
        clean ? HttpResponse::json(200, compact({{u"time"_s, isoTimestamp(working_.pngTime)}, {u"url"_s, u"/api/screen.png"_s}}))
              : HttpResponse::error(409, u"the screen transfer failed: "_s + remote_.panel().statusText().trimmed());
    for (quint64 ticket : std::exchange(captureWaiters_, {}))
        server_.answer(ticket, answer);
}

void NetBridge::fetchLog(quint64 ticket)
{
    logWaiters_.append(ticket);
    remote_.errorLog().mnuGetLog_Click();
}

void NetBridge::logFinished()
{
    const FetchedLog log = collector_.log();
    collector_.start();
    if (log.header.isEmpty() && log.records.isEmpty()) {
        // An erase sends no records; a fetch that received none failed.
        for (quint64 ticket : std::exchange(logWaiters_, {}))
            server_.answer(ticket, HttpResponse::error(409, u"the log transfer failed: "_s + remote_.panel().statusText().trimmed()));
        return;
    }
    working_.logJson = logToJson(log, remote_.serialNumber(), QDateTime::currentDateTime());
    working_.logLines = remote_.panel().statusText().split(u"\r\n"_s);
    working_.logRecordsSeen += quint64(log.records.size());
    markViewChanged();
    publish();
    const HttpResponse answer = remote_.errorLog().lastFetchNormal()
                                    ? HttpResponse::json(200, working_.logJson)
                                    : HttpResponse::error(409, u"the log transfer failed"_s);
    for (quint64 ticket : std::exchange(logWaiters_, {}))
        server_.answer(ticket, answer);
}

}  // namespace qv
