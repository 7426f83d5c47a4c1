// Waveform graticules: amplitude lines with the scale at the right edge, rows of short ticks, and a time
// ruler across the middle.

#include "render/draw_primitives.h"
#include "render/draw_surface.h"
#include "render/graticules.h"

namespace qv {

using namespace Qt::StringLiterals;

namespace {
void start(DrawSurface& s)
{
    s.foreColor = palette::Green;
    s.clear();
}

// Long tick at x, four short ticks every 12 pixels, long tick at x + 60 (the next step's first).
void tickRuler(DrawSurface& s, int from, int to, double yA, double yB, double yC, double yD)
{
    for (int x = from; x <= to; x += 60) {
        s.line(x, yA, x, yB);
        for (int k = 1; k <= 4; ++k)
            s.line(x + 12 * k, yC, x + 12 * k, yD);
        s.line(x + 60, yA, x + 60, yB);
    }
}

void tick(DrawSurface& s, int x, double y)
{
    s.line(x - 6, y, x + 6, y);
}

struct Label {
    const char16_t* text;
    double x, y;
};

template <size_t N>
void labels(DrawSurface& s, const Label (&list)[N])
{
    for (const auto& l : list)
        largeText(s, l.x, l.y, QString::fromUtf16(l.text));
}
}  // namespace

void drawWaveform1(DrawSurface& s)
{
    start(s);
    for (int y = 96; y <= 717; y += 45)
        s.line(0, y, 1024, y);
    for (int x = 26; x <= 992; x += 32) {
        tick(s, x, 344);
        tick(s, x, 658);
    }
    s.box(518, 163, 614, 208);
    s.line(566, 163, 566, 208);
    for (int x = 526; x <= 614; x += 10) {
        s.pset(x, 173);
        s.pset(x, 199);
    }
    s.line(441, 434, 506, 434);
    s.line(441, 568, 506, 568);
    tickRuler(s, 50, 944, 488, 514, 495, 508);
    static const Label kLabels[] = {{u"1.0", 976, 164}, {u".9", 992, 208}, {u".8", 992, 253}, {u".7", 992, 298},
                                    {u".6", 992, 342},  {u".5", 992, 387}, {u".4", 992, 432}, {u".3", 992, 474},
                                    {u".2", 992, 518},  {u".1", 992, 563}, {u"0", 992, 608}};
    labels(s, kLabels);
}

void drawWaveform2(DrawSurface& s)
{
    start(s);
    s.line(0, 122, 1024, 122);
    for (int y = 154; y <= 672; y += 64)
        s.line(0, y, 1024, y);
    for (int y = 186; y <= 672; y += 64)
        s.line(0, y, 960, y);
    for (int x = 32; x <= 960; x += 32)
        tick(s, x, 483);
    tickRuler(s, 30, 900, 493, 518, 499, 512);
    static const Label kLabels[] = {{u"100", 970, 172}, {u"80", 981, 236}, {u"60", 981, 300},  {u"40", 981, 364},
                                    {u"20", 981, 428},  {u"0", 981, 492},  {u"-20", 971, 556}, {u"-40", 971, 620}};
    labels(s, kLabels);
}

void drawWaveform3(DrawSurface& s)
{
    start(s);
    for (int y : {128, 390, 653})
        s.line(0, y, 1024, y);
    for (int y : {202, 278, 352, 429, 502, 579})
        s.line(32, y, 992, y);
    for (int x = 32; x <= 1008; x += 32)
        for (int y : {83, 192, 589, 691})
            tick(s, x, y);
    tickRuler(s, 40, 900, 378, 403, 384, 397);
    static const Label kLabels[] = {{u"100%", 954, 106}, {u"50%", 970, 368}, {u"0", 986, 631}};
    labels(s, kLabels);
}

}  // namespace qv
