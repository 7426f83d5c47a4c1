#pragma once
// One status poll: ask the instrument for its three status bytes, decode them, and show them on the panel;
// notice when the instrument has gone away, and when it comes back.

#include "link/outcome.h"
#include "protocol/status_reply.h"

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
    bool instrumentPresent() const;

    // The pause after reporting the instrument absent.
    int absencePauseMs = 200;

private:
    UsbLink& link_;
    std::optional<StatusReading> reading_;
};

}  // namespace qv
