#pragma once
// What the program shows a network management system, as plain values: the subtree under the program's base
// OID (version, one instrument row per served instrument, its alarms) and the notifications it sends. Built
// afresh whenever a status value changes, so a walk never waits for an instrument; the agent thread only looks
// values up here. The one value that changes by itself, a status's age, is worked out when it is asked for. The numbering is the one data/QV7700-REMOTE-MIB.txt publishes.

#include "session/instrument_status.h"
#include "watch/alarm_rules.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

namespace qv::snmp {

using Oid = std::vector<quint32>;

// The documentation enterprise number (RFC 5612), to be replaced by a plant's own with --snmp-base-oid.
inline const Oid kDefaultBase{1, 3, 6, 1, 4, 1, 32473, 7700};

// "1.3.6.1.4.1.32473.7700" (a leading dot allowed); none when it is not a dotted OID of 2 to 64 numbers.
std::optional<Oid> parseOid(const QString& text);
QString oidText(const Oid& oid);

struct Value {
    // AgeMs: a Gauge32 of the milliseconds since the monotonic time in number (0 when number is negative).
    enum class Type { Integer, String, Counter32, Gauge32, AgeMs };
    Type type = Type::Integer;
    qint64 number = 0;
    QByteArray bytes;  // String
};

// The value as it is answered now: an age becomes the Gauge32 it is at this moment.
Value answered(const Value& value, qint64 nowMonotonicMs);

struct Entry {
    Oid oid;
    Value value;
};

// Sorted by OID, as a walk visits them.
using Tree = std::vector<Entry>;

// The latest episode of one alarm of one instrument.
struct AlarmRow {
    AlarmName name = AlarmName::Gamut;
    bool active = false;
    bool flapping = false;  // raised again soon after it cleared, more often than the rules let it ring
    QDateTime raised, cleared;
    bool acknowledged = false;
    QString detail;
};

struct InstrumentRow {
    QString id;  // the converter's serial number, or the name the program gave a device without one
    InstrumentStatus status;
    quint64 polls = 0, pollFailures = 0, captures = 0, newLogRecords = 0;
    std::vector<AlarmRow> alarms;
};

struct Model {
    QString version;
    std::vector<InstrumentRow> instruments;  // row n is index n + 1
};

// The column numbers of the instrument and alarm tables.
namespace column {
enum Instrument : quint32 {
    Id = 2, Serial, Present, PageKey, PageCode, Signal, Channel, LastPoll, StatusAge, Polls, PollFailures, Captures,
    NewLogRecords,
    FirstLamp = 21  // one column a lamp, in the panel's order
};
enum Alarm : quint32 { AlarmInstrument = 2, AlarmNameColumn, AlarmState, AlarmRaised, AlarmCleared, AlarmAcknowledged,
                       AlarmDetail };
}  // namespace column

Tree buildTree(const Model& model, const Oid& base);
// The entry at exactly this OID, or the first one after it; none past the end.
const Entry* findExact(const Tree& tree, const Oid& oid);
const Entry* findNext(const Tree& tree, const Oid& oid);

struct Notification {
    Oid trap;
    std::vector<Entry> objects;
};
// index: the instrument's row from 0.
Notification alarmNotification(const InstrumentRow& row, const Oid& base, size_t index, const AlarmChange& change);
// Absent or present again, as the row's status says.
Notification presenceNotification(const InstrumentRow& row, const Oid& base, size_t index);

}  // namespace qv::snmp
