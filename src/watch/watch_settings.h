#pragma once
// What a watch is told to do: the folder, the schedules, the alarms, the hook and the retention limits. The
// command line parses into it and the window's form reads and writes it; these defaults are the only ones.

#include "watch/alarm_rules.h"
#include "watch/retention.h"

#include <QString>

#include <array>

namespace qv {

struct WatchSettings {
    QString dir;
    double captureEveryMinutes = 0;  // 0: no time-lapse
    double logEveryMinutes = 15;     // 0: no log fetches
    std::array<bool, kAlarmCount> alarms{true, true, true, true};
    AlarmRuleSet rules;  // --alarm-rules FILE
    QString hook;
    RetentionLimits retention;
    // SNMP beside the watch (and the server): the AgentX socket, empty for none, and the subtree, empty for the
    // default.
    QString snmp;
    QString snmpBaseOid;
    bool operator==(const WatchSettings&) const = default;
};

}  // namespace qv
