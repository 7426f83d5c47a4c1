#include "meters/meter_scales.h"

#include "render/draw_primitives.h"
#include "render/draw_surface.h"
#include "render/fonts.h"

#include <QPointF>
#include <QRectF>

#include <array>
#include <initializer_list>
#include <utility>

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

namespace {
// One tick across all four bars: each segment from its left x, the given length.
void barTicks(DrawSurface& s, double y, const std::array<double, 4>& left, double length)
{
    for (double x : left)
        s.line(x, y, x + length, y);
}

// A scale number is printed twice, between the bars of each pair, its top a little above the tick.
void numberPair(DrawSurface& s, double points, double xLeft, double xRight, double top, const char16_t* text)
{
    s.setFont(kPanelFont, points);
    const QString t = QString::fromUtf16(text);
    for (double x : {xLeft, xRight}) {
        s.currentX = x;
        s.currentY = top;
        s.print(t);
    }
}
}  // namespace

void DrawMeterTick(DrawSurface& s, double y)
{
    barTicks(s, y, {44, 124, 860, 939}, 26);  // the second one pixel right of its outline, as on the instrument
}

void DrawMeterDashTick(DrawSurface& s, double y)
{
    dashes(s, y, {46, 52, 58, 64, 127, 133, 139, 145, 864, 870, 876, 882, 943, 949, 955, 961}, 3);
}

void PrintMeterNumber14(DrawSurface& s, double y, const char16_t* text)
{
    numberPair(s, 14, 86, 900, y - 16, text);
}

void DrawTileMeterTick(DrawSurface& s, double y)
{
    barTicks(s, y, {20, 60, 428, 468}, 12);
}

void DrawTileMeterDashTick(DrawSurface& s, double y)
{
    dashes(s, y, {20, 23, 26, 29, 60, 63, 66, 69, 428, 431, 434, 437, 468, 471, 474, 477}, 1);
}

void PrintMeterNumber8(DrawSurface& s, double y, const char16_t* text)
{
    numberPair(s, 8, 42, 449, y - 8, text);
}

