#pragma once
// The once-a-second status poll: ask the instrument for its three status bytes and mirror them on the panel;
// notice when the instrument has gone away, and when it comes back.

namespace qv {

class UsbLink;

class LivePoll {
public:
    explicit LivePoll(UsbLink& link) : link_(link) {}

    // One tick of Timer3.
    void Timer3_Timer();

    // The pause after reporting the instrument absent.
    int absencePauseMs = 200;

private:
    UsbLink& link_;
};

}  // namespace qv
