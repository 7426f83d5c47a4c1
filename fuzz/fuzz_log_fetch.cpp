// A whole error-log fetch against an instrument that answers with fuzzer bytes.

#include "session/session.h"
#include "fuzz_common.h"
#include "fuzz_device.h"

using namespace qv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::FuzzDevice* device = nullptr;
    Session& remote = fuzz::fuzzRemote(device);
    device->reset(data, size);
    remote.link().queuedBytes() = 0;
    remote.errorLog().requestFetch();
    if (remote.link().transferBusy() || remote.link().deviceHeld())
        std::abort();
    return 0;
}
