#include "live/panel_state.h"

#include "state/panel_model.h"
#include "state/shared_state.h"

namespace qv {

namespace {
struct ModeRow {
    Key key;
    Rgb lamp1, lamp2, lamp3;
};

// Table A: the page the instrument reports, the mode key that owns it, and the three lamps over the knob pairs
// (H pair, V pair, volume pair) that tell which knobs do something on that page.
bool modeRow(uint8_t code, bool displayFlag, ModeRow& row)
{
    using namespace qb;
    switch (code) {
    case 0: row = {displayFlag ? Key::Display : Key::Pix, Grey, Grey, Grey}; return true;
    case 1: row = {Key::Wfm, Green, Green, Grey}; return true;
    case 2: case 23: row = {Key::Vect, Grey, Grey, Grey}; return true;
    case 3: case 11: case 12: case 13: case 14: row = {Key::Audio, Grey, Grey, Green}; return true;
    case 4: row = {Key::Curs, Grey, Grey, Grey}; return true;
    case 19: case 20: case 21: row = {Key::Curs, Red, Red, Grey}; return true;  // cursors move with the knobs
    case 5: row = {Key::Logger, Grey, Grey, Grey}; return true;
    case 6: row = {Key::Alarm, Grey, Grey, Grey}; return true;
    case 7: row = {Key::Data, Grey, Grey, Grey}; return true;
    case 8: row = {Key::Display, Grey, Grey, Grey}; return true;
    default: return false;
    }
}
}  // namespace

void ResetModeButtons(PanelModel& panel)
{
    for (int k = 0; k < kModeKeyCount; ++k)
        panel.setHighlight(Key(k), false);
}

void UpdatePanelState(uint8_t statusByte, uint8_t modeCode, bool displayFlag, PanelModel& panel)
{
    ModeRow row{};
    if (modeRow(modeCode, displayFlag, row)) {
        panel.setLamp(1, row.lamp1);
        panel.setLamp(2, row.lamp2);
        panel.setLamp(3, row.lamp3);
        panel.setHighlight(row.key, true);
        // The picture page has nothing to capture, unless the DISPLAY set-up is shown over it.
        if (modeCode == 0 && !displayFlag)
            panel.setMenuEnabled(Menu::Get1Frame, false);
    }

    // Table B: every bit on every call, so these always show the latest reply.
    if (statusByte & 0x02) {
        panel.setHighlight(Key::CH1, false);
        panel.setHighlight(Key::CH2, true);
    } else {
        panel.setHighlight(Key::CH2, false);
        panel.setHighlight(Key::CH1, true);
    }
    panel.setHighlight(Key::Eye, statusByte & 0x01);
    panel.setLamp(4, statusByte & 0x80 ? qb::Blue : qb::Grey);
    panel.setLamp(5, statusByte & 0x40 ? qb::Blue : qb::Grey);
    panel.setLamp(6, statusByte & 0x20 ? qb::Blue : qb::Grey);
    panel.setLamp(7, statusByte & 0x10 ? qb::Blue : qb::Grey);
    panel.setLamp(8, statusByte & 0x08 ? qb::Red : qb::Grey);
    panel.setLamp(9, statusByte & 0x04 ? qb::Red : qb::Grey);
}

}  // namespace qv
