#pragma once
// The three routines every exchange with the instrument uses, and the rule that keeps exchanges apart.
// An operation is: openDevice, sendCode(its code), its reads, FT_Close. Nothing stays open between operations
// except a held arrow or volume key. Routines return nothing: each failure writes its own text into the status
// box and the sequence goes on; the calls that follow fail in turn.

#include "link/d2xx.h"
#include "link/outcome.h"

#include <QObject>
#include <QTimer>

#include <array>
#include <cstdint>
#include <deque>
#include <functional>

namespace qv {

class PanelModel;

inline constexpr int kReplyBufferSize = 10000;
inline constexpr int kSerialNumberSize = 100;

// The number of the run-time failure being handled (call it inside a catch), as engineers know them from the
// maker's program: 7 for out of memory, 51 for any other internal error.
int runTimeErrorNumber();

class UsbLink : public QObject {
    Q_OBJECT
public:
    UsbLink(PanelModel& panel, D2xx& device, QObject* parent = nullptr);

    void openDevice();
    void sendCode(int code);
    // Pauses for ms milliseconds while the event loop keeps running. There is one wait timer: a wait started
    // inside another re-programs it, and when it ends the outer one ends too.
    void Wait(int ms);
    void endWait();
    // A pause has been taken since the link was made, and has ended.
    bool waited() const { return waitDone_; }
    // FT_Close on DeviceHandle; the caller reports a failure in its own words.
    FtStatus closeDevice();
    // FT_Close after a run-time failure inside an exchange: the device may be what failed, so a close that throws
    // counts as a close that failed.
    FtStatus closeAfterFailure() noexcept;

    // Each exchange (poll, key, transfer, erase) starts by forgetting the last one's failure; the first failure
    // noted during it is its kind, and the status box's text at its end is its text.
    void beginExchange() { failure_ = ErrorKind::None; }
    void noteFailure(ErrorKind kind)
    {
        if (failure_ == ErrorKind::None)
            failure_ = kind;
    }
    bool exchangeFailed() const { return failure_ != ErrorKind::None; }
    Outcome exchangeOutcome() const;

    // The pause after a failed write whose close failed too: the user reads "No responce" for this long.
    int noResponsePauseMs = 1000;

    D2xx& device() { return device_; }
    // What the link keeps from one call to the next: the handle of the open converter, the serial number the
    // list found, the receive buffer and its counts, and whether a transfer owns the device.
    FtHandle& handle() { return handle_; }
    const char* serialNumber() const { return serialNumber_.data(); }
    std::array<uint8_t, kReplyBufferSize>& replyBuffer() { return replyBuffer_; }
    int32_t& bytesRead() { return bytesRead_; }
    // Kept between transfers on purpose: the instrument's queue outlives them (see ReplyReader).
    int32_t& queuedBytes() { return queuedBytes_; }
    bool transferBusy() const { return transferBusy_; }
    void setTransferBusy(bool busy) { transferBusy_ = busy; }
    PanelModel& panel() { return panel_; }
    QTimer& waitTimer() { return waitTimer_; }

    // Exclusive use of the device. While a hold is alive (open to close of one exchange, or the whole of a held
    // knob) the device belongs to that exchange: a poll tick skips, other exchanges are deferred.
    bool deviceHeld() const { return holds_ > 0; }
    class Hold {
    public:
        explicit Hold(UsbLink& link) : link_(link) { ++link_.holds_; }
        ~Hold() { link_.release(); }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        UsbLink& link_;
    };
    // Runs the action now when the device is free, otherwise as soon as the current exchange lets go of it, in
    // the order asked for: a key clicked during a transfer is not lost.
    void whenFree(std::function<void()> action);
    int pendingActions() const { return int(pending_.size()); }

    // The program is ending (window closed, Exit): a Wait under way returns at once, an exchange under way
    // stops at its next pause and closes the device, and deferred work is dropped.
    void stop();
    bool stopping() const { return stopping_; }

private:
    void release();
    void runPending();

    FtHandle handle_ = 0;  // written only by a successful open; never cleared
    std::array<char, kSerialNumberSize> serialNumber_{};
    std::array<uint8_t, 2> keyMessage_{};
    uint32_t bytesWritten_ = 0;
    bool waitDone_ = false;
    std::array<uint8_t, kReplyBufferSize> replyBuffer_{};
    int32_t bytesRead_ = 0;
    int32_t queuedBytes_ = 0;
    bool transferBusy_ = false;
    PanelModel& panel_;
    D2xx& device_;
    QTimer waitTimer_;
    int holds_ = 0;
    std::deque<std::function<void()>> pending_;
    bool runScheduled_ = false;
    bool stopping_ = false;
    ErrorKind failure_ = ErrorKind::None;
};

}  // namespace qv
