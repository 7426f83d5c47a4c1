#include "live/panel_state.h"

#include "state/panel_model.h"
#include "state/shared_state.h"

#include <optional>

namespace qv {

KnobLamps knobLampsFor(Key modeKey)
{
    using namespace qb;
    switch (modeKey) {
    case Key::Wfm: return {Green, Green, Grey};
    case Key::Audio: return {Grey, Grey, Green};
    default: return {Grey, Grey, Grey};
    }
}

namespace {
struct PageRow {
    Key key;
    KnobLamps lamps;
};

// The page the instrument reports, the mode key that owns it, and the three lamps over the knob pairs that tell
// which knobs do something on that page.
std::optional<PageRow> pageRow(uint8_t code, bool displayFlag)
{
    const auto owned = [](Key k) { return PageRow{k, knobLampsFor(k)}; };
    switch (code) {
    case 0: return owned(displayFlag ? Key::Display : Key::Pix);
    case 1: return owned(Key::Wfm);
    case 2: case 23: return owned(Key::Vect);
    case 3: case 11: case 12: case 13: case 14: return owned(Key::Audio);
    case 4: return owned(Key::Curs);
    case 19: case 20: case 21: return PageRow{Key::Curs, {qb::Red, qb::Red, qb::Grey}};  // cursors move with the knobs
    case 5: return owned(Key::Logger);
    case 6: return owned(Key::Alarm);
    case 7: return owned(Key::Data);
    case 8: return owned(Key::Display);
    default: return std::nullopt;
    }
}

void showPage(uint8_t modeCode, bool displayFlag, PanelModel& panel)
{
    const auto row = pageRow(modeCode, displayFlag);
    if (!row)
        return;
    setKnobLamps(panel, row->lamps);
    panel.setHighlight(row->key, true);
    // The picture page has nothing to capture, unless the DISPLAY set-up is shown over it.
    if (modeCode == 0 && !displayFlag)
        panel.setMenuEnabled(Menu::Get1Frame, false);
}

// The status byte: channel, EYE and the six signal lamps, every bit on every call so they always show the
// latest reply.
void showStatusBits(uint8_t statusByte, PanelModel& panel)
{
    const bool ch2 = statusByte & 0x02;
    panel.setHighlight(ch2 ? Key::CH1 : Key::CH2, false);
    panel.setHighlight(ch2 ? Key::CH2 : Key::CH1, true);
    panel.setHighlight(Key::Eye, statusByte & 0x01);
    panel.setLamp(4, statusByte & 0x80 ? qb::Blue : qb::Grey);
    panel.setLamp(5, statusByte & 0x40 ? qb::Blue : qb::Grey);
    panel.setLamp(6, statusByte & 0x20 ? qb::Blue : qb::Grey);
    panel.setLamp(7, statusByte & 0x10 ? qb::Blue : qb::Grey);
    panel.setLamp(8, statusByte & 0x08 ? qb::Red : qb::Grey);
    panel.setLamp(9, statusByte & 0x04 ? qb::Red : qb::Grey);
}
}  // namespace

void setKnobLamps(PanelModel& panel, const KnobLamps& lamps)
{
    panel.setLamp(1, lamps.leftRight);
    panel.setLamp(2, lamps.upDown);
    panel.setLamp(3, lamps.volume);
}

void ResetModeButtons(PanelModel& panel)
{
    for (int k = 0; k < kModeKeyCount; ++k)
        panel.setHighlight(Key(k), false);
}

void UpdatePanelState(uint8_t statusByte, uint8_t modeCode, bool displayFlag, PanelModel& panel)
{
    showPage(modeCode, displayFlag, panel);
    showStatusBits(statusByte, panel);
}

}  // namespace qv
