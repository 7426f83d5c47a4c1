#pragma once
// The one source of time for everything the watch decides: alarm rules, schedules, retention and the journal's
// day files. The program runs on the system clock; tests drive a manual clock over hours in milliseconds.

#include <QDateTime>

namespace qv {

class Clock {
public:
    virtual ~Clock() = default;
    // Local time with its offset from UTC.
    virtual QDateTime now() const = 0;
};

class SystemClock : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

class ManualClock : public Clock {
public:
    explicit ManualClock(QDateTime start) : now_(std::move(start)) {}
    QDateTime now() const override { return now_; }
    void advance(qint64 ms) { now_ = now_.addMSecs(ms); }
    void set(const QDateTime& t) { now_ = t; }

private:
    QDateTime now_;
};

}  // namespace qv
