#pragma once
// When the feed is in trouble, as a pure state machine over successive polls, log fetches and times:
//   gamut   either GAMUT lamp red
//   signal  no signal for 3 consecutive good polls
//   absent  no instrument for 5 s
//   log     the last error-log fetch brought new records
// An alarm is raised once per episode and cleared when its condition has been gone for 5 s; a condition that
// comes back within those 5 s continues the same episode. A poll that finds no instrument says nothing about
// gamut or signal: those keep their last state until a good poll.

#include "session/instrument_status.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <array>
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
    QDateTime time;  // the wall-clock stamp of the poll or tick that decided it
};

class AlarmRules {
public:
    static constexpr qint64 kClearAfterMs = 5000;
    static constexpr qint64 kAbsentAfterMs = 5000;
    static constexpr int kSignalPolls = 3;

    explicit AlarmRules(std::array<bool, kAlarmCount> enabled = {true, true, true, true}) : enabled_(enabled) {}

    // Delays are measured on the status's monotonic stamp; its wall time only stamps the changes.
    std::vector<AlarmChange> poll(const InstrumentStatus& status);
    std::vector<AlarmChange> logFetched(int newRecords, const QDateTime& time, qint64 monotonicMs);
    // Only time passes (a tick the device was busy for): clears that are due.
    std::vector<AlarmChange> tick(const QDateTime& time, qint64 monotonicMs);

    bool active(AlarmName name) const { return state_[size_t(name)].active; }

private:
    struct State {
        bool condition = false;
        bool active = false;
        qint64 goneSinceMs = -1;  // when the condition went away while the alarm is active (monotonic)
        QString detail;
    };
    void set(AlarmName name, bool condition, const QString& detail, const QDateTime& time, qint64 ms,
             std::vector<AlarmChange>& out);

    std::array<bool, kAlarmCount> enabled_;
    std::array<State, kAlarmCount> state_{};
    int noSignalPolls_ = 0;
    qint64 absentSinceMs_ = -1;
};

}  // namespace qv
