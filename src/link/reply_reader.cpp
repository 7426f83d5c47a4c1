#include "link/reply_reader.h"

#include "link/usb_link.h"

#include <algorithm>
#include <thread>

namespace qv {

namespace {
// An instrument that keeps sending after its reply (it never does) must not hold a transfer for ever: the
// excess is dropped in at most this many passes of one buffer's worth.
constexpr int kDropPasses = 16;
// The converter passes bytes on in packets, once per tick of its latency timer (1 to 2 ms at the setting the
// program asks for, 16 ms by default). A reply that is nearly there is asked after at once; a wait that goes on
// asks less and less often, down to once a millisecond: asking more often finds nothing new and only keeps the
// processor awake.
constexpr std::chrono::microseconds kFirstPause{200}, kLongestPause{1000};
}  // namespace

ReplyReader::ReplyReader(UsbLink& link, int silenceLimitMs)
    : link_(link), silenceLimitMs_(silenceLimitMs), silence_(silenceLimitMs)
{
}

bool ReplyReader::query()
{
    uint32_t queued = 0;
    if (link_.device().GetQueueStatus(link_.handle(), &queued) != ft::OK)
        return false;
    if (int64_t(queued) > link_.queuedBytes())
        heard();
    link_.queuedBytes() = int32_t(std::min<uint32_t>(queued, INT32_MAX));
    return true;
}

ReplyReader::Outcome ReplyReader::read(void* buffer, int32_t capacity, int32_t ready, uint32_t* got)
{
    *got = 0;
    auto pause = kFirstPause;
    while (link_.queuedBytes() < ready) {
        if (!query()) {
            if (!onQueueFailure || !onQueueFailure())
                return Outcome::QueueFailed;
        } else if (link_.queuedBytes() >= ready) {
            break;
        }
        if (silence_.hasExpired())
            return Outcome::Silent;
        std::this_thread::sleep_for(pause);
        pause = std::min(2 * pause, kLongestPause);
    }
    // Never ask for more than the buffer holds: a larger count is read in part and the rest dropped.
    const uint32_t want = uint32_t(std::clamp<int32_t>(link_.queuedBytes(), 0, capacity));
    const FtStatus st = link_.device().Read(link_.handle(), buffer, want, got);
    link_.bytesRead() = int32_t(*got);
    if (st != ft::OK)
        return Outcome::ReadFailed;
    if (*got > 0)
        heard();
    if (link_.queuedBytes() > capacity)
        dropExcess();
    return Outcome::Read;
}

void ReplyReader::dropExcess()
{
    // The count the read went by claimed more than the buffer takes. It may be a count left from an earlier
    // reply (a whole screen block before a log record), whose bytes were read long ago: draining by it would only
    // wait out read time-outs for bytes that never come. What is queued now is beyond this reply, since the
    // instrument sends the next one only when asked; drop that, and leave a count that is true afterwards.
    for (int pass = 0; pass < kDropPasses; ++pass) {
        if (!query() || link_.queuedBytes() <= 0)
            return;
        scratch_.resize(size_t(std::min<int32_t>(link_.queuedBytes(), kReplyBufferSize)));
        uint32_t dropped = 0;
        if (link_.device().Read(link_.handle(), scratch_.data(), uint32_t(scratch_.size()), &dropped) != ft::OK ||
            dropped == 0)
            return;
    }
}

}  // namespace qv
