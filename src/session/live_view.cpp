#include "session/live_view.h"

#include "session/session.h"

#include <QTimer>

#include <algorithm>
#include <utility>

namespace qv {

LiveView::LiveView(Session& session, QObject* parent) : QObject(parent), session_(session)
{
    connect(&session_, &Session::polled, this, &LiveView::polled);
    // A tick that came while the live copy held the device is made up for as soon as the copy ends (see
    // finished()): the poll keeps its beat however often the screen is copied.
    connect(&session_, &Session::pollSkipped, this, [this] {
        if (inFlight_ && session_.screenFetch().running())
            tickSkipped_ = true;
    });
}

void LiveView::setIntervalMs(int ms)
{
    ms = std::clamp(ms, kMinIntervalMs, kMaxIntervalMs);
    if (ms == intervalMs_)
        return;
    intervalMs_ = ms;
    emit intervalChanged(ms);
}

void LiveView::setWatching(const QString& who, bool on)
{
    const bool was = active();
    if (on)
        watchers_.insert(who);
    else
        watchers_.remove(who);
    if (was == active())
        return;
    // The first copy comes with the next poll; a reason given to earlier watchers is found again by then.
    lastStartMs_ = -1;
    if (!active())
        setWhy({});
    emit activeChanged(active());
}

void LiveView::polled(const InstrumentStatus&)
{
    if (!active() || inFlight_ || session_.link().stopping())
        return;
    // A copy goes with the poll nearest its time: polls come once a period, so half a period early is on time.
    const qint64 now = monotonicNowMs();
    const int period = session_.pollSchedule().interval();
    if (lastStartMs_ >= 0 && now - lastStartMs_ < intervalMs_ - period / 2)
        return;
    // A copy that would still hold the device when the next tick comes (after a poll off the beat: a made-up
    // tick, a caller's own poll) waits for that tick's poll instead; unless no copy fits between two polls.
    constexpr qint64 kMarginMs = 100;
    const qint64 took = session_.screenFetch().lastDurationMs();
    const int untilTick = session_.pollSchedule().remainingMs();
    if (took >= 0 && took + kMarginMs < period && untilTick >= 0 && untilTick < took + kMarginMs)
        return;
    inFlight_ = true;
    lastStartMs_ = now;
    const uint8_t page = session_.poll().page();
    // Queued like a click: a key pressed before goes first, and the copy waits for the device. By the time it
    // is its turn the last watcher may have gone; then nothing is asked of the instrument.
    session_.link().whenFree([this, page] {
        if (!active()) {
            inFlight_ = false;
            return;
        }
        session_.captureLive(page, [this](const Outcome& outcome) { finished(outcome); });
    });
}

void LiveView::finished(const Outcome& outcome)
{
    inFlight_ = false;
    if (outcome.kind == ErrorKind::Cancelled) {
        lastStartMs_ = -1;  // a key moved the page, or the program is ending: the next poll decides
    } else if (outcome.ok()) {
        ++captured_;
        setWhy({});
        emit frameCaptured();
    } else {
        setWhy(outcome);
    }
    if (std::exchange(tickSkipped_, false) && !session_.link().stopping())
        QTimer::singleShot(0, &session_, [session = &session_] { session->pollOnce(); });
}

void LiveView::setWhy(const Outcome& why)
{
    if (why.kind == why_.kind && why.text == why_.text)
        return;
    why_ = why;
    emit availabilityChanged(why_);
}

}  // namespace qv
