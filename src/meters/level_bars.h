#pragma once
// The moving part of the audio meters: four level bars from the screen header.

#include <array>
#include <cstdint>

namespace qv {

class DrawSurface;

// Draws nothing for screen types of 10 and below; full-screen bars below 20, tiled bars from 20 up.
// The levels are the header's bytes 2 to 5; a smaller level is a taller bar.
void drawBarsAtLevels(DrawSurface& s, int screenTypeCode, const std::array<uint8_t, 4>& levels);

// The fetch's step: the header's four levels as bars, for the audio screen types (above 10).
void DrawLevelBars(DrawSurface& s, int screenTypeCode, const std::array<uint8_t, 4>& levels);

}  // namespace qv
