#pragma once
// One running remote control without its window: the shared state, the panel model, the link to the
// instrument, the two timers and every handler that is not a widget's own. The main window mirrors it; the
// headless modes drive it directly.

#include "link/d2xx.h"
#include "link/serial_number_filter.h"
#include "link/usb_link.h"
#include "live/front_panel_keys.h"
#include "live/live_poll.h"
#include "logger/error_log.h"
#include "render/screen_fetch.h"
#include "render/screen_picture.h"
#include "state/panel_model.h"
#include "state/shared_state.h"

#include <QObject>
#include <QTimer>

#include <memory>

namespace qv {

class Remote : public QObject {
    Q_OBJECT
public:
    explicit Remote(std::unique_ptr<D2xx> device, QObject* parent = nullptr);
    ~Remote() override;

    SharedState& state() { return state_; }
    PanelModel& panel() { return panel_; }
    UsbLink& link() { return link_; }
    D2xx& device() { return *device_; }
    // The instrument chosen by its converter's USB serial number; empty: the first one found.
    QByteArray instrumentSerial() const { return device_->serial(); }
    void setInstrumentSerial(const QByteArray& serial) { device_->setSerial(serial); }
    // Every instrument the backend can see now, by serial number, whichever is chosen.
    QList<QByteArray> attachedSerials() { return device_->attachedSerials(); }
    // The serial number of the instrument this program talks to: the chosen one, else the one last opened.
    QString serialNumber() const;
    FrontPanelKeys& keys() { return keys_; }
    LivePoll& poll() { return poll_; }
    QTimer& timer3() { return timer3_; }
    ScreenPicture& picture() { return picture_; }
    ScreenFetch& screenFetch() { return fetch_; }
    ErrorLog& errorLog() { return log_; }

    // Start-up: the first printer, no screen and no log to print yet, the poll running. It does not touch the
    // device: the first contact is the first poll tick, one second later.
    void Form_Load();
    void cmdExit_Click();  // Wait(100), then endProgram
    // Closing the window or Exit: the poll stops, an exchange under way closes the device at its next pause,
    // and exitRequested asks the event loop to end.
    void endProgram();
    // Clear empties the status box; while a transfer writes into the box it waits for the transfer.
    void mnuClear_Click();
    // The screen window was closed: its picture can no longer be printed.
    void downloadWindowClosed();

signals:
    void exitRequested();

private:
    std::unique_ptr<SerialNumberFilter> device_;
    SharedState state_;
    PanelModel panel_;
    UsbLink link_;
    QTimer timer3_;
    LivePoll poll_;
    FrontPanelKeys keys_;
    ScreenPicture picture_;
    ScreenFetch fetch_;
    ErrorLog log_;
};

}  // namespace qv
