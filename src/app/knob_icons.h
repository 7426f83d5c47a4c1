#pragma once
// The six knob pictures (blue disc, black curved arrow round it, a letter mark) and the window icon, drawn
// at run time so that no image file has to travel with the program.

#include <QIcon>
#include <QPixmap>

namespace qv {

// knob 1..6: H anticlockwise, H clockwise, V anticlockwise, V clockwise, VOL anticlockwise, VOL clockwise.
QPixmap knobPixmap(int knob, int size = 48);
QIcon appIcon();

}  // namespace qv
