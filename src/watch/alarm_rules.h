#pragma once
// When the feed is in trouble, as a pure state machine over successive polls, log fetches and times:
//   gamut   either GAMUT lamp red in 2 of the last 3 polls (one red poll is a lamp's flicker, not an alarm)
//   signal  no signal for 3 consecutive good polls
//   absent  no instrument for 5 s
//   log     the last error-log fetch brought new records
// An alarm is raised once per episode and cleared when its condition has been gone for its clear hold (5 s); a
// condition that comes back within the hold continues the same episode. An alarm raised more often than its
// flap limit (5 times in 10 minutes) is flapping: raised once more, it then stays raised until the condition has
// been quiet for its flap quiet time (2 minutes). A poll that finds no instrument says nothing about gamut or
// signal: those keep their last state until a good poll. Every number is the plant's to set (AlarmTuning, and
// --alarm-rules FILE).

#include "session/instrument_status.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <array>
#include <deque>
#include <optional>
#include <vector>

namespace qv {

enum class AlarmName { Gamut, Signal, Absent, Log };
inline constexpr int kAlarmCount = 4;
QString alarmNameText(AlarmName name);
std::optional<AlarmName> alarmNamed(const QString& text);
// "all" or a comma-separated list of names; none on an unknown name.
std::optional<std::array<bool, kAlarmCount>> parseAlarmList(const QString& text);

struct AlarmChange {
    AlarmName name;
    bool raised = false;  // else cleared
    QString detail;
    // A raise: the wall-clock stamp of the poll that decided it. A clear: when the condition went, so that an
    // episode lasts as long as its condition did, not also the clear hold after it.
    QDateTime time;
    bool flapping = false;  // a raise past the flap limit: it clears only once quiet
};

// One alarm's numbers.
struct AlarmTuning {
    int raisePolls = 1;          // raised when the condition held in this many ...
    int raiseWindow = 1;         // ... of the last this many good polls (signal: in a row)
    qint64 raiseAfterMs = 0;     // absent: raised once the instrument has been gone this long
    qint64 clearHoldMs = 5000;   // cleared once the condition has been gone this long
    int flapRaises = 5;          // raised more often than this ...
    qint64 flapWindowMs = 600000;  // ... within this time: flapping
    qint64 flapQuietMs = 120000;   // a flapping alarm clears once the condition has been gone this long
    qint64 hookEveryMs = 60000;    // at most one hook call per alarm this often; the others are counted
    bool operator==(const AlarmTuning&) const = default;
};

struct AlarmRuleSet {
    std::array<AlarmTuning, kAlarmCount> alarms = defaults();
    static std::array<AlarmTuning, kAlarmCount> defaults();
    const AlarmTuning& operator[](AlarmName name) const { return alarms[size_t(name)]; }
    bool operator==(const AlarmRuleSet&) const = default;
};

// An INI file, one section per alarm ([gamut], [signal], [absent], [log], or [all] for every one), keys
// raise-polls, raise-window, raise-after-seconds, clear-hold-seconds, flap-raises, flap-minutes,
// flap-quiet-seconds, hook-every-seconds. None, with why, on an unknown section or key or a value out of range.
std::optional<AlarmRuleSet> readAlarmRules(const QString& path, QString* why);

class AlarmRules {
public:
    explicit AlarmRules(std::array<bool, kAlarmCount> enabled = {true, true, true, true}, AlarmRuleSet rules = {})
        : enabled_(enabled), rules_(std::move(rules))
    {
    }

    // Delays are measured on the status's monotonic stamp; its wall time only stamps the changes.
    std::vector<AlarmChange> poll(const InstrumentStatus& status);
    std::vector<AlarmChange> logFetched(int newRecords, const QDateTime& time, qint64 monotonicMs);
    // Only time passes (a tick the device was busy for): clears that are due.
    std::vector<AlarmChange> tick(const QDateTime& time, qint64 monotonicMs);

    // An episode the last watch left open goes on: the next poll finds its condition still there (nothing new
    // is raised) or gone (cleared after the hold). A log alarm, which no poll decides, clears after its hold.
    void resume(AlarmName name, bool flapping, const QString& detail, qint64 monotonicMs);

    bool active(AlarmName name) const { return state_[size_t(name)].active; }
    bool flapping(AlarmName name) const { return state_[size_t(name)].flapping; }
    const AlarmRuleSet& rules() const { return rules_; }

private:
    struct State {
        bool condition = false;
        bool active = false;
        bool flapping = false;
        qint64 goneSinceMs = -1;  // when the condition went away while the alarm is active (monotonic)
        QString detail;
        std::deque<bool> recent;     // the condition in the last good polls, newest last
        std::deque<qint64> raisedAt;  // monotonic times of the raises within the flap window
    };
    // raw: the condition in this poll; due: the alarm's raise rule is met.
    void set(AlarmName name, bool raw, bool due, const QString& detail, const QDateTime& time, qint64 ms,
             std::vector<AlarmChange>& out);
    // Notes this poll's condition and says whether the raise rule is met.
    bool windowed(AlarmName name, bool condition);

    std::array<bool, kAlarmCount> enabled_;
    AlarmRuleSet rules_;
    std::array<State, kAlarmCount> state_{};
    qint64 absentSinceMs_ = -1;
};

}  // namespace qv
