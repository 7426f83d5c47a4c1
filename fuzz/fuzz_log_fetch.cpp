// A whole error-log fetch against an instrument that answers with fuzzer bytes.

#include "session/session.h"
#include "fuzz_common.h"
#include "fuzz_device.h"

using namespace qv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::FuzzDevice* device = nullptr;
    Session& session = fuzz::fuzzRemote(device);
    device->reset(data, size);
    session.link().queuedBytes() = 0;
    session.errorLog().requestFetch();
    if (session.link().transferBusy() || session.link().deviceHeld())
        std::abort();
    return 0;
}
