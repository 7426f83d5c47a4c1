#pragma once
// The instrument's three-byte answer to a status request, decoded into what it says about the front panel:
// the page (and so the lit mode key), channel, EYE, the nine lamps, the soft-key captions, the signal and
// display flags, and whether the page has a screen to capture. Pure: bytes in, a value out.

#include "protocol/keys.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace qv {

enum class LampColour { Off, Blue, Green, Red };

// The lamps in panel order: the three knob pairs, the three Valid lamps, AUDIO, GAMUT+ and GAMUT-.
inline constexpr int kLampCount = 9;
inline constexpr std::array<const char*, kLampCount> kLampNames = {
    "left-right", "up-down", "volume", "valid-1", "valid-2", "valid-3", "audio", "gamut-plus", "gamut-minus"};
const char* lampColourName(LampColour colour);

// The lamps over the three knob pairs: lit where the page gives those knobs something to do.
struct KnobLamps {
    LampColour leftRight = LampColour::Off, upDown = LampColour::Off, volume = LampColour::Off;
    bool operator==(const KnobLamps&) const = default;
};
// WFM lights the two move pairs green, AUDIO the volume pair; every other mode key leaves all three off.
KnobLamps knobLampsFor(Key modeKey);

// The nine captions for a page, leading blanks kept (they centre short words under the key on the instrument).
// A page with no row of its own has nine single blanks.
std::array<QString, 9> softKeyCaptions(uint8_t page);

struct StatusReading {
    uint8_t statusByte = 0;  // byte 1: channel, EYE and the six signal lamps
    uint8_t page = 0;        // byte 2: the page the instrument shows
    bool displayFlag = false;  // byte 3, bit 0: the DISPLAY set-up shown over the picture
    bool signal = false;       // byte 3, bit 1: a video signal is present
    std::optional<Key> modeKey;  // the mode key that owns the page; none for a page no mode key owns
    // The knob-pair lamps; unchanged (none) on a page no mode key owns.
    std::optional<KnobLamps> knobLamps;
    int channel = 1;
    bool eye = false;
    std::array<LampColour, 6> signalLamps{};  // valid-1..3, audio, gamut-plus, gamut-minus
    std::array<QString, 9> softKeys;
    bool captureOffered = true;  // the picture page has no screen, unless the DISPLAY set-up is over it
    bool operator==(const StatusReading&) const = default;
};

// previousDisplayFlag is the display flag of the reply before this one: the instrument's page 0 is the
// picture or the DISPLAY set-up depending on it, and the page is read before the flag of this reply.
StatusReading decodeStatusReply(const uint8_t* reply, bool previousDisplayFlag);

// The header before a screen's pixel blocks: the screen type, and four audio levels (a smaller level is a
// taller bar).
struct ScreenHeader {
    int screenType = 0;
    std::array<uint8_t, 4> levels{};
};
ScreenHeader decodeScreenHeader(const uint8_t* header);

}  // namespace qv
