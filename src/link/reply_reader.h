#pragma once
// How the screen and log transfers read one reply: wait until the receive queue holds enough of it, read as many
// bytes as the queue count says (no more than the buffer takes), and drop whatever was queued beyond that.
//
// The queue count (UsbLink::queuedBytes) outlives the reply it was taken for: the instrument's own program
// skips the wait while an earlier count is still high enough, and then the read relies on its time-out. Such a
// count says nothing about what is queued now, so the excess to drop is always counted afresh.
//
// One reader lives for one transfer: its silence limit runs over the whole transfer, not per reply, so that an
// instrument that stops talking ends the transfer within the limit however far it had got.

#include "link/d2xx.h"

#include <QDeadlineTimer>

#include <cstdint>
#include <functional>
#include <vector>

namespace qv {

class UsbLink;

class ReplyReader {
public:
    ReplyReader(UsbLink& link, int silenceLimitMs);

    enum class Outcome { Read, QueueFailed, ReadFailed, Silent };

    // Waits while the queue count is below ready, reads min(the queue count, capacity) bytes into buffer (the count goes to
    // *got and the read count), then drops what is queued beyond the reply. Silent: nothing came for the silence limit
    // while waiting; the read is not made.
    Outcome read(void* buffer, int32_t capacity, int32_t ready, uint32_t* got);

    // Called on each failed queue query; true keeps the wait going (until the silence limit), false ends it with
    // QueueFailed. Unset: the wait ends.
    std::function<bool()> onQueueFailure;

    bool silenceExpired() const { return silence_.hasExpired(); }
    int silenceLimitMs() const { return silenceLimitMs_; }

private:
    void heard() { silence_.setRemainingTime(silenceLimitMs_); }
    // One queue query into the queue count; a count that grew means the instrument is still talking.
    bool query();
    void dropExcess();

    UsbLink& link_;
    int silenceLimitMs_;
    QDeadlineTimer silence_;
    std::vector<uint8_t> scratch_;
};

}  // namespace qv
