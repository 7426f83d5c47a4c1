#pragma once
// The instrument's state as the wire last told it, as one value: whether it answered, the page and its mode
// key, the lit keys, the nine lamps, channel, EYE, soft-key captions, the signal and display flags, whether a
// screen can be captured, and when that reply came. The command line's --status, the watch journal, the web
// API, the metrics and the page all speak this one object; toJson() below is the one place that says what it
// holds on the outside.
//
// An absent instrument claims nothing: no page, no lit keys, no lamps, no captions.

#include "protocol/status_reply.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

namespace qv {

struct InstrumentStatus {
    bool present = false;
    QString serial;                    // the converter's USB serial number; empty when not known
    // The last whole reply while the instrument answers; none while it is absent or before its first reply.
    std::optional<StatusReading> reading;
    std::optional<int> modeCode;       // the page the instrument reported
    QString modeKey;                   // the lit mode key's name (WFM ... PICTURE), empty when none is lit
    QStringList litKeys;               // the mode key, the channel key and EYE as the instrument reported them
    std::array<LampColour, kLampCount> lamps{};
    int channel = 1;
    bool eye = false;
    bool signal = false;               // the reply's signal-present flag
    bool displayFlag = false;
    std::array<QString, 9> softKeys;
    bool captureOffered = false;
    QDateTime time;                    // when the reply came (or the poll that found the instrument absent)
    qint64 monotonicMs = -1;           // the same instant on the monotonic clock, for the status's age
    quint64 polls = 0;                 // how many polls had ended by then: a new one is a new reading

    // Equal in everything but the time.
    bool sameStateAs(const InstrumentStatus& other) const;
    // Milliseconds since the reply, on the monotonic clock.
    qint64 ageMs(qint64 nowMonotonicMs) const;
};

// The status value for a poll that ended at time/monotonicMs: present with its reading, or absent.
InstrumentStatus statusFrom(bool present, const std::optional<StatusReading>& reading, const QString& serial,
                            const QDateTime& time, qint64 monotonicMs);

// The program's monotonic clock in milliseconds: every interval, age and time-out is measured on it.
qint64 monotonicNowMs();

QJsonObject toJson(const InstrumentStatus& status, qint64 nowMonotonicMs = monotonicNowMs());
// The same for people: one "name: value" line each.
QString toText(const InstrumentStatus& status, qint64 nowMonotonicMs = monotonicNowMs());

// ISO 8601 with milliseconds and the offset from UTC, as every time the program writes for machines.
QString isoTimestamp(const QDateTime& time);

}  // namespace qv
