#include "meters/meter_scales.h"

#include "render/draw_primitives.h"
#include "render/draw_surface.h"

#include <initializer_list>

namespace qv {

using namespace Qt::StringLiterals;

namespace {
struct Mark {
    double y;
    bool dashed;
};
struct Number {
    const char16_t* text;
    double y;
};
struct Scale {
    const char16_t* fullTitle;
    const char16_t* smallTitle;
    std::initializer_list<Mark> ticks;  // in drawing order (ascending y; dashed ticks in their place)
    std::initializer_list<Number> numbers;
};

// Full-screen positions; the small meter puts each at y / 2 + 350. BBC, VU and EBU have a top number with no
// tick; DIGITAL and DIN have one dashed tick at the alignment level.
const Scale& scaleOf(AudioScale a)
{
    static const Scale kBbc{u"BBC SCALE", u"BBC SCALE",
                            {{166, false}, {252, false}, {336, false}, {406, false}, {496, false}, {572, false}},
                            {{u"7", 92}, {u"6", 166}, {u"5", 252}, {u"4", 336}, {u"3", 406}, {u"2", 496}, {u"1", 572}}};
    static const Scale kVu{u"VU SCALE", u"VU SCALE",
                           {{214, false}, {310, false}, {390, false}, {470, false}, {550, false}},
                           {{u"+3", 90}, {u"0", 214}, {u"-3", 310}, {u"-6", 390}, {u"10", 470}, {u"20", 550}}};
    static const Scale kEbu{u"EBU SCALE", u"EBU SCALE",
                            {{166, false}, {252, false}, {336, false}, {406, false}, {496, false}, {572, false}},
                            {{u"12", 92}, {u"8", 166}, {u"4", 252}, {u"0", 336}, {u"4", 406}, {u"8", 496}, {u"12", 572}}};
    static const Scale kNordic{
        u"NORDIC", u"NORDIC SCALE",
        {{147, false}, {205, false}, {270, false}, {336, false}, {387, false}, {448, false}, {506, false}, {572, false}},
        {{u"9", 147}, {u"6", 205}, {u"3", 270}, {u"0", 336}, {u"-3", 387}, {u"-6", 448}, {u"-9", 506}, {u"12", 572}}};
    static const Scale kDigital{u"DIGITAL", u"DIGITAL SCALE",
                                {{166, false}, {269, false}, {336, true}, {371, false}, {467, false}, {572, false}},
                                {{u"10", 166}, {u"15", 269}, {u"20", 371}, {u"25", 467}, {u"30", 572}}};
    static const Scale kDin{u"DIN SCALE", u"DIN SCALE",
                            {{150, false}, {252, false}, {336, true}, {352, false}, {448, false}, {547, false}},
                            {{u"0", 150}, {u"5", 252}, {u"10", 352}, {u"15", 448}, {u"20", 547}}};
    switch (a) {
    case AudioScale::Bbc: return kBbc;
    case AudioScale::Vu: return kVu;
    case AudioScale::Ebu: return kEbu;
    case AudioScale::Nordic: return kNordic;
    case AudioScale::Digital: return kDigital;
    case AudioScale::Din: return kDin;
    case AudioScale::ExpandDin: break;
    }
    return kBbc;  // EXPAND DIN has its own lists below
}

void dashes(DrawSurface& s, double y, std::initializer_list<int> starts, int length)
{
    for (int x : starts)
        s.line(x, y, x + length, y);
}
}  // namespace

void DrawMeterTick(DrawSurface& s, double y)
{
    s.line(44, y, 70, y);
    s.line(124, y, 150, y);  // one pixel right of its outline, as on the instrument
    s.line(860, y, 886, y);
    s.line(939, y, 965, y);
}

void DrawMeterDashTick(DrawSurface& s, double y)
{
    dashes(s, y, {46, 52, 58, 64, 127, 133, 139, 145, 864, 870, 876, 882, 943, 949, 955, 961}, 3);
}

void PrintMeterNumber14(DrawSurface& s, double y, const char16_t* text)
{
    s.setFont(u"MS Sans Serif"_s, 14);
    const QString t = QString::fromUtf16(text);
    s.currentX = 86;
    s.currentY = y - 16;
    s.print(t);
    s.currentX = 900;
    s.currentY = y - 16;
    s.print(t);
}

void DrawTileMeterTick(DrawSurface& s, double y)
{
    s.line(20, y, 32, y);
    s.line(60, y, 72, y);
    s.line(428, y, 440, y);
    s.line(468, y, 480, y);
}

void DrawTileMeterDashTick(DrawSurface& s, double y)
{
    dashes(s, y, {20, 23, 26, 29, 60, 63, 66, 69, 428, 431, 434, 437, 468, 471, 474, 477}, 1);
}

void PrintMeterNumber8(DrawSurface& s, double y, const char16_t* text)
{
    s.setFont(u"MS Sans Serif"_s, 8);
    const QString t = QString::fromUtf16(text);
    s.currentX = 42;
    s.currentY = y - 8;
    s.print(t);
    s.currentX = 449;
    s.currentY = y - 8;
    s.print(t);
}

void drawFullMeterFrame(DrawSurface& s)
{
    s.clear();
    for (int k = 0; k <= 12; ++k)
        s.line(518 + 22 * k, 378 + 22 * k, 524 + 22 * k, 384 + 22 * k);
    for (int k = 0; k <= 12; ++k)
        s.line(518 - 22 * k, 378 - 22 * k, 512 - 22 * k, 372 - 22 * k);
    largeText(s, 225, 80, u"L"_s);
    for (int k = 0; k <= 12; ++k)
        s.line(518 + 22 * k, 378 - 22 * k, 524 + 22 * k, 372 - 22 * k);
    for (int k = 0; k <= 12; ++k)
        s.line(518 - 22 * k, 378 + 22 * k, 512 - 22 * k, 384 + 22 * k);
    largeText(s, 800, 80, u"R"_s);
    s.box(44, 86, 70, 662);
    s.box(123, 86, 149, 662);
    s.box(860, 86, 886, 662);
    s.box(939, 86, 965, 662);
    largeText(s, 60, 50, u"Ch 1 & 2"_s);
    largeText(s, 870, 50, u"Ch 3 & 4"_s);
    largeText(s, 54, 666, u"L"_s);
    largeText(s, 128, 666, u"R"_s);
    largeText(s, 870, 666, u"L"_s);
    largeText(s, 945, 666, u"R"_s);
}

void drawSmallMeterFrame(DrawSurface& s)
{
    for (int k = 0; k <= 11; ++k)
        s.line(259 + 11 * k, 572 + 11 * k, 262 + 11 * k, 575 + 11 * k);
    for (int k = 0; k <= 11; ++k)
        s.line(259 - 11 * k, 572 - 11 * k, 256 - 11 * k, 569 - 11 * k);
    smallText(s, 125, 430, u"L"_s);
    for (int k = 0; k <= 11; ++k)
        s.line(259 + 11 * k, 572 - 11 * k, 262 + 11 * k, 569 - 11 * k);
    for (int k = 0; k <= 11; ++k)
        s.line(259 - 11 * k, 572 + 11 * k, 256 - 11 * k, 575 + 11 * k);
    smallText(s, 390, 430, u"R"_s);
    s.box(19, 396, 31, 681);
    s.box(59, 396, 71, 681);
    s.box(427, 396, 439, 681);
    s.box(467, 396, 479, 681);
    smallText(s, 26, 375, u"Ch 1 & 2"_s);
    smallText(s, 433, 375, u"Ch 3 & 4"_s);
    smallText(s, 25, 683, u"L"_s);
    smallText(s, 62, 683, u"R"_s);
    smallText(s, 433, 683, u"L"_s);
    smallText(s, 470, 683, u"R"_s);
}

void drawFullScale(DrawSurface& s, AudioScale scale)
{
    s.foreColor = qb::Yellow;
    drawFullMeterFrame(s);
    if (scale == AudioScale::ExpandDin) {
        largeText(s, 400, 44.8, u"EXPAND DIN"_s);
        // The expanded zone at the top of each bar, beside both edges of its outline.
        s.fillBox(41, 86, 44, 214);
        s.fillBox(70, 86, 73, 214);
        s.fillBox(120, 86, 122, 214);
        s.fillBox(149, 86, 152, 214);
        s.fillBox(857, 86, 860, 214);
        s.fillBox(886, 86, 889, 214);
        s.fillBox(936, 86, 939, 214);
        s.fillBox(965, 86, 968, 214);
        for (double y : {94.4, 134.4, 174.4})
            DrawMeterDashTick(s, y);
        DrawMeterTick(s, 214.4);
        for (double y : {254.4, 296.0, 336.0, 377.6})
            DrawMeterDashTick(s, y);
        DrawMeterTick(s, 419.2);
        for (double y : {459.2, 499.2, 539.2, 579.2})
            DrawMeterDashTick(s, y);
        DrawMeterTick(s, 617.6);
        PrintMeterNumber14(s, 214.4, u"0");
        PrintMeterNumber14(s, 419.2, u"5");
        PrintMeterNumber14(s, 617.6, u"10");
        return;
    }
    const Scale& sc = scaleOf(scale);
    largeText(s, 470, 50, QString::fromUtf16(sc.fullTitle));
    for (const Mark& m : sc.ticks) {
        if (m.dashed)
            DrawMeterDashTick(s, m.y);
        else
            DrawMeterTick(s, m.y);
    }
    for (const Number& n : sc.numbers)
        PrintMeterNumber14(s, n.y, n.text);
}

void drawSmallScale(DrawSurface& s, AudioScale scale)
{
    drawSmallMeterFrame(s);
    const auto small = [](double y) { return y / 2 + 350; };
    if (scale == AudioScale::ExpandDin) {
        smallText(s, 233, 375, u"EXPAND DIN"_s);
        s.fillBox(17, 396, 19, 457);
        s.fillBox(31, 396, 33, 457);
        s.fillBox(57, 396, 59, 457);
        s.fillBox(71, 396, 73, 457);
        s.fillBox(425, 396, 427, 457);
        s.fillBox(439, 396, 441, 457);
        s.fillBox(465, 396, 467, 457);
        s.fillBox(479, 396, 481, 457);
        for (double y : {134.0, 174.0})
            DrawTileMeterDashTick(s, small(y));
        DrawTileMeterTick(s, small(214));
        for (double y : {254.0, 296.0, 336.0, 378.0})
            DrawTileMeterDashTick(s, small(y));
        DrawTileMeterTick(s, small(419));
        for (double y : {459.0, 499.0, 539.0, 579.0})
            DrawTileMeterDashTick(s, small(y));
        DrawTileMeterTick(s, small(618));
        PrintMeterNumber8(s, small(214), u"0");
        PrintMeterNumber8(s, small(419), u"5");
        PrintMeterNumber8(s, small(618), u"10");
        return;
    }
    const Scale& sc = scaleOf(scale);
    const bool wide = scale == AudioScale::Nordic || scale == AudioScale::Digital;
    smallText(s, wide ? 223 : 233, 375, QString::fromUtf16(sc.smallTitle));
    for (const Mark& m : sc.ticks) {
        if (m.dashed)
            DrawTileMeterDashTick(s, small(m.y));
        else
            DrawTileMeterTick(s, small(m.y));
    }
    for (const Number& n : sc.numbers)
        PrintMeterNumber8(s, small(n.y), n.text);
}

}  // namespace qv
