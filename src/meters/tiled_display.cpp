#include "meters/tiled_display.h"

#include "meters/meter_scales.h"
#include "render/draw_primitives.h"
#include "render/draw_surface.h"

namespace qv {

using namespace Qt::StringLiterals;

void drawTileWaveform(DrawSurface& s)
{
    s.foreColor = palette::Green;
    s.clear();
    for (int y : {64, 195, 326})
        s.line(0, y, 512, y);
    for (int y : {101, 139, 176, 214, 251, 290})
        s.line(16, y, 496, y);
    for (int x = 16; x <= 504; x += 16)
        for (int y : {41, 96, 295, 345})
            s.line(x - 3, y, x + 3, y);
    for (int x = 20; x <= 460; x += 30) {
        s.line(x, 190, x, 200);
        for (int d = 6; d <= 24; d += 6)
            s.line(x + d, 192, x + d, 198);
        s.line(x + 30, 190, x + 30, 200);
    }
    smallText(s, 477, 52, u"100%"_s);
    smallText(s, 485, 183, u"50%"_s);
    smallText(s, 493, 314, u"0"_s);
}

void drawTileVector(DrawSurface& s, bool bt709)
{
    // 75 % colour bars as BT.601 and as BT.709 colour difference places them, yellow, red, magenta, blue,
    // green, cyan; then the labels Y R M U B C G V.
    struct Pt {
        double x, y;
    };
    static constexpr Pt k601[6] = {{639, 170}, {725, 63}, {853, 83}, {897, 213}, {681, 300}, {810, 321}};
    static constexpr Pt k709[6] = {{639, 180}, {739, 63}, {867, 74}, {897, 203}, {669, 308}, {797, 321}};
    static constexpr Pt kLabels601[8] = {{611, 160}, {707, 32},  {861, 51},  {922, 184},
                                         {917, 216}, {813, 333}, {667, 315}, {763, 32}};
    static constexpr Pt kLabels709[8] = {{608, 171}, {723, 32},  {885, 48},  {922, 176},
                                         {917, 199}, {802, 333}, {645, 323}, {773, 32}};
    static const char16_t* const kNames[8] = {u"Y", u"R", u"M", u"U", u"B", u"C", u"G", u"V"};

    s.vector = {768, 192, 6, false};
    for (const Pt& p : bt709 ? k709 : k601)
        targetBox(s, p.x, p.y);
    s.line(607, 192, 754, 192);
    s.line(761, 192, 776, 192);
    s.line(782, 192, 912, 192);
    s.line(768, 54, 768, 179);
    s.line(768, 186, 768, 200);
    s.line(768, 206, 768, 350);
    const Pt* labels = bt709 ? kLabels709 : kLabels601;
    for (int i = 0; i < 8; ++i)
        smallText(s, labels[i].x, labels[i].y, QString::fromUtf16(kNames[i]));
}

void drawTiledDisplay(DrawSurface& s, int code)
{
    if (code < 20 || code > 33)
        return;
    // The tiled order of scales differs from the full-screen one: NORDIC comes before EBU.
    static constexpr AudioScale kOrder[7] = {AudioScale::Bbc,     AudioScale::Vu,  AudioScale::Nordic, AudioScale::Ebu,
                                             AudioScale::Digital, AudioScale::Din, AudioScale::ExpandDin};
    drawTileWaveform(s);
    drawTileVector(s, code >= 27);
    drawSmallScale(s, kOrder[(code - 20) % 7]);
}

}  // namespace qv
