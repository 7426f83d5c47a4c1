#pragma once
// The moving part of the audio meters: four level bars from the screen header.

#include <array>
#include <cstdint>

namespace qv {

class DrawSurface;
struct SharedState;

// Draws nothing for screen types of 10 and below; full-screen bars below 20, tiled bars from 20 up.
// The levels are the header's bytes 2 to 5; a smaller level is a taller bar.
void drawBarsAtLevels(DrawSurface& s, int screenTypeCode, const std::array<uint8_t, 4>& levels);

// The fetch's step: copies header bytes 2 to 5 into AudioLevel1..4 for audio screens, then draws the bars.
void DrawLevelBars(DrawSurface& s, SharedState& state);

}  // namespace qv
