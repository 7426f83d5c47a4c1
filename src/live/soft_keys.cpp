#include "live/soft_keys.h"

#include "state/panel_model.h"

namespace qv {

namespace {
struct Row {
    int code;
    std::array<const char16_t*, 9> captions;
};

// The instrument's own captions. The blanks in front of some are deliberate: they centre short words under
// the key on the instrument's panel, and the drawn panel keeps them.
constexpr Row kRows[] = {
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
}  // namespace

std::array<QString, 9> softKeyCaptions(uint8_t modeCode)
{
    const std::array<const char16_t*, 9>* row = &kBlankRow;
    for (const auto& r : kRows) {
        if (r.code == modeCode) {
            row = &r.captions;
            break;
        }
    }
    std::array<QString, 9> out;
    for (size_t i = 0; i < 9; ++i)
        out[i] = QString::fromUtf16((*row)[i]);
    return out;
}

void SetSoftKeyLabels(uint8_t modeCode, PanelModel& panel)
{
    const auto captions = softKeyCaptions(modeCode);
    for (int n = 1; n <= 9; ++n)
        panel.setCaption(n, captions[size_t(n - 1)]);
}

}  // namespace qv