namespace {
// The meter frame and scale in one of their two sizes: the full screen, or the lower-left quarter of the tiled
// display at half size.
struct MeterLayout {
    void (*text)(DrawSurface&, double, double, const QString&);
    void (*tick)(DrawSurface&, double);
    void (*dash)(DrawSurface&, double);
    void (*number)(DrawSurface&, double, const char16_t*);
    double crossX, crossY;   // centre of the phase-display cross
    int step, stroke, last;  // its strokes: every step pixels, stroke pixels long, k = 0..last
    double leftX, rightX, lrY;
    std::array<QRectF, 4> bars;
    std::array<QPointF, 6> captions;  // Ch 1 & 2, Ch 3 & 4, L, R, L, R
    double titleY, expandTitleX, expandTitleY;
    double zoneTop, zoneBottom;
    std::array<std::pair<double, double>, 8> zones;  // left and right x of the EXPAND DIN zone marks
    double (*position)(double);                      // full-screen scale position -> this size
};

double fullSize(double y) { return y; }
double halfSize(double y) { return y / 2 + 350; }

const MeterLayout kFull{largeText, DrawMeterTick, DrawMeterDashTick, PrintMeterNumber14,
                        518, 378, 22, 6, 12, 225, 800, 80,
                        {QRectF(QPointF(44, 86), QPointF(70, 662)), QRectF(QPointF(123, 86), QPointF(149, 662)),
                         QRectF(QPointF(860, 86), QPointF(886, 662)), QRectF(QPointF(939, 86), QPointF(965, 662))},
                        {QPointF(60, 50), QPointF(870, 50), QPointF(54, 666), QPointF(128, 666), QPointF(870, 666),
                         QPointF(945, 666)},
                        50, 400, 44.8, 86, 214,
                        {{{41, 44}, {70, 73}, {120, 122}, {149, 152}, {857, 860}, {886, 889}, {936, 939}, {965, 968}}},
                        fullSize};
const MeterLayout kSmall{smallText, DrawTileMeterTick, DrawTileMeterDashTick, PrintMeterNumber8,
                         259, 572, 11, 3, 11, 125, 390, 430,
                         {QRectF(QPointF(19, 396), QPointF(31, 681)), QRectF(QPointF(59, 396), QPointF(71, 681)),
                          QRectF(QPointF(427, 396), QPointF(439, 681)), QRectF(QPointF(467, 396), QPointF(479, 681))},
                         {QPointF(26, 375), QPointF(433, 375), QPointF(25, 683), QPointF(62, 683), QPointF(433, 683),
                          QPointF(470, 683)},
                         375, 233, 375, 396, 457,
                         {{{17, 19}, {31, 33}, {57, 59}, {71, 73}, {425, 427}, {439, 441}, {465, 467}, {479, 481}}},
                         halfSize};

void drawFrame(DrawSurface& s, const MeterLayout& m)
{
    const double x = m.crossX, y = m.crossY, d = m.stroke;
    // Four arms of short 45-degree strokes pointing away from the centre: first the down-right/up-left pair.
    for (int k = 0; k <= m.last; ++k)
        s.line(x + m.step * k, y + m.step * k, x + d + m.step * k, y + d + m.step * k);
    for (int k = 0; k <= m.last; ++k)
        s.line(x - m.step * k, y - m.step * k, x - d - m.step * k, y - d - m.step * k);
    m.text(s, m.leftX, m.lrY, u"L"_s);
    for (int k = 0; k <= m.last; ++k)
        s.line(x + m.step * k, y - m.step * k, x + d + m.step * k, y - d - m.step * k);
    for (int k = 0; k <= m.last; ++k)
        s.line(x - m.step * k, y + m.step * k, x - d - m.step * k, y + d + m.step * k);
    m.text(s, m.rightX, m.lrY, u"R"_s);
    for (const QRectF& b : m.bars)
        s.box(b.left(), b.top(), b.right(), b.bottom());
    static const char16_t* const kCaptions[6] = {u"Ch 1 & 2", u"Ch 3 & 4", u"L", u"R", u"L", u"R"};
    for (size_t i = 0; i < 6; ++i)
        m.text(s, m.captions[i].x(), m.captions[i].y(), QString::fromUtf16(kCaptions[i]));
}

void drawScale(DrawSurface& s, const MeterLayout& m, AudioScale scale, bool small)
{
    if (scale == AudioScale::ExpandDin) {
        m.text(s, m.expandTitleX, m.expandTitleY, u"EXPAND DIN"_s);
        // The expanded zone at the top of each bar, beside both edges of its outline.
        for (const auto& [left, right] : m.zones)
            s.fillBox(left, m.zoneTop, right, m.zoneBottom);
        // The small meter has no counterpart of the full-screen dashed tick at 94.4.
        const std::initializer_list<Mark> fullTicks = {
            {94.4, true}, {134.4, true}, {174.4, true}, {214.4, false}, {254.4, true}, {296, true}, {336, true},
            {377.6, true}, {419.2, false}, {459.2, true}, {499.2, true}, {539.2, true}, {579.2, true}, {617.6, false}};
        const std::initializer_list<Mark> smallTicks = {
            {134, true}, {174, true}, {214, false}, {254, true}, {296, true}, {336, true}, {378, true},
            {419, false}, {459, true}, {499, true}, {539, true}, {579, true}, {618, false}};
        for (const Mark& t : small ? smallTicks : fullTicks)
            (t.dashed ? m.dash : m.tick)(s, m.position(t.y));
        const std::initializer_list<Number> fullNumbers = {{u"0", 214.4}, {u"5", 419.2}, {u"10", 617.6}};
        const std::initializer_list<Number> smallNumbers = {{u"0", 214}, {u"5", 419}, {u"10", 618}};
        for (const Number& n : small ? smallNumbers : fullNumbers)
            m.number(s, m.position(n.y), n.text);
        return;
    }
    const Scale& sc = scaleOf(scale);
    const bool wide = small && (scale == AudioScale::Nordic || scale == AudioScale::Digital);
    m.text(s, small ? (wide ? 223 : 233) : 470, m.titleY, QString::fromUtf16(small ? sc.smallTitle : sc.fullTitle));
    for (const Mark& t : sc.ticks)
        (t.dashed ? m.dash : m.tick)(s, m.position(t.y));
    for (const Number& n : sc.numbers)
        m.number(s, m.position(n.y), n.text);
}
}  // namespace

void drawFullMeterFrame(DrawSurface& s)
{
    s.clear();
    drawFrame(s, kFull);
}

void drawSmallMeterFrame(DrawSurface& s)
{
    drawFrame(s, kSmall);
}

void drawFullScale(DrawSurface& s, AudioScale scale)
{
    s.foreColor = palette::Yellow;
    drawFullMeterFrame(s);
    drawScale(s, kFull, scale, false);
}

void drawSmallScale(DrawSurface& s, AudioScale scale)
{
    drawSmallMeterFrame(s);
    drawScale(s, kSmall, scale, true);
}

}  // namespace qv
