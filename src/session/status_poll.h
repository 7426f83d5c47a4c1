#pragma once
// One status poll: ask the instrument for its three status bytes, decode them, and show them on the panel;
// notice when the instrument has gone away, and when it comes back.

#include "link/outcome.h"
#include "protocol/status_reply.h"

#include <cstdint>
#include <optional>

namespace qv {

class UsbLink;

class StatusPoll {
public:
    explicit StatusPoll(UsbLink& link) : link_(link) {}

    // What a tick did: skipped (the device belonged to another exchange), or polled with this outcome.
    struct Result {
        bool skipped = false;
        Outcome outcome;
        bool foundAbsent = false;  // the session then pauses absencePauseMs, after publishing the status
    };
    Result pollOnce();

    // The last complete reply, decoded; none before the first one. A short or failed read leaves it as it was.
    const std::optional<StatusReading>& lastReading() const { return reading_; }

    // What the instrument last said, as the panel shows it: whether it answered, its page (a mode key sets it at
    // once), and the flags of its last reply (a short read leaves the sentinel's).
    bool instrumentPresent() const { return present_; }
    void setInstrumentPresent(bool present) { present_ = present; }
    bool signalPresent() const { return signal_; }
    void setSignalPresent(bool signal) { signal_ = signal; }
    bool displayFlag() const { return displayFlag_; }
    uint8_t page() const { return page_; }
    void showPage(uint8_t page) { page_ = page; }

    // The pause after reporting the instrument absent.
    int absencePauseMs = 200;

private:
    UsbLink& link_;
    std::optional<StatusReading> reading_;
    bool present_ = false;
    bool signal_ = false;
    bool displayFlag_ = false;
    uint8_t page_ = 0;
};

}  // namespace qv
