#pragma once
// Picks the graticule the screen-type code names (or the "No Signal" screen when the instrument reports no
// signal), then stamps the title, time and date at the bottom of the picture.

#include <QDateTime>

namespace qv {

class DrawSurface;

// The graticule of screen type code (from the screen header), or "No Signal" when the instrument reported no
// signal. A code that names nothing draws no graticule and does not clear: the previous picture stays under the
// overlay. now is the PC clock at the moment of drawing.
void DrawGraticule(DrawSurface& s, int code, bool signal, const QDateTime& now);

void drawNoSignal(DrawSurface& s);
void drawOverlay(DrawSurface& s, const QDateTime& now);

// True for the screen-type codes that have a graticule of their own.
bool hasGraticule(int code);

}  // namespace qv
