#pragma once
// What each key of the drawn front panel does: open the device, send the key's message, close, and update the
// panel at once so that the user sees the effect before the next poll confirms it. The arrow and volume knobs
// repeat their message while held. Used by the window's buttons, the command line and the network alike; each
// press ends with a typed outcome once its message was sent (or could not be).

#include "link/outcome.h"
#include "protocol/keys.h"
#include "state/panel_model.h"

#include <functional>

namespace qv {

class UsbLink;
class PollSchedule;
class StatusPoll;

using Done = std::function<void(const Outcome&)>;

class FrontPanelKeys {
public:
    FrontPanelKeys(UsbLink& link, PollSchedule& schedule, StatusPoll& poll)
        : link_(link), schedule_(schedule), poll_(poll)
    {
    }

    // Click of a push button. When another exchange holds the device the click runs as soon as it lets go;
    // done (if given) is told how the exchange ended.
    void click(Key k, Done done = {});
    // The press and release of knob 1..6 (any mouse button, or the keyboard). done is told when the hold ends.
    void knobDown(int knob, Done done = {});
    void knobUp(int knob);
    bool knobHeld() const { return knobHeld_; }

private:
    void runClick(Key k);
    void runNumbered(Key k);
    void runModeKey(Key k);
    void runGuardedKey(Key k);
    void runKnob(int knob, bool releasedAlready);
    void sendKeyExchange(uint8_t code);  // open, send, close with the key handlers' "Close Failed"

    UsbLink& link_;
    PollSchedule& schedule_;
    StatusPoll& poll_;
    bool knobHeld_ = false;
    unsigned pressCount_ = 0;
    unsigned releasedUpTo_ = 0;
};

}  // namespace qv
