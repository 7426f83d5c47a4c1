#pragma once
// The six knob pictures (blue disc, black curved arrow round it, a letter mark) and the window icon, drawn
// at run time so that no image file has to travel with the program. Both are drawn as vectors at whatever
// size and device pixel ratio they are shown, so they stay sharp on a screen scaled to 150 % or 200 %.

#include <QIcon>

namespace qv {

// knob 1..6: H anticlockwise, H clockwise, V anticlockwise, V clockwise, VOL anticlockwise, VOL clockwise.
// Designed at 48 x 48.
QIcon knobIcon(int knob);
QIcon appIcon();

}  // namespace qv
