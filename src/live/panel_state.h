#pragma once
// Turns the status reply into the drawn panel: the lit mode key, the lamps, the channel and EYE keys and
// whether a screen capture is offered.

#include <cstdint>

namespace qv {

class PanelModel;

// Clears the highlight of the nine mode keys, WFM to PICTURE. Channel, EYE, STO and REC are left alone.
void ResetModeButtons(PanelModel& panel);

// statusByte is reply byte 1, modeCode byte 2; displayFlag is bit 0 of byte 3 as the previous tick left it.
// The caller has just cleared the mode keys and enabled the capture menu: codes that light nothing rely on it.
void UpdatePanelState(uint8_t statusByte, uint8_t modeCode, bool displayFlag, PanelModel& panel);

}  // namespace qv
