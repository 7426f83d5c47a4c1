#pragma once
// When the next status poll runs. Once a period (a second) on the monotonic clock. A key on the panel may
// postpone it, as the instrument's own program does (a fresh page is best read a whole period after its key),
// but never by more than one period: with keys pressed continuously the poll still runs at least once every
// two periods. A tick that comes later than that (a long transfer, a suspended PC) is counted as late.

#include <QObject>
#include <QTimer>

namespace qv {

class PollSchedule : public QObject {
    Q_OBJECT
public:
    explicit PollSchedule(QObject* parent = nullptr);

    // A running schedule starts its period afresh with the new length.
    void setInterval(int ms);
    int interval() const { return intervalMs_; }
    void start();
    void stop();
    bool isActive() const { return timer_.isActive(); }
    // Milliseconds until the next tick; -1 while stopped.
    int remainingMs() const { return timer_.isActive() ? timer_.remainingTime() : -1; }
    // A key was pressed: the next poll comes a period from now, or at the latest two periods after the last.
    // A schedule that was stopped starts.
    void postpone();

    quint64 lateTicks() const { return late_; }

signals:
    void due();

private:
    void fire();
    void arm(qint64 delayMs);

    QTimer timer_;
    int intervalMs_ = 1000;
    qint64 lastDueMs_ = -1;  // monotonic time of the last tick, or of the start
    quint64 late_ = 0;
};

}  // namespace qv
