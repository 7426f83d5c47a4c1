// Any screen header (code, levels) with or without a signal: graticule dispatch, overlay and level bars.

#include "fuzz_common.h"
#include "meters/level_bars.h"
#include "render/graticule_dispatch.h"
#include "render/screen_picture.h"
#include "protocol/status_reply.h"

using namespace qv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::ensureApplication();
    static auto* picture = new ScreenPicture;
    if (size < 6)
        return 0;
    const ScreenHeader header = decodeScreenHeader(data);
    const bool signal = data[5] & 1;
    DrawGraticule(picture->surface(), header.screenType, signal, QDateTime(QDate(2026, 12, 6), QTime(12, 0)));
    if (signal)
        DrawLevelBars(picture->surface(), header.screenType, header.levels);
    picture->surface().finish();
    return 0;
}
