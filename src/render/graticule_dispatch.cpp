#include "render/graticule_dispatch.h"

#include "meters/level_bars.h"
#include "meters/meter_scales.h"
#include "meters/tiled_display.h"
#include "render/draw_surface.h"
#include "render/graticules.h"
#include "render/fonts.h"

#include <QLocale>

namespace qv {

using namespace Qt::StringLiterals;

bool hasGraticule(int code)
{
    return (code >= 1 && code <= 9) || (code >= 11 && code <= 17) || (code >= 20 && code <= 33);
}

void drawNoSignal(DrawSurface& s)
{
    s.foreColor = palette::Green;
    s.clear();
    s.box(32, 128, 976, 640);
    s.setFont(kBannerFont, 50);
    s.currentX = 350;
    s.currentY = 350;
    s.print(u"No Signal"_s);
}

void drawOverlay(DrawSurface& s, const QDateTime& now)
{
    // In the colour the graticule left behind: nothing is cleared behind the text.
    s.setFont(kPanelFont, 8);
    s.currentX = 330;
    s.currentY = 730;
    s.print(u"Corvane QV 7700"_s);
    s.currentX = 470;
    s.currentY = 730;
    s.print(u"Time: "_s + now.time().toString(u"HH:mm:ss"_s));
    s.currentX = 570;
    s.currentY = 730;
    s.print(u"Date: "_s + QLocale::system().toString(now.date(), QLocale::ShortFormat));
}

void DrawGraticule(DrawSurface& s, int code, bool signal, const QDateTime& now)
{
    if (!signal) {
        drawNoSignal(s);
    } else {
        switch (code) {
        case 1: drawWaveform1(s); break;
        case 2: drawWaveform2(s); break;
        case 3: drawWaveform3(s); break;
        case 4: drawVector4(s); break;
        case 5: drawVector5(s); break;
        case 6: drawVector6(s); break;
        case 7: drawVector7(s); break;
        case 8: drawVector8(s); break;
        case 9: drawVector9(s); break;
        case 11: drawFullScale(s, AudioScale::Bbc); break;
        case 12: drawFullScale(s, AudioScale::Vu); break;
        case 13: drawFullScale(s, AudioScale::Ebu); break;
        case 14: drawFullScale(s, AudioScale::Nordic); break;
        case 15: drawFullScale(s, AudioScale::Digital); break;
        case 16: drawFullScale(s, AudioScale::Din); break;
        case 17: drawFullScale(s, AudioScale::ExpandDin); break;
        default:
            if (code >= 20 && code <= 33)
                drawTiledDisplay(s, code);
            break;  // anything else: no graticule, the previous picture stays
        }
    }
    drawOverlay(s, now);
}

}  // namespace qv
