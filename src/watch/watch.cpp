#include "watch/watch.h"

#include "link/usb_link.h"
#include "session/session.h"
#include "logger/error_log.h"
#include "render/screen_fetch.h"
#include "render/screen_picture.h"
#include "state/panel_model.h"
#include "watch/clock.h"

#include <QDir>

#include <utility>

namespace qv {

using namespace Qt::StringLiterals;

namespace {
constexpr qint64 kHourMs = 3600 * 1000;
constexpr size_t kEpisodesKept = 200;  // the window's list; the journal keeps them all

qint64 minutesMs(double minutes) { return qint64(minutes * 60000.0); }
}  // namespace

Watch::Watch(Session& session, QString device, WatchSettings settings, Clock& clock, QObject* parent)
    : QObject(parent),
      session_(session),
      device_(std::move(device)),
      settings_(std::move(settings)),
      clock_(clock),
      journal_(settings_.dir, clock),
      logKeeper_(settings_.dir + u"/errorlog.txt"_s),
      collector_(session_.errorLog()),
      rules_(settings_.alarms, settings_.rules),
      hooks_(settings_.hook)
{
    journal_.onProblem = [this](const QString& text) { emit problem(text); };
    journal_.onLine = [this](const QByteArray& line) {
        if (const QString file = journal_.fileFor(clock_.now().date()); !written_.contains(file))
            written_.insert(file, clock_.monotonicMs());
        emit journalLine(line);
    };
    connect(&session_.screenFetch(), &ScreenFetch::finished, this, &Watch::captureFinished);
    connect(&session_.errorLog(), &ErrorLog::finished, this, &Watch::logFinished);
    connect(&hooks_, &HookRunner::finished, this, [this](const HookResult& r) {
        if (!r.run) {
            journal_.write(u"hook"_s, {{u"alarm"_s, r.alarm}, {u"state"_s, r.state}, {u"run"_s, false}});
            return;
        }
        QJsonObject fields{{u"alarm"_s, r.alarm}, {u"state"_s, r.state}, {u"exit"_s, r.exit},
                           {u"ms"_s, r.ms},       {u"killed"_s, r.killed}};
        if (!r.error.isEmpty())
            fields.insert(u"error"_s, r.error);
        if (!r.stderrText.isEmpty())
            fields.insert(u"stderr"_s, r.stderrText);
        journal_.write(u"hook"_s, fields);
        // A hook is how people away from the rack hear of an alarm: one that fails says so where a service's
        // messages are read (journald), not only in the folder.
        QString failure;
        if (!r.error.isEmpty())
            failure = u"could not start: "_s + r.error;
        else if (r.killed)
            failure = u"was killed after %1 s"_s.arg(r.ms / 1000);
        else if (r.exit < 0)
            failure = u"ended by a signal"_s;
        else if (r.exit != 0)
            failure = u"exited with %1"_s.arg(r.exit);
        if (!failure.isEmpty())
            emit problem(u"the %1 %2 alarm hook %3%4"_s.arg(r.alarm, r.state, failure,
                                                             r.stderrText.isEmpty() ? QString()
                                                             : u": "_s + r.stderrText.section(u'\n', 0, 0).left(200)));
    });
    connect(&hooks_, &HookRunner::dropped, this, [this](const HookCall& call, int count) {
        error(u"the %1 %2 alarm hook was not run: %3 calls already wait behind one still running (%4 dropped)"_s
                  .arg(call.alarm, call.state)
                  .arg(HookRunner::kWaitingLimit)
                  .arg(count));
    });
}

Watch::~Watch()
{
    stop();
}

QJsonArray Watch::openEpisodesJson() const
{
    QJsonArray open;
    for (const AlarmEpisode& e : episodes_)
        if (!e.cleared.isValid())
            open.append(QJsonObject{{u"name"_s, alarmNameText(e.name)}, {u"id"_s, e.id}, {u"raised"_s, isoTimestamp(e.raised)},
                                    {u"detail"_s, e.detail}, {u"flapping"_s, e.flapping}});
    return open;
}

QJsonObject Watch::identity() const
{
    const QString serial = session_.serialNumber();
    return {{u"version"_s, QStringLiteral(QV_VERSION)},
            {u"device"_s, device_.isEmpty() ? u"auto"_s : device_},
            {u"serial"_s, serial.isEmpty() ? QJsonValue() : QJsonValue(serial)}};
}

bool Watch::lockFolder(QString* why)
{
    if (lock_.state() == FolderLock::State::Held)
        return true;
    if (lock_.acquire(settings_.dir) != FolderLock::State::HeldElsewhere)
        return true;
    if (why)
        *why = lock_.holderPid() > 0
                   ? u"another watch (PID %1) is watching %2"_s.arg(lock_.holderPid()).arg(settings_.dir)
                   : u"another watch is watching %1 (%2 is locked)"_s.arg(settings_.dir, lock_.path());
    return false;
}

bool Watch::start(QString* why)
{
    if (running_)
        return true;
    if (!lockFolder(why))
        return false;
    running_ = true;
    const QDateTime now = clock_.now();
    const qint64 ms = clock_.monotonicMs();
    // What the last watch here left: its open episodes go on, and the start says since when nobody watched.
    const JournalResume before = resumeJournal(settings_.dir);
    for (const JournalResume::Open& o : before.open) {
        const std::optional<AlarmName> name = alarmNamed(o.name);
        if (!name || !settings_.alarms[size_t(*name)] || openEpisode(*name))
            continue;
        AlarmEpisode e;
        e.name = *name;
        e.id = o.id.isEmpty() ? o.name + u'-' + QString::number(o.raised.toMSecsSinceEpoch()) : o.id;
        e.detail = o.detail;
        e.raised = o.raised;
        e.flapping = o.flapping;
        episodes_.push_back(e);
        rules_.resume(*name, o.flapping, o.detail, ms);
    }
    QJsonObject fields = identity();
    if (before.lastLine.isValid()) {
        fields.insert(u"previous"_s, isoTimestamp(before.lastLine));
        fields.insert(u"previous_end"_s, before.stopped ? u"stop"_s : u"crash"_s);
    }
    fields.insert(u"open"_s, openEpisodesJson());
    journal_.write(u"start"_s, fields);
    if (!episodes_.empty())
        emit alarmsChanged();
    if (lock_.state() == FolderLock::State::Unavailable)
        journal_.write(u"error"_s, {{u"what"_s, u"watching without a lock on the folder, so a second watch there "
                                                u"would not be refused: "_s + lock_.error()}});
    nextCapture_ = settings_.captureEveryMinutes > 0 ? ms + minutesMs(settings_.captureEveryMinutes) : -1;
    nextLog_ = ms;  // the first good poll fetches the log: it is the starting point for what is new
    nextAlive_ = ms + kHourMs;
    applyRetention(now);
    pollConnections_ = {connect(&session_, &Session::polled, this, &Watch::afterPoll),
                        connect(&session_, &Session::pollSkipped, this, &Watch::afterSkippedPoll)};
    return true;
}

void Watch::stop()
{
    if (!running_)
        return;
    running_ = false;
    for (const auto& c : std::as_const(pollConnections_))
        disconnect(c);
    // An alarm whose picture has not come yet still gets its hook, without the picture.
    for (const PendingCapture& p : std::exchange(pendingCaptures_, {}))
        if (p.alarm) {
            const AlarmEpisode* e = openEpisode(*p.alarm);
            runHook(*p.alarm, u"raised"_s, e ? e->detail : QString(), e ? e->raised : clock_.now(), {});
        }
    hooks_.finishAll(kStopHooksMs);
    QJsonObject fields = identity();
    fields.insert(u"open"_s, openEpisodesJson());
    journal_.write(u"stop"_s, fields);
    journal_.close();
    lock_.release();
}

void Watch::error(const QString& what)
{
    journal_.write(u"error"_s, {{u"what"_s, what}});
    emit problem(what);
}

void Watch::afterSkippedPoll()
{
    if (!running_)
        return;
    // A tick that found the device in use by a transfer or a key polled nothing: only time has passed.
    const QDateTime now = clock_.now();
    noteClockStep(now);
    journal_.retry();
    logKeeper_.retry();
    handle(rules_.tick(now, clock_.monotonicMs()));
}

void Watch::afterPoll(const InstrumentStatus& polled)
{
    if (!running_)
        return;
    const QDateTime now = clock_.now();
    noteClockStep(now);
    journal_.retry();
    logKeeper_.retry();
    InstrumentStatus st = polled;
    // The watch's own clocks stamp what it journals and time what it decides.
    st.time = now;
    st.monotonicMs = clock_.monotonicMs();
    if (present_ != st.present) {
        present_ = st.present;
        journal_.write(st.present ? u"present"_s : u"absent"_s);
    }
    if (st.present && (!last_ || !st.sameStateAs(*last_)))
        journal_.write(u"status"_s, {{u"status"_s, toJson(st)}});
    handle(rules_.poll(st));
    if (st.present)
        last_ = std::move(st);
    runSchedules(now);
}

void Watch::noteClockStep(const QDateTime& now)
{
    const qint64 ms = clock_.monotonicMs();
    if (lastWall_.isValid()) {
        const QDateTime expected = lastWall_.addMSecs(ms - lastWallMonotonicMs_);
        const qint64 step = expected.msecsTo(now);
        if (std::abs(step) > kClockStepMs)
            journal_.write(u"clock"_s, {{u"step_ms"_s, step}, {u"expected"_s, isoTimestamp(expected)}});
    }
    lastWall_ = now;
    lastWallMonotonicMs_ = ms;
}

void Watch::runSchedules(const QDateTime& now)
{
    const qint64 ms = clock_.monotonicMs();
    const auto due = [ms](qint64& next, qint64 everyMs) {
        if (next < 0 || ms < next)
            return false;
        next += everyMs;
        if (next <= ms)  // behind (a long transfer, a suspended PC): the next one a whole period from now
            next = ms + everyMs;
        return true;
    };
    if (settings_.captureEveryMinutes > 0 && due(nextCapture_, minutesMs(settings_.captureEveryMinutes)))
        capture(Reason::Timed);
    if (settings_.logEveryMinutes > 0 && present_.value_or(false) && !fetchingLog_ &&
        due(nextLog_, minutesMs(settings_.logEveryMinutes))) {
        fetchingLog_ = true;
        QTimer::singleShot(0, this, [this] {
            session_.link().whenFree([this] {
                // The instrument's program keeps the receive-queue count from one transfer to the next, so after
                // a screen transfer a log fetch would read its first records before they have all come and fall
                // out of step with them. The watch's own fetch starts counting afresh.
                session_.link().queuedBytes() = 0;
                session_.errorLog().requestFetch();
            });
        });
    }
    if (due(nextAlive_, kHourMs)) {
        journal_.write(u"alive"_s);
        applyRetention(now);
    }
}

AlarmEpisode* Watch::openEpisode(AlarmName name)
{
    for (auto it = episodes_.rbegin(); it != episodes_.rend(); ++it)
        if (it->name == name && !it->cleared.isValid())
            return &*it;
    return nullptr;
}

void Watch::handle(const std::vector<AlarmChange>& changes)
{
    for (const AlarmChange& c : changes) {
        const QString state = c.raised ? u"raised"_s : u"cleared"_s;
        QJsonObject fields{{u"name"_s, alarmNameText(c.name)}, {u"state"_s, state}, {u"detail"_s, c.detail}};
        if (c.flapping)
            fields.insert(u"flapping"_s, true);  // raised past the flap limit: it stays until quiet
        const QString id = alarmNameText(c.name) + u'-' + QString::number(c.time.toMSecsSinceEpoch());
        if (c.raised)
            fields.insert(u"id"_s, id);
        else
            fields.insert(u"ended"_s, isoTimestamp(c.time));  // when the condition went, before the clear hold
        journal_.write(u"alarm"_s, fields);
        if (c.raised) {
            AlarmEpisode episode;
            episode.name = c.name;
            episode.id = id;
            episode.detail = c.detail;
            episode.raised = c.time;
            episode.flapping = c.flapping;
            episodes_.push_back(std::move(episode));
            if (episodes_.size() > kEpisodesKept)
                episodes_.pop_front();
            // The hook runs once the alarm's picture is taken (or could not be), so that it can send it.
            capture(Reason::Alarm, c.name);
            if (notify)
                notify(episodes_.back());
        } else {
            if (AlarmEpisode* e = openEpisode(c.name))
                e->cleared = c.time;
            runHook(c.name, state, c.detail, c.time, {});
        }
        emit alarmChanged(c);
        emit alarmsChanged();
    }
}

AckResult Watch::acknowledge(const QString& id, const QString& who, const QString& from, const QString& comment)
{
    const auto e = std::find_if(episodes_.begin(), episodes_.end(), [&](const AlarmEpisode& x) { return x.id == id; });
    if (e == episodes_.end())
        return AckResult::Unknown;
    if (e->acknowledged.isValid())
        return AckResult::Already;
    e->acknowledged = clock_.now();
    e->acknowledgedBy = who;
    e->acknowledgedFrom = from;
    e->comment = comment;
    journal_.write(u"alarm"_s, {{u"name"_s, alarmNameText(e->name)}, {u"state"_s, u"acknowledged"_s},
                                {u"detail"_s, e->detail}, {u"id"_s, id}, {u"by"_s, who}, {u"from"_s, from},
                                {u"comment"_s, comment}});
    emit alarmsChanged();
    return AckResult::Done;
}

void Watch::runHook(AlarmName name, const QString& state, const QString& detail, const QDateTime& time,
                    const QString& capture)
{
    if (!hooks_.enabled())
        return;
    // One alarm calls its hook for a raise at most once per its hook interval (a mail a minute, not a mail a
    // second). A raise's call held back holds back its clear's too, so that the receiver never sees a clear
    // without its raise, nor a raise without its clear. The calls held back are counted in the journal.
    HookPace& pace = hookPace_[size_t(name)];
    const qint64 now = clock_.monotonicMs();
    const bool raise = state != u"cleared"_s;
    if (raise)
        pace.holding = pace.lastMs >= 0 && now - pace.lastMs < settings_.rules[name].hookEveryMs;
    if (pace.holding) {
        ++pace.suppressed;
        journal_.write(u"hook-suppressed"_s, {{u"name"_s, alarmNameText(name)}, {u"state"_s, state},
                                              {u"suppressed"_s, qint64(pace.suppressed)}});
        return;
    }
    if (raise)
        pace.lastMs = now;
    const QString serial = session_.serialNumber();
    hooks_.instrument = !instrumentId_.isEmpty() ? instrumentId_ : !serial.isEmpty() ? serial : u"dev1"_s;
    hooks_.run({alarmNameText(name), state, isoTimestamp(time), detail, serial, capture, journal_.fileFor(time.date())});
}


}  // namespace qv
