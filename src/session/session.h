#pragma once
// One instrument, and the only door to it: the link, the once-a-second poll, the state the wire last reported,
// the panel the window draws, and the queue of work (keys, captures, log fetches, erases), one exchange at a
// time. The window, the command line, the watch and the web server all drive the instrument through it, and
// every exchange ends with a typed outcome.

#include "link/d2xx.h"
#include "link/outcome.h"
#include "link/serial_number_filter.h"
#include "link/usb_link.h"
#include "logger/error_log.h"
#include "render/screen_fetch.h"
#include "render/screen_picture.h"
#include "session/front_panel_keys.h"
#include "session/instrument_status.h"
#include "session/live_view.h"
#include "session/poll_schedule.h"
#include "session/status_poll.h"
#include "state/panel_model.h"

#include <QObject>

#include <memory>
#include <optional>

namespace qv {

class Session : public QObject {
    Q_OBJECT
public:
    explicit Session(std::unique_ptr<D2xx> device, QObject* parent = nullptr);
    ~Session() override;

    // Start-up: the first printer, no screen and no log to print yet, the poll running. It does not touch the
    // device: the first contact is the first poll, one period later.
    void start();
    // Exit: a short pause, then endProgram.
    void exitAfterPause();
    // Closing the window or Exit: the poll stops, an exchange under way closes the device at its next pause,
    // and exitRequested asks the event loop to end.
    void endProgram();
    // Clear empties the status box; while a transfer writes into the box it waits for the transfer.
    void clearStatusBox();
    // The screen window was closed: its picture can no longer be printed.
    void screenWindowClosed();

    // One poll now (the tick of the schedule, or a caller that needs a fresh status first). Publishes the
    // status through polled() unless the tick was skipped.
    StatusPoll::Result pollOnce();
    // The status as the last poll left it.
    const InstrumentStatus& status() const { return status_; }

    // A key or knob by its name (a knob is held for holdMs); done once the key was sent or could not be.
    void press(const NamedControl& control, Done done = {}, int knobHoldMs = 200);
    // A poll, then the screen: NotOffered on the picture page, Absent when the instrument does not answer.
    // showWindow: the window's screen window comes up for it. reason: who asked, for the metrics (ScreenFetch).
    void captureScreen(bool showWindow, Done done, const char* reason = "command");
    void fetchLog(Done done);
    void eraseLog(Done done);
    // The screen for the live view, once the device is free: no poll of its own, the one just before stands.
    // Refused without a screen to copy (no instrument, the picture page, no input signal); Cancelled when a mode
    // key moved the instrument away from pageAtPoll since that poll.
    void captureLive(uint8_t pageAtPoll, Done done);
    // The live screen: copies every interval while somebody watches.
    LiveView& live() { return *live_; }

    // The instrument chosen by its converter's USB serial number; empty: the first one found.
    QByteArray instrumentSerial() const { return device_->serial(); }
    void setInstrumentSerial(const QByteArray& serial) { device_->setSerial(serial); }
    // Every instrument the backend can see now, by serial number, whichever is chosen.
    QList<QByteArray> attachedSerials() { return device_->attachedSerials(); }
    // The serial number of the instrument this program talks to: the chosen one, else the one last opened.
    QString serialNumber() const;

    // Polls since start, those that found no instrument or failed, and ticks skipped because the device was
    // in use; late ticks are the schedule's.
    struct PollCounts {
        quint64 polls = 0, failures = 0, skipped = 0, late = 0;
    };
    PollCounts pollCounts() const;

    // The parts, for the window and the tests.
    PanelModel& panel() { return panel_; }
    UsbLink& link() { return link_; }
    D2xx& device() { return *device_; }
    FrontPanelKeys& keys() { return keys_; }
    StatusPoll& poll() { return poll_; }
    PollSchedule& pollSchedule() { return schedule_; }
    ScreenPicture& picture() { return picture_; }
    ScreenFetch& screenFetch() { return fetch_; }
    ErrorLog& errorLog() { return log_; }

signals:
    void exitRequested();
    // After every poll that ran, with the status it left.
    void polled(const qv::InstrumentStatus& status);
    // A tick found the device in use by another exchange: no poll, only time has passed.
    void pollSkipped();

private:
    // Why a capture cannot be had now, judged from the last poll; none when it can.
    std::optional<Outcome> captureRefusal(const Outcome& polled) const;

    std::unique_ptr<SerialNumberFilter> device_;
    PanelModel panel_;
    UsbLink link_;
    PollSchedule schedule_;
    StatusPoll poll_;
    FrontPanelKeys keys_;
    ScreenPicture picture_;
    ScreenFetch fetch_;
    ErrorLog log_;
    InstrumentStatus status_;
    PollCounts counts_;
    bool inAbsencePause_ = false;
    std::unique_ptr<LiveView> live_;  // last: it goes first, while the session it watches is whole
};

}  // namespace qv
