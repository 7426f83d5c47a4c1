#pragma once
// Draws what a status reply says onto the drawn front panel: the lit mode key, the lamps, the channel and EYE
// keys, the soft-key captions and whether a screen capture is offered.

#include "protocol/status_reply.h"
#include "state/panel_model.h"

namespace qv {

// A lamp that is off is drawn grey.
Rgb lampRgb(LampColour colour);

void setKnobLamps(PanelModel& panel, const KnobLamps& lamps);

// Clears the highlight of the nine mode keys, WFM to PICTURE. Channel, EYE, STO and REC are left alone.
void clearModeKeys(PanelModel& panel);

// The whole reading, as the poll shows it: mode keys cleared and capture offered first (a page that lights
// nothing leaves them so), then the page's key and lamps, the status bits, and the captions last.
void showReading(const StatusReading& reading, PanelModel& panel);

}  // namespace qv
