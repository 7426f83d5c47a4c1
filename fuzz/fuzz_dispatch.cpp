// Any screen header (code, levels) with or without a signal: graticule dispatch, overlay and level bars.

#include "fuzz_common.h"
#include "meters/level_bars.h"
#include "render/graticule_dispatch.h"
#include "render/screen_picture.h"
#include "state/shared_state.h"

using namespace qv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::ensureApplication();
    static auto* picture = new ScreenPicture;
    if (size < 6)
        return 0;
    SharedState state;
    std::copy_n(data, 5, state.ReplyBuffer.begin());
    state.SignalPresent = data[5] & 1;
    DrawGraticule(picture->surface(), state, QDateTime(QDate(2026, 12, 6), QTime(12, 0)));
    if (state.SignalPresent)
        DrawLevelBars(picture->surface(), state);
    picture->surface().finish();
    return 0;
}
