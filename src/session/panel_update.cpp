#include "session/panel_update.h"

namespace qv {

Rgb lampRgb(LampColour colour)
{
    switch (colour) {
    case LampColour::Blue: return palette::Blue;
    case LampColour::Green: return palette::Green;
    case LampColour::Red: return palette::Red;
    case LampColour::Off: break;
    }
    return palette::Grey;
}

void setKnobLamps(PanelModel& panel, const KnobLamps& lamps)
{
    panel.setLamp(1, lampRgb(lamps.leftRight));
    panel.setLamp(2, lampRgb(lamps.upDown));
    panel.setLamp(3, lampRgb(lamps.volume));
}

void clearModeKeys(PanelModel& panel)
{
    for (int k = 0; k < kModeKeyCount; ++k)
        panel.setHighlight(Key(k), false);
}

void showReading(const StatusReading& r, PanelModel& panel)
{
    clearModeKeys(panel);
    panel.setMenuEnabled(Menu::Get1Frame, true);
    if (r.modeKey) {
        setKnobLamps(panel, *r.knobLamps);
        panel.setHighlight(*r.modeKey, true);
        if (!r.captureOffered)
            panel.setMenuEnabled(Menu::Get1Frame, false);
    }
    // Every status bit on every reply, so that the panel always shows the latest one.
    panel.setHighlight(r.channel == 2 ? Key::CH1 : Key::CH2, false);
    panel.setHighlight(r.channel == 2 ? Key::CH2 : Key::CH1, true);
    panel.setHighlight(Key::Eye, r.eye);
    for (int i = 0; i < 6; ++i)
        panel.setLamp(4 + i, lampRgb(r.signalLamps[size_t(i)]));
    for (int n = 1; n <= 9; ++n)
        panel.setCaption(n, r.softKeys[size_t(n - 1)]);
}

}  // namespace qv
