#include "meters/level_bars.h"

#include "render/draw_surface.h"

namespace qv {

void drawBarsAtLevels(DrawSurface& s, int code, const std::array<uint8_t, 4>& levels)
{
    if (code <= 10)
        return;
    // The red bar of each pair is the left channel, the green one the right.
    static constexpr Rgb kColours[4] = {palette::Red, palette::Green, palette::Red, palette::Green};
    if (code < 20) {
        static constexpr double kX[4] = {45, 125, 861, 940};
        for (int ch = 0; ch < 4; ++ch)
            s.fillBox(kX[ch], int(levels[size_t(ch)]) * 3.2, kX[ch] + 24, 662, kColours[ch]);
    } else {
        static constexpr double kX[4] = {20, 60, 428, 468};
        for (int ch = 0; ch < 4; ++ch)
            s.fillBox(kX[ch], int(levels[size_t(ch)]) * 1.6 + 350, kX[ch] + 10, 680, kColours[ch]);
    }
}

void DrawLevelBars(DrawSurface& s, int screenTypeCode, const std::array<uint8_t, 4>& levels)
{
    if (screenTypeCode > 10)
        drawBarsAtLevels(s, screenTypeCode, levels);
}

}  // namespace qv
