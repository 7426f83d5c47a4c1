// A whole screen fetch against an instrument that answers with fuzzer bytes.

#include "app/remote.h"
#include "fuzz_common.h"
#include "fuzz_device.h"

using namespace qv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::ensureApplication();
    static auto* device = new fuzz::FuzzDevice;
    static auto* remote = [] {
        auto* r = new Remote(std::unique_ptr<D2xx>(device));
        r->screenFetch().pauseBeforeBlocksMs = 0;
        r->screenFetch().silenceLimitMs = 2;
        r->link().noResponsePauseMs = 0;
        return r;
    }();
    device->reset(data, size);
    SharedState& s = remote->state();
    s.SignalPresent = size > 0 && (data[0] & 0x40);
    s.QueuedBytes = 0;
    remote->screenFetch().mnuGet1Frame_Click();
    if (s.TransferBusy || remote->link().deviceHeld())
        std::abort();
    return 0;
}
