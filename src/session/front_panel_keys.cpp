#include "session/front_panel_keys.h"

#include "link/usb_link.h"
#include "session/panel_update.h"
#include "session/poll_schedule.h"
#include "session/status_poll.h"

#include <QCoreApplication>

namespace qv {

using namespace Qt::StringLiterals;

namespace {
constexpr int kKnobRepeatMs = 50;
}  // namespace

void FrontPanelKeys::click(Key k, Done done)
{
    link_.whenFree([this, k, done = std::move(done)] {
        runClick(k);
        if (done)
            done(link_.exchangeOutcome());
    });
}

void FrontPanelKeys::runClick(Key k)
{
    link_.beginExchange();
    if (isSoftKey(k))
        runNumbered(k);
    else if (isModeKey(k))
        runModeKey(k);
    else
        runGuardedKey(k);
}

void FrontPanelKeys::sendKeyExchange(uint8_t code)
{
    UsbLink::Hold hold(link_);
    link_.openDevice();
    link_.sendCode(code);
    if (link_.closeDevice() != ft::OK) {
        link_.noteFailure(ErrorKind::CloseFailed);
        link_.panel().setStatusText(u"Close Failed"_s);
    }
}

void FrontPanelKeys::runNumbered(Key k)
{
    PanelModel& panel = link_.panel();
    panel.setHighlight(Key::Rec, false);
    panel.setHighlight(Key::Sto, false);
    sendKeyExchange(keyCode(k));
}

void FrontPanelKeys::runModeKey(Key k)
{
    PanelModel& panel = link_.panel();
    sendKeyExchange(keyCode(k));
    // The panel follows the key whatever the exchange did: the next poll brings it in line with the instrument.
    setKnobLamps(panel, knobLampsFor(k));
    clearModeKeys(panel);
    panel.setHighlight(k, true);
    const uint8_t page = pageOf(k);
    poll_.showPage(page);
    const auto captions = softKeyCaptions(page);
    for (int n = 1; n <= 9; ++n)
        panel.setCaption(n, captions[size_t(n - 1)]);
    schedule_.postpone();
}

void FrontPanelKeys::runGuardedKey(Key k)
{
    PanelModel& panel = link_.panel();
    sendKeyExchange(keyCode(k));
    switch (k) {
    case Key::CH1:
        panel.setHighlight(Key::CH1, true);
        panel.setHighlight(Key::CH2, false);
        break;
    case Key::CH2:
        panel.setHighlight(Key::CH2, true);
        panel.setHighlight(Key::CH1, false);
        break;
    case Key::Sto:
    case Key::Rec:
        panel.setHighlight(k, true);
        break;
    default:
        break;  // EYE: the poll shows its state
    }
    schedule_.postpone();
}

void FrontPanelKeys::knobDown(int knob, Done done)
{
    if (knob < 1 || knob > kKnobCount)
        return;
    const unsigned press = ++pressCount_;
    const auto run = [this, knob, done = std::move(done)](bool releasedAlready) {
        link_.beginExchange();
        runKnob(knob, releasedAlready);
        if (done)
            done(link_.exchangeOutcome());
    };
    if (!link_.deviceHeld() && link_.pendingActions() == 0) {
        run(false);
        return;
    }
    // The device is busy: remember the press. If the button is already up when the device frees, the press
    // still counts as one step of the knob.
    link_.whenFree([this, press, run] { run(releasedUpTo_ >= press); });
}

void FrontPanelKeys::knobUp(int)
{
    knobHeld_ = false;
    releasedUpTo_ = pressCount_;
}

void FrontPanelKeys::runKnob(int knob, bool releasedAlready)
{
    const uint8_t code = knobCode(knob);
    UsbLink::Hold hold(link_);  // the device stays open for the whole hold: no poll, no other key meanwhile
    if (knob == 1)
        clearModeKeys(link_.panel());
    link_.openDevice();
    if (releasedAlready) {
        link_.sendCode(code);
    } else {
        knobHeld_ = true;
        for (;;) {
            QCoreApplication::processEvents();  // a release waiting here ends the hold before anything is sent
            if (!knobHeld_ || link_.stopping())
                break;
            link_.sendCode(code);
            link_.Wait(kKnobRepeatMs);
        }
    }
    if (link_.closeDevice() != ft::OK) {
        link_.noteFailure(ErrorKind::CloseFailed);
        link_.panel().setStatusText(u"Close Failed"_s);
    }
}

}  // namespace qv
