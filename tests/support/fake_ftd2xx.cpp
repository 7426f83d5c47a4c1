// A stand-in for the converter maker's library: the nine functions with the library's C calling convention
// and 32-bit DWORDs, and a loop-back device behind them. Handles are real heap pointers, so a 64-bit handle
// that the program truncated would show at once.

#include <cstdint>
#include <cstring>
#include <string>

namespace {
unsigned lastLatency = 0, lastInSize = 0;

struct FakeHandle {
    uint32_t magic = 0xF7D2;
    std::string rx;
    uint32_t readTimeout = 0;
};
const char kSerial[] = "FAKE0001";

bool ok(void* h)
{
    return h && static_cast<FakeHandle*>(h)->magic == 0xF7D2;
}
}  // namespace

extern "C" {

uint32_t FT_ListDevices(void* arg1, void* arg2, uint32_t flags)
{
    if (flags & 0x80000000u) {
        *static_cast<uint32_t*>(arg1) = 1;
        return 0;
    }
    if ((flags & 0x40000000u) && reinterpret_cast<uintptr_t>(arg1) == 0) {
        std::memcpy(arg2, kSerial, sizeof kSerial);
        return 0;
    }
    return 2;
}

uint32_t FT_Open(int index, void** handle)
{
    if (index != 0)
        return 2;
    *handle = new FakeHandle;
    return 0;
}

uint32_t FT_OpenEx(void* arg, uint32_t flags, void** handle)
{
    if (flags != 1 || std::strcmp(static_cast<const char*>(arg), kSerial) != 0)
        return 2;
    *handle = new FakeHandle;
    return 0;
}

uint32_t FT_Close(void* handle)
{
    if (!ok(handle))
        return 1;
    static_cast<FakeHandle*>(handle)->magic = 0;
    delete static_cast<FakeHandle*>(handle);
    return 0;
}

uint32_t FT_Write(void* handle, void* buffer, uint32_t count, uint32_t* written)
{
    if (!ok(handle))
        return 1;
    // The loop-back answers a key message with its code and the code's complement.
    auto* h = static_cast<FakeHandle*>(handle);
    const auto* b = static_cast<const unsigned char*>(buffer);
    if (count == 2 && b[1] == 0xF0) {
        h->rx.push_back(char(b[0]));
        h->rx.push_back(char(~b[0]));
    }
    *written = count;
    return 0;
}

uint32_t FT_Read(void* handle, void* buffer, uint32_t count, uint32_t* got)
{
    if (!ok(handle))
        return 1;
    auto* h = static_cast<FakeHandle*>(handle);
    const uint32_t n = count < h->rx.size() ? count : uint32_t(h->rx.size());
    std::memcpy(buffer, h->rx.data(), n);
    h->rx.erase(0, n);
    *got = n;
    return 0;
}

uint32_t FT_SetTimeouts(void* handle, uint32_t readTimeout, uint32_t)
{
    if (!ok(handle))
        return 1;
    static_cast<FakeHandle*>(handle)->readTimeout = readTimeout;
    return 0;
}

uint32_t FT_SetUSBParameters(void* handle, uint32_t in, uint32_t)
{
    if (!ok(handle))
        return 1;
    lastInSize = in;
    return 0;
}

// Refuses, as an old chip does: the program must carry on regardless.
uint32_t FT_SetLatencyTimer(void* handle, unsigned char ms)
{
    if (!ok(handle))
        return 1;
    lastLatency = ms;
    return 4;
}

unsigned fake_last_latency() { return lastLatency; }
unsigned fake_last_in_size() { return lastInSize; }

uint32_t FT_GetQueueStatus(void* handle, uint32_t* rx)
{
    if (!ok(handle))
        return 1;
    *rx = uint32_t(static_cast<FakeHandle*>(handle)->rx.size());
    return 0;
}
}
