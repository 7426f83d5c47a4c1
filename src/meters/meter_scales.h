#pragma once
// The audio meter graticule: four bar outlines, the phase-display cross, channel captions, and the ticks,
// numbers and title of one of seven meter scales, full-screen or small (the lower-left quarter of the tiled
// display).

namespace qv {

class DrawSurface;

enum class AudioScale { Bbc, Vu, Ebu, Nordic, Digital, Din, ExpandDin };

// Full-screen: sets yellow, clears the picture, draws frame, title, zone marks and scale.
void drawFullScale(DrawSurface& s, AudioScale scale);
// Small: draws the small frame and scale in the current colour, without clearing.
void drawSmallScale(DrawSurface& s, AudioScale scale);

void drawFullMeterFrame(DrawSurface& s);
void drawSmallMeterFrame(DrawSurface& s);

void DrawMeterTick(DrawSurface& s, double y);
void DrawMeterDashTick(DrawSurface& s, double y);
void PrintMeterNumber14(DrawSurface& s, double y, const char16_t* text);
void DrawTileMeterTick(DrawSurface& s, double y);
void DrawTileMeterDashTick(DrawSurface& s, double y);
void PrintMeterNumber8(DrawSurface& s, double y, const char16_t* text);

}  // namespace qv
