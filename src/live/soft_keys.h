#pragma once
// Captions under the nine numbered soft keys: what each key does on the page the instrument shows.

#include <QString>

#include <array>
#include <cstdint>

namespace qv {

class PanelModel;

// The nine captions for a page, leading blanks kept. A page with no row of its own takes the all-blank row.
std::array<QString, 9> softKeyCaptions(uint8_t modeCode);

// Writes lblKey1..lblKey9 from ModeCode, in that order, every call.
void SetSoftKeyLabels(uint8_t modeCode, PanelModel& panel);

}  // namespace qv
