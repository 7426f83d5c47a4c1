#pragma once
// The one source of time for everything the watch decides. Two clocks: the wall clock stamps what is written
// (journal lines, file names, day files, retention by date); the monotonic clock measures every interval,
// schedule and alarm delay, so that a wall clock set back or forward (NTP, a wrong date at boot) neither holds
// an alarm back nor raises one early. The program runs on the system's clocks; tests drive a manual clock over
// hours in milliseconds.

#include "session/instrument_status.h"

#include <QDateTime>

#include <algorithm>

namespace qv {

class Clock {
public:
    virtual ~Clock() = default;
    // Local time with its offset from UTC.
    virtual QDateTime now() const = 0;
    // Milliseconds on a clock that only ever goes forward, at the same rate as time.
    virtual qint64 monotonicMs() const = 0;
};

class SystemClock : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    qint64 monotonicMs() const override { return monotonicNowMs(); }
};

class ManualClock : public Clock {
public:
    explicit ManualClock(QDateTime start) : now_(std::move(start)) {}
    QDateTime now() const override { return now_; }
    qint64 monotonicMs() const override { return monoMs_; }
    void advance(qint64 ms)
    {
        now_ = now_.addMSecs(ms);
        monoMs_ += ms;
    }
    // Time passes up to t (never backwards on the monotonic clock).
    void set(const QDateTime& t)
    {
        monoMs_ += std::max<qint64>(0, now_.msecsTo(t));
        now_ = t;
    }
    // The wall clock is set, and no time passes.
    void stepWall(qint64 ms) { now_ = now_.addMSecs(ms); }

private:
    QDateTime now_;
    qint64 monoMs_ = 0;
};

}  // namespace qv
