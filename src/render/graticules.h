#pragma once
// The full-screen waveform graticules (screen types 1 to 3) and vectorscope graticules (4 to 9). Each sets
// the foreground colour to green and clears the picture first.

namespace qv {

class DrawSurface;

void drawWaveform1(DrawSurface& s);  // scale "1.0" to "0"
void drawWaveform2(DrawSurface& s);  // scale "100" to "-40"
void drawWaveform3(DrawSurface& s);  // scale "100%", "50%", "0"

void drawVector4(DrawSurface& s);  // twelve targets, both target sets
void drawVector5(DrawSurface& s);  // six targets with tolerance corners
void drawVector6(DrawSurface& s);  // layout A
void drawVector7(DrawSurface& s);  // layout C with the ChromaDuMonde chart marks
void drawVector8(DrawSurface& s);  // layout B
void drawVector9(DrawSurface& s);  // layout C

}  // namespace qv
