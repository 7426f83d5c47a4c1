#pragma once
// Turns the status reply into the drawn panel: the lit mode key, the lamps, the channel and EYE keys and
// whether a screen capture is offered.

#include "state/panel_model.h"

#include <cstdint>

namespace qv {

// The lamps over the three knob pairs (Move Left/Right, Move Up/Down, volume): lit where the page gives the
// knobs something to do.
struct KnobLamps {
    Rgb leftRight, upDown, volume;
};

// WFM lights the lamps of the two move pairs, AUDIO the volume pair; every other mode key turns all three off.
KnobLamps knobLampsFor(Key modeKey);
void setKnobLamps(PanelModel& panel, const KnobLamps& lamps);

// Clears the highlight of the nine mode keys, WFM to PICTURE. Channel, EYE, STO and REC are left alone.
void ResetModeButtons(PanelModel& panel);

// statusByte is reply byte 1, modeCode byte 2; displayFlag is bit 0 of byte 3 as the previous tick left it.
// The caller has just cleared the mode keys and enabled the capture menu: codes that light nothing rely on it.
void UpdatePanelState(uint8_t statusByte, uint8_t modeCode, bool displayFlag, PanelModel& panel);

}  // namespace qv
