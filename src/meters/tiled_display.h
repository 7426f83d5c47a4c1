#pragma once
// The graticule of the tiled four-way display: small waveform, small vectorscope and small audio meter; the
// fourth quarter is the picture and has none.

namespace qv {

class DrawSurface;

void drawTileWaveform(DrawSurface& s);
void drawTileVector(DrawSurface& s, bool bt709);
// Screen types 20 to 33; other codes draw nothing.
void drawTiledDisplay(DrawSurface& s, int screenTypeCode);

}  // namespace qv
