#pragma once
// The instrument's front panel as the wire knows it: every push button and knob, the name the command line and
// the network use for it, the one-byte code that presses it, and the page a mode key brings up.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace qv {

// The push buttons of the front panel. The first nine are the mode keys, WFM to PICTURE.
enum class Key : int {
    Wfm, Vect, Audio, Curs, Logger, Alarm, Data, Display, Pix,
    CH1, CH2, Eye, Rec, Sto,
    Soft1, Soft2, Soft3, Soft4, Soft5, Soft6, Soft7, Soft8, Soft9,
    Count
};
inline constexpr int kKeyCount = int(Key::Count);
inline constexpr int kModeKeyCount = 9;
// The six knobs: Move Left/Right, Move Up/Down, Decrease/Increase Volume, numbered 1..6.
inline constexpr int kKnobCount = 6;

inline bool isModeKey(Key k) { return int(k) < kModeKeyCount; }
inline bool isSoftKey(Key k) { return k >= Key::Soft1 && k <= Key::Soft9; }

// The code a press of the key sends (0x81..0x99).
uint8_t keyCode(Key k);
// Knob 1..6 -> 0x9A..0x9F, sent again every 50 ms while the knob is held.
inline uint8_t knobCode(int knob) { return uint8_t(0x99 + knob); }
// The page a mode key brings up (PICTURE is page 0); 0 for keys that are not mode keys.
uint8_t pageOf(Key k);

// A key or a knob by its name: the key captions (WFM ... PICTURE, CH1, CH2, EYE, STO, REC), 1..9 for the soft
// keys, LEFT RIGHT UP DOWN VOL- VOL+ for the knobs. Case and surrounding blanks do not matter.
struct NamedControl {
    std::optional<Key> key;
    int knob = 0;  // 1..6 when the name is a knob's
};
std::optional<NamedControl> controlByName(const QString& name);
// The name of a push button (soft keys are 1..9).
QString keyName(Key k);
// Every name controlByName accepts, keys first, then the soft keys, then the knobs.
QStringList allControlNames();

}  // namespace qv
