// Status replies of any length and content, through a whole poll tick and the panel decoding.

#include "session/session.h"
#include "fuzz_common.h"
#include "fuzz_device.h"
#include "session/panel_update.h"
#include "protocol/status_reply.h"

using namespace qv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::FuzzDevice* device = nullptr;
    Session& session = fuzz::fuzzRemote(device);
    if (size >= 3) {
        PanelModel panel;
        showReading(decodeStatusReply(data, data[2] & 1), panel);
    }
    device->reset(data, size);
    session.pollOnce();
    return 0;
}
