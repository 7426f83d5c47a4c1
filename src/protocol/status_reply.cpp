#include "protocol/status_reply.h"

namespace qv {

namespace {
struct CaptionRow {
    int page;
    std::array<const char16_t*, 9> captions;
};

// The instrument's own captions, blanks included.
constexpr CaptionRow kCaptions[] = {
    {1, {u"HORZ", u"VERT", u"INT/EXT", u"BLNK", u" STO", u" MAG", u"FILTER", u"BOWTIE", u" "}},
    {2, {u"GAIN", u"STO/FRZ", u"INT/EXT", u" CDM", u" ", u" ", u" ", u" ", u" "}},
    {3, {u"SOURCE", u"SCALE", u"PEAKS", u"DEEMP", u" OUT", u" ", u" ", u" ", u" "}},
    {4, {u" AMP", u"TIME", u"PHASE", u" ", u" ", u" ", u" ", u" ", u" "}},
    {5, {u"CLOCK", u"START", u"STOP", u"ERASE", u" UP", u"DOWN", u" ", u" ", u" "}},
    {6, {u" ILL", u" GAM", u"LOCK", u" ANC", u"CCR/FCR", u"YCR/ACR", u"LINE", u" TRS", u" "}},
    {7, {u"A/DIG", u" RST", u" KEY", u" FCT", u" CAL", u" ", u" ", u" ", u" "}},
    {8, {u"SCL UP", u"SCL DN", u"HVDLY", u"GAMUT", u"SAFE", u"TILE", u" ", u" ", u" "}},
    {10, {u" H+", u" H-", u" M+", u" M-", u" ", u" ", u" ", u" SET", u" RET"}},
    {11, {u" GP1", u" GP2", u" GP3", u" GP4", u" AES", u" ANA", u" ", u" ", u" RET"}},
    {12, {u" BBC", u" EBU", u" VU", u" NORDIC", u"DIGITAL", u" DIN", u"EXP DIN", u" ", u" RET"}},
    {13, {u" OFF", u"1 SEC", u"2 SEC", u"4 SEC", u" INF", u" ", u" ", u" ", u" RET"}},
    {14, {u"2 KHz", u"3 KHz", u"4 KHz", u" OFF", u" ", u" ", u" ", u" ", u" RET"}},
    {17, {u"0 dB", u"-5 dB", u"-10 dB", u"-15 dB", u"-20 dB", u"-25 dB", u" ", u" SET", u" RET"}},
    {24, {u" OFF", u"16:9", u"14:9", u"4:3", u" ", u" ", u" ", u" ", u" RET"}},
    {19, {u" ", u" ", u" ", u" ", u" ", u" ", u" ", u" ", u" RET"}},
    {20, {u" ", u" ", u" ", u" ", u" ", u" ", u" ", u" ", u" RET"}},
    {21, {u" ", u" ", u" ", u" ", u" ", u" ", u" ", u" ", u" RET"}},
};
constexpr std::array<const char16_t*, 9> kBlankRow = {u" ", u" ", u" ", u" ", u" ", u" ", u" ", u" ", u" "};

// The mode key that owns a page, and the knob lamps of that page.
void readPage(uint8_t page, bool displayFlag, StatusReading& r)
{
    const auto owned = [&r](Key k) {
        r.modeKey = k;
        r.knobLamps = knobLampsFor(k);
    };
    switch (page) {
    case 0: owned(displayFlag ? Key::Display : Key::Pix); break;
    case 1: owned(Key::Wfm); break;
    case 2: case 23: owned(Key::Vect); break;
    case 3: case 11: case 12: case 13: case 14: owned(Key::Audio); break;
    case 4: owned(Key::Curs); break;
    case 19: case 20: case 21:  // the cursors move with the two move pairs
        r.modeKey = Key::Curs;
        r.knobLamps = KnobLamps{LampColour::Red, LampColour::Red, LampColour::Off};
        break;
    case 5: owned(Key::Logger); break;
    case 6: owned(Key::Alarm); break;
    case 7: owned(Key::Data); break;
    case 8: owned(Key::Display); break;
    default: break;
    }
    r.captureOffered = !(page == 0 && !displayFlag);
}
}  // namespace

const char* lampColourName(LampColour colour)
{
    switch (colour) {
    case LampColour::Blue: return "blue";
    case LampColour::Green: return "green";
    case LampColour::Red: return "red";
    case LampColour::Off: break;
    }
    return "off";
}

KnobLamps knobLampsFor(Key modeKey)
{
    switch (modeKey) {
    case Key::Wfm: return {LampColour::Green, LampColour::Green, LampColour::Off};
    case Key::Audio: return {LampColour::Off, LampColour::Off, LampColour::Green};
    default: return {};
    }
}

std::array<QString, 9> softKeyCaptions(uint8_t page)
{
    const std::array<const char16_t*, 9>* row = &kBlankRow;
    for (const auto& r : kCaptions) {
        if (r.page == page) {
            row = &r.captions;
            break;
        }
    }
    std::array<QString, 9> out;
    for (size_t i = 0; i < 9; ++i)
        out[i] = QString::fromUtf16((*row)[i]);
    return out;
}

StatusReading decodeStatusReply(const uint8_t* reply, bool previousDisplayFlag)
{
    StatusReading r;
    r.statusByte = reply[0];
    r.page = reply[1];
    r.displayFlag = reply[2] & 0x01;
    r.signal = reply[2] & 0x02;
    readPage(r.page, previousDisplayFlag, r);
    const uint8_t s = r.statusByte;
    r.channel = s & 0x02 ? 2 : 1;
    r.eye = s & 0x01;
    const auto lamp = [s](uint8_t bit, LampColour lit) { return s & bit ? lit : LampColour::Off; };
    r.signalLamps = {lamp(0x80, LampColour::Blue), lamp(0x40, LampColour::Blue), lamp(0x20, LampColour::Blue),
                     lamp(0x10, LampColour::Blue), lamp(0x08, LampColour::Red),  lamp(0x04, LampColour::Red)};
    r.softKeys = softKeyCaptions(r.page);
    return r;
}

ScreenHeader decodeScreenHeader(const uint8_t* header)
{
    return {header[0], {header[1], header[2], header[3], header[4]}};
}

}  // namespace qv
