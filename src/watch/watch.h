#pragma once
// The unattended watch over one instrument: after every poll tick of the running remote control it reads the
// status object, journals what changed, runs the alarm rules and their actions (journal line, capture, hook,
// notification), and at their times takes time-lapse captures, fetches the error log, says it is alive and
// applies retention. It adds no poll of its own; a capture or log fetch waits for the device like a key does.

#include "session/instrument_status.h"
#include "logger/log_formats.h"
#include "watch/alarm_rules.h"
#include "watch/watch_settings.h"
#include "watch/folder_lock.h"
#include "watch/hook_runner.h"
#include "watch/journal.h"
#include "watch/log_keeper.h"
#include "watch/retention.h"

#include <QDateTime>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QTimer>

#include <deque>
#include <functional>
#include <optional>

namespace qv {

class Clock;
class Session;

struct AlarmEpisode {
    AlarmName name;
    QString detail;
    QDateTime raised, cleared, acknowledged;
    QString capture;
    bool flapping = false;  // raised past its flap limit: it clears only once quiet
    QString acknowledgedBy, acknowledgedFrom, comment;
    // "gamut-1796643300123": the alarm and the moment it was raised; the raise's journal line carries it, so it
    // is the same in the journal, the API, the report and after a restart.
    QString id;
};

enum class AckResult { Done, Unknown, Already };

class Watch : public QObject {
    Q_OBJECT
public:
    // device: the --device the session was made from, for the journal ("auto" when empty).
    Watch(Session& session, QString device, WatchSettings settings, Clock& clock, QObject* parent = nullptr);
    ~Watch() override;

    // Locks the folder for this watch (start() does it too, when nobody did). False, with why for people, when
    // another watch holds it; a folder where no lock can be made (not writable yet) is watched without one.
    bool lockFolder(QString* why = nullptr);
    // False, with nothing journaled, when lockFolder() fails.
    bool start(QString* why = nullptr);
    // Hooks still running or waiting get kStopHooksMs to run; the journal ends with "stop" after them.
    void stop();
    static constexpr int kStopHooksMs = 5000;
    static constexpr qint64 kClockStepMs = 2000;
    bool running() const { return running_; }
    // What the watch does after each poll of the session, and after a tick that found the device in use.
    void afterPoll(const InstrumentStatus& status);
    void afterSkippedPoll();
    // An episode, active or cleared, seen by someone: who (an operator's name), from where (an address, or
    // "window") and what they said. Journaled once; a second acknowledgement changes nothing.
    AckResult acknowledge(const QString& id, const QString& who, const QString& from, const QString& comment);

    const WatchSettings& settings() const { return settings_; }
    // The name the instrument goes by among several (its serial number, or dev1, dev2, ...), given to the hook as
    // QV_INSTRUMENT. Unset: its serial number once known, else dev1.
    void setInstrumentId(const QString& id) { instrumentId_ = id; }
    Journal& journal() { return journal_; }
    const std::deque<AlarmEpisode>& episodes() const { return episodes_; }
    // Error-log records that were news to this folder since the watch started.
    quint64 newLogRecords() const { return newLogRecords_; }
    // Called for every alarm raised (the window's desktop notification).
    std::function<void(const AlarmEpisode&)> notify;

signals:
    void alarmsChanged();
    // One alarm raised or cleared, as the rules decided it (before alarmsChanged).
    void alarmChanged(const qv::AlarmChange& change);
    void problem(const QString& text);  // one line for people: a disk that is full, a capture that failed
    void journalLine(const QByteArray& line);

private:
    enum class Reason { Timed, Alarm };
    struct PendingCapture {
        Reason reason;
        std::optional<AlarmName> alarm;
    };
    void handle(const std::vector<AlarmChange>& changes);
    void capture(Reason reason, std::optional<AlarmName> alarm = std::nullopt);
    void captureFinished();
    void logFinished();
    void runSchedules(const QDateTime& now);
    // The wall clock against the monotonic one since the last tick: a step of more than kClockStepMs (the clock
    // set, an NTP correction, or the PC suspended) is journaled; the watch's own timers never notice it.
    void noteClockStep(const QDateTime& now);
    void applyRetention(const QDateTime& now);
    void runHook(AlarmName name, const QString& state, const QString& detail, const QDateTime& time,
                 const QString& capture);
    void error(const QString& what);
    QString capturePath(const QDateTime& t, const QString& name) const;
    QJsonObject identity() const;
    // The episodes open now, for the start and stop lines: the next watch here goes on with them.
    QJsonArray openEpisodesJson() const;
    AlarmEpisode* openEpisode(AlarmName name);

    Session& session_;
    QString device_;
    WatchSettings settings_;
    QString instrumentId_;
    Clock& clock_;
    Journal journal_;
    LogKeeper logKeeper_;
    LogCollector collector_;
    AlarmRules rules_;
    HookRunner hooks_;
    bool running_ = false;
    std::optional<bool> present_;
    std::optional<InstrumentStatus> last_;
    std::deque<PendingCapture> pendingCaptures_;
    bool fetchingLog_ = false;
    qint64 nextCapture_ = -1, nextLog_ = -1, nextAlive_ = -1;  // on the monotonic clock; -1: never
    std::deque<AlarmEpisode> episodes_;
    QList<QMetaObject::Connection> pollConnections_;
    FolderLock lock_;
    // The files this watch wrote, with the monotonic time of their first line or their picture: retention leaves
    // them alone until they are keep-days old by that clock, whatever date their names carry.
    QHash<QString, qint64> written_;
    quint64 newLogRecords_ = 0;
    QDateTime lastWall_;
    qint64 lastWallMonotonicMs_ = 0;
    struct HookPace {
        qint64 lastMs = -1;       // the monotonic time of the alarm's last hook call for a raise
        bool holding = false;     // the current episode's raise was held back: so is its clear
        quint64 suppressed = 0;   // calls held back since the watch started
    };
    std::array<HookPace, kAlarmCount> hookPace_{};
};

}  // namespace qv
