// Vectorscope graticules about the centre (512, 384): the U and V axes with a gap at the centre, the colour
// targets, and for some screens the scale circle with its degree ticks or the marks of a test chart.

#include "render/draw_primitives.h"
#include "render/draw_surface.h"
#include "render/graticules.h"

#include <cmath>
#include <initializer_list>

namespace qv {

using namespace Qt::StringLiterals;

namespace {
struct Pt {
    double x, y;
};
struct Label {
    const char16_t* text;
    double x, y;
};

enum class Cross { Wide, Narrow, LayoutC };

void start(DrawSurface& s, bool tolerance = false)
{
    s.foreColor = palette::Green;
    s.clear();
    s.vector = {512, 384, 13, tolerance};
}

void centreCross(DrawSurface& s, Cross variant)
{
    const double hMid0 = variant == Cross::Wide ? 500 : 498, hMid1 = variant == Cross::Wide ? 526 : 528;
    const double hEnd = variant == Cross::Narrow ? 800 : 832;
    const double vTop = variant == Cross::Narrow ? 109 : 77;
    const double vEnd = variant == Cross::LayoutC ? 700 : 701;
    s.line(189, 384, 483, 384);
    s.line(hMid0, 384, hMid1, 384);
    s.line(541, 384, hEnd, 384);
    s.line(512, vTop, 512, 358);
    s.line(512, 371, 512, 400);
    s.line(512, 413, 512, vEnd);
}

void scaleCircle(DrawSurface& s)
{
    s.circle(512, 384, 310);
}

// Two-degree ticks from radius 300 to 310, then ten-degree ticks from 291 to 320, mirrored about the U axis.
// The step uses 3.14159 as the maker did; the last tick of each loop may or may not repeat the first.
void degreeTicks(DrawSurface& s)
{
    constexpr double c = 3.14159;
    const auto ring = [&s](double step, double outer, double inner) {
        for (double a = 0; a <= 6.28318; a += step) {
            const double ca = std::cos(a), sa = std::sin(a);
            s.line(float(512 + outer * ca), float(384 - outer * sa), float(512 + inner * ca), float(384 - inner * sa));
            s.line(float(512 + outer * ca), float(384 + outer * sa), float(512 + inner * ca), float(384 + inner * sa));
        }
    };
    ring(c / 90, 310, 300);
    ring(c / 18, 320, 291);
}

void targets(DrawSurface& s, std::initializer_list<Pt> points)
{
    for (const Pt& p : points)
        targetBox(s, p.x, p.y);
}

void labels(DrawSurface& s, std::initializer_list<Label> list)
{
    for (const Label& l : list)
        largeText(s, l.x, l.y, QString::fromUtf16(l.text));
}

// The six 75 % targets with tolerance corners, shared by graticules 4 and 5.
const std::initializer_list<Pt> kToleranceTargets = {{317, 342}, {451, 122}, {640, 163},
                                                     {707, 432}, {390, 608}, {579, 653}};

void layoutC(DrawSurface& s)
{
    targets(s, {{253, 360}, {454, 126}, {713, 148}, {771, 408}, {312, 618}, {572, 642}});
    centreCross(s, Cross::LayoutC);
    labels(s, {{u"Y", 192, 342}, {u"R", 422, 64}, {u"M", 746, 96}, {u"U", 819, 352}, {u"B", 810, 397},
               {u"C", 579, 666}, {u"G", 266, 646}, {u"V", 522, 64}});
}
}  // namespace

void drawVector4(DrawSurface& s)
{
    start(s);
    scaleCircle(s);
    degreeTicks(s);
    for (Pt p : {Pt{442, 314}, Pt{422, 294}, Pt{442, 454}, Pt{422, 474}}) {
        s.line(p.x - 6, p.y - 6, p.x + 6, p.y + 6);
        s.line(p.x - 6, p.y + 6, p.x + 6, p.y - 6);
    }
    for (int t = 0; t <= 52; t += 13)
        s.pset(512 - t, 384 - t);
    for (int t = 0; t <= 52; t += 13)
        s.pset(512 - t, 384 + t);
    s.vector.toleranceCorners = true;
    targets(s, kToleranceTargets);
    s.vector.toleranceCorners = false;
    targets(s, {{390, 163}, {579, 122}, {707, 342}, {317, 432}, {451, 653}, {640, 608}});
    centreCross(s, Cross::Wide);
    labels(s, {{u"Y", 269, 320}, {u"g", 346, 166}, {u"R", 448, 141}, {u"cy", 554, 141}, {u"Mg", 672, 182},
               {u"U", 787, 352}, {u"b", 736, 336}, {u"B", 736, 426}, {u"mg", 666, 573}, {u"Cy", 560, 598},
               {u"r", 448, 598}, {u"G", 352, 573}, {u"y", 278, 426}, {u"V", 493, 99}});
}

void drawVector5(DrawSurface& s)
{
    start(s);
    scaleCircle(s);
    s.vector.toleranceCorners = true;
    targets(s, kToleranceTargets);
    centreCross(s, Cross::Wide);
    degreeTicks(s);
    s.line(413, 368, 413, 400);
    s.line(378, 368, 378, 400);
    labels(s, {{u"Y", 269, 320}, {u"R", 448, 141}, {u"Mg", 672, 182}, {u"U", 787, 352}, {u"B", 736, 426},
               {u"Cy", 560, 598}, {u"G", 352, 573}, {u"V", 493, 99}});
}

void drawVector6(DrawSurface& s)
{
    start(s);
    targets(s, {{275, 346}, {432, 147}, {669, 186}, {749, 422}, {355, 582}, {592, 621}});
    centreCross(s, Cross::Narrow);
    labels(s, {{u"Y", 224, 320}, {u"R", 416, 80}, {u"M", 688, 128}, {u"U", 819, 368}, {u"B", 784, 416},
               {u"C", 592, 640}, {u"G", 320, 605}, {u"V", 502, 64}});
}

void drawVector8(DrawSurface& s)
{
    start(s);
    targets(s, {{255, 341}, {426, 126}, {682, 168}, {770, 426}, {341, 600}, {599, 642}});
    centreCross(s, Cross::Narrow);
    labels(s, {{u"Y", 198, 320}, {u"R", 390, 68}, {u"M", 698, 108}, {u"U", 819, 368}, {u"B", 810, 432},
               {u"C", 602, 666}, {u"G", 310, 630}, {u"V", 502, 64}});
}

void drawVector9(DrawSurface& s)
{
    start(s);
    layoutC(s);
}

void drawVector7(DrawSurface& s)
{
    start(s);
    layoutC(s);
    // The ChromaDuMonde chart's colour patches, at their half-pixel positions.
    static const Pt kMarks[] = {{302, 301.5},   {351.5, 241.5}, {402.5, 183}, {518, 129},     {582.5, 135},
                                {648.5, 141},   {728, 213},     {743, 277.5}, {758, 342},     {722, 466.5},
                                {672.5, 526.5}, {621.5, 585},   {506, 639},   {441.5, 633},   {375.5, 627},
                                {296, 555},     {281, 490.5},   {266, 426},   {417.5, 247.5}, {440, 282},
                                {464, 316.5},   {428, 298.5}};
    for (const Pt& p : kMarks)
        plusMark(s, p.x, p.y);
    largeText(s, 40, 56, u"ChromaDuMonde"_s);
}

}  // namespace qv
