#include "session/poll_schedule.h"

#include "session/instrument_status.h"

#include <algorithm>

namespace qv {

namespace {
// Timers on a busy machine fire a little late; a tick is late only when it misses its bound by more.
constexpr qint64 kLateSlackMs = 250;
}  // namespace

PollSchedule::PollSchedule(QObject* parent) : QObject(parent)
{
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &PollSchedule::fire);
}

void PollSchedule::arm(qint64 delayMs)
{
    timer_.start(int(std::max<qint64>(0, delayMs)));
}

void PollSchedule::setInterval(int ms)
{
    intervalMs_ = ms;
    if (timer_.isActive())
        start();
}

void PollSchedule::start()
{
    lastDueMs_ = monotonicNowMs();
    arm(intervalMs_);
}

void PollSchedule::stop()
{
    timer_.stop();
}

void PollSchedule::postpone()
{
    if (!timer_.isActive()) {  // a key starts a poll that was not running, as it restarts one that was
        start();
        return;
    }
    const qint64 now = monotonicNowMs();
    arm(std::min<qint64>(intervalMs_, lastDueMs_ + 2 * qint64(intervalMs_) - now));
}

void PollSchedule::fire()
{
    const qint64 now = monotonicNowMs();
    if (lastDueMs_ >= 0 && now - lastDueMs_ > 2 * qint64(intervalMs_) + kLateSlackMs)
        ++late_;
    lastDueMs_ = now;
    // Re-armed before the poll runs, so that a poll that waits on the instrument does not shift the next one.
    arm(intervalMs_);
    emit due();
}

}  // namespace qv
