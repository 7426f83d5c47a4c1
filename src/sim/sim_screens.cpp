#include "sim/sim_screens.h"

#include <QFont>
#include <QPainter>

#include <array>
#include <cmath>

namespace qv {

using namespace Qt::StringLiterals;

namespace {
// Picture columns are screen columns + 2: the graticules are drawn in picture coordinates, so traces are too.
constexpr int kColumnOffset = 2;

// 75 % colour bars: luma (0..1 of white) and chroma amplitude, white to black.
constexpr std::array<double, 8> kLuma = {0.75, 0.665, 0.526, 0.440, 0.310, 0.224, 0.085, 0.0};
constexpr std::array<double, 8> kChroma = {0, 0.336, 0.472, 0.441, 0.441, 0.472, 0.336, 0};

struct Canvas {
    QImage img;
    uint32_t rng;
    explicit Canvas(uint32_t seed) : img(kSimScreenWidth, kSimScreenHeight, QImage::Format_Grayscale8), rng(seed | 1)
    {
        img.fill(0);
    }
    uint32_t next()
    {
        rng ^= rng << 13;
        rng ^= rng >> 17;
        rng ^= rng << 5;
        return rng;
    }
    double noise(double amplitude) { return amplitude * ((next() % 2001) / 1000.0 - 1.0); }
    // Plots at picture coordinates; brighter wins where traces overlap, as on a phosphor.
    void plot(double px, double py, int level)
    {
        const int x = int(std::lround(px)) - kColumnOffset, y = int(std::lround(py));
        if (x < 0 || y < 0 || x >= img.width() || y >= img.height())
            return;
        uchar& v = img.scanLine(y)[x];
        v = uchar(std::max<int>(v, std::clamp(level, 0, 255)));
    }
    void dot(double cx, double cy, double radius, int level, int count)
    {
        for (int i = 0; i < count; ++i) {
            const double a = (next() % 6283) / 1000.0, r = radius * std::sqrt((next() % 1000) / 1000.0);
            plot(cx + r * std::cos(a), cy + r * std::sin(a), level);
        }
    }
    void segment(double x1, double y1, double x2, double y2, int level)
    {
        const int n = int(std::max(std::abs(x2 - x1), std::abs(y2 - y1))) + 1;
        for (int i = 0; i <= n; ++i)
            plot(x1 + (x2 - x1) * i / n, y1 + (y2 - y1) * i / n, level);
    }
};

// One television line of colour bars, drawn between picture columns x0 and x1; yOf maps a level in units of
// white (sync below 0) to a row. withChroma adds the subcarrier envelope of a composite signal.
template <typename YOf>
void barsWaveform(Canvas& c, double x0, double x1, YOf yOf, bool withSync, bool withChroma)
{
    const double w = x1 - x0;
    for (double x = x0; x <= x1; x += 0.5) {
        const double t = (x - x0) / w;  // 0..1 across the line
        double level = 0, chroma = 0;
        if (withSync && t < 0.045)
            level = -0.43;  // sync tip
        else if (t >= 0.11 && t < 0.98) {
            const int bar = std::min(7, int((t - 0.11) / 0.87 * 8));
            level = kLuma[size_t(bar)];
            chroma = withChroma ? kChroma[size_t(bar)] : 0;
        } else if (withSync && withChroma && t > 0.06 && t < 0.095) {
            chroma = 0.2;  // colour burst on the back porch
        }
        if (chroma > 0) {
            const double top = yOf(level + chroma), bottom = yOf(level - chroma);
            // The subcarrier fills the band faintly; its crests draw the bright edges.
            for (double y = top; y <= bottom; y += 1)
                if (c.next() % 100 < 30)
                    c.plot(x, y + c.noise(0.6), 70);
            c.plot(x, top + c.noise(0.5), 220);
            c.plot(x, bottom + c.noise(0.5), 220);
        } else {
            c.plot(x, yOf(level) + c.noise(0.7), 255);
            c.plot(x, yOf(level) + 1 + c.noise(0.7), 180);
        }
    }
}

struct Pt {
    double x, y;
};

// Dots on the six targets in bar order (yellow, cyan, green, magenta, red, blue) with the transitions through
// the centre, as colour bars draw them. Targets come in the graticules' order: Y R M B G C.
void barsVector(Canvas& c, const std::array<Pt, 6>& t, Pt centre, double dotRadius)
{
    const std::array<Pt, 8> path = {centre, t[0], t[5], t[4], t[2], t[1], t[3], centre};
    for (size_t i = 0; i + 1 < path.size(); ++i)
        c.segment(path[i].x, path[i].y, path[i + 1].x, path[i + 1].y, 100);
    for (const Pt& p : t)
        c.dot(p.x, p.y, dotRadius, 255, int(dotRadius * dotRadius * 6));
    c.dot(centre.x, centre.y, dotRadius, 255, int(dotRadius * dotRadius * 6));
}

void phaseDisplay(Canvas& c, Pt centre, double size, uint32_t frame)
{
    // Nearly mono programme: the trace stands upright, widened by a little stereo.
    for (int i = 0; i < 5000; ++i) {
        const double t = i * 0.013 + frame * 0.7;
        const double l = std::sin(t) * (0.6 + 0.3 * std::sin(t * 0.07)) + c.noise(0.08);
        const double r = std::sin(t + 0.25) * (0.6 + 0.3 * std::sin(t * 0.07)) + c.noise(0.08);
        c.plot(centre.x + (r - l) * size * 0.7, centre.y - (l + r) * size * 0.5, 200);
    }
}

void textPage(Canvas& c, const QStringList& lines)
{
    QPainter p(&c.img);
    QFont f(u"DejaVu Sans Mono"_s);
    f.setStyleHint(QFont::Monospace);
    f.setPixelSize(24);
    p.setFont(f);
    p.setPen(QColor(255, 255, 255));
    int y = 90;
    for (const QString& line : lines) {
        p.drawText(QPointF(80, y), line);
        y += 40;
    }
}

QStringList pageText(int page)
{
    switch (page) {
    case 5: case 10:
        return {u"ERROR LOGGER"_s, QString(), u"LOGGING    ON"_s, u"EVENTS     31"_s, u"CLOCK      08:14"_s,
                u"LAST       CH1 LOSS OF VIDEO"_s};
    case 6:
        return {u"ALARMS"_s, QString(), u"ILLEGAL GAMUT      ON"_s, u"GAMUT LIMIT        3%"_s,
                u"LOCK               OFF"_s, u"ANC CHECKSUM       ON"_s, u"CCR/FCR            ON"_s, u"TRS ERRORS         ON"_s};
    case 7:
        return {u"DATA"_s, QString(), u"INPUT      SDI 625/50"_s, u"EDH        AP 0  FF 0"_s, u"CRC Y      0"_s,
                u"CRC C      0"_s, u"LINE       1728 WORDS"_s};
    default:
        return {u"DISPLAY"_s, QString(), u"SCALE      100%"_s, u"H DELAY    OFF"_s, u"GAMUT      -5 dB"_s,
                u"SAFE AREA  16:9"_s, u"TILE       OFF"_s};
    }
}

void pictureBars(Canvas& c, double x0, double y0, double x1, double y1)
{
    for (int bar = 0; bar < 8; ++bar) {
        const int level = int(std::lround(kLuma[size_t(bar)] / 0.75 * 220));
        const double bx0 = x0 + (x1 - x0) * bar / 8, bx1 = x0 + (x1 - x0) * (bar + 1) / 8;
        for (double y = y0; y <= y1; y += 1)
            for (double x = bx0; x < bx1; x += 1)
                c.plot(x, y, level);
    }
}

constexpr std::array<Pt, 6> kTolerance = {{{317, 342}, {451, 122}, {640, 163}, {707, 432}, {390, 608}, {579, 653}}};
constexpr std::array<Pt, 6> kLayoutA = {{{275, 346}, {432, 147}, {669, 186}, {749, 422}, {355, 582}, {592, 621}}};
constexpr std::array<Pt, 6> kLayoutB = {{{255, 341}, {426, 126}, {682, 168}, {770, 426}, {341, 600}, {599, 642}}};
constexpr std::array<Pt, 6> kLayoutC = {{{253, 360}, {454, 126}, {713, 148}, {771, 408}, {312, 618}, {572, 642}}};
constexpr std::array<Pt, 6> kTile601 = {{{639, 170}, {725, 63}, {853, 83}, {897, 213}, {681, 300}, {810, 321}}};
constexpr std::array<Pt, 6> kTile709 = {{{639, 180}, {739, 63}, {867, 74}, {897, 203}, {669, 308}, {797, 321}}};
}  // namespace

QImage simScreen(int code, int page, uint32_t frame)
{
    Canvas c(0x9E3779B9u ^ (uint32_t(code) << 8) ^ frame);
    switch (code) {
    case 1:
        barsWaveform(c, 20, 1010, [](double v) { return 636 - 450 * (0.3 + 0.7 * v / 1.0); }, true, true);
        break;
    case 2:
        barsWaveform(c, 20, 1010, [](double v) { return 506 - 3.2 * 100 * v / 1.0; }, true, true);
        break;
    case 3:
        barsWaveform(c, 20, 1010, [](double v) { return 653 - 5.25 * 100 * std::max(v, 0.0) / 0.75 * 0.75; }, false, false);
        break;
    case 4: case 5: barsVector(c, kTolerance, {512, 384}, 7); break;
    case 6: barsVector(c, kLayoutA, {512, 384}, 7); break;
    case 8: barsVector(c, kLayoutB, {512, 384}, 7); break;
    case 9: barsVector(c, kLayoutC, {512, 384}, 7); break;
    case 7: {
        // The ChromaDuMonde chart: a ring of small patches and the skin-tone line.
        static constexpr Pt kPatches[] = {{302, 301.5}, {351.5, 241.5}, {402.5, 183}, {518, 129}, {582.5, 135},
                                          {648.5, 141}, {728, 213},     {743, 277.5}, {758, 342}, {722, 466.5},
                                          {672.5, 526.5}, {621.5, 585}, {506, 639},   {441.5, 633}, {375.5, 627},
                                          {296, 555},   {281, 490.5},   {266, 426},   {417.5, 247.5}, {440, 282},
                                          {464, 316.5}, {428, 298.5}};
        for (const Pt& p : kPatches) {
            c.segment(512, 384, p.x, p.y, 70);
            c.dot(p.x, p.y, 4, 255, 90);
        }
        c.dot(512, 384, 5, 255, 120);
        break;
    }
    case 11: case 12: case 13: case 14: case 15: case 16: case 17:
        phaseDisplay(c, {518, 378}, 240, frame);
        break;
    default:
        if (code >= 20 && code <= 33) {
            barsWaveform(c, 16, 500, [](double v) { return 326 - 2.62 * 100 * std::max(v, 0.0); }, false, false);
            barsVector(c, code >= 27 ? kTile709 : kTile601, {768, 192}, 3.5);
            phaseDisplay(c, {259, 572}, 110, frame);
            pictureBars(c, 560, 420, 990, 730);
        } else if (page == 0) {
            pictureBars(c, 40, 40, 1000, 740);
        } else {
            textPage(c, pageText(page));
        }
        break;
    }
    return c.img;
}

QByteArray packBlock(const QImage& screen, int block)
{
    // Nearest grey index for each 8-bit level; faint levels are no trace at all.
    static const std::array<uint8_t, 256> kIndex = [] {
        constexpr int grey[] = {64, 96, 128, 140, 170, 180, 192, 210, 220, 255};
        std::array<uint8_t, 256> t{};
        for (int v = 0; v < 256; ++v) {
            if (v < 40)
                continue;
            int best = 0;
            for (int i = 1; i < 10; ++i)
                if (std::abs(grey[i] - v) < std::abs(grey[best] - v))
                    best = i;
            t[size_t(v)] = uint8_t(best + 1);
        }
        return t;
    }();
    QByteArray out(16 * 510, '\0');
    for (int r = 0; r < 16; ++r) {
        const int y = block * 16 + r;
        if (y >= screen.height())
            break;
        const uchar* row = screen.constScanLine(y);
        for (int i = 0; i < 510; ++i)
            out[r * 510 + i] = char(kIndex[row[2 * i]] << 4 | kIndex[row[2 * i + 1]]);
    }
    return out;
}

}  // namespace qv
