#include "link/d2xx_library.h"

#include <cstdio>

namespace qv {

using namespace Qt::StringLiterals;

namespace {
constexpr uint8_t kLatencyTimerMs = 2;
constexpr uint32_t kUsbTransferSize = 8192;  // a whole 8160-byte screen block in one USB transfer
}  // namespace

QString D2xxLibrary::defaultLibraryName()
{
    return u"ftd2xx"_s;
}

D2xxLibrary::D2xxLibrary(QString libraryName) : libraryName_(std::move(libraryName))
{
    library_.setFileName(libraryName_);
    if (!library_.load()) {
        loadError_ = library_.errorString();
        return;
    }
    auto resolve = [this](const char* name) { return library_.resolve(name); };
    listDevices_ = reinterpret_cast<ListDevicesFn>(resolve("FT_ListDevices"));
    open_ = reinterpret_cast<OpenFn>(resolve("FT_Open"));
    openEx_ = reinterpret_cast<OpenExFn>(resolve("FT_OpenEx"));
    close_ = reinterpret_cast<CloseFn>(resolve("FT_Close"));
    read_ = reinterpret_cast<ReadFn>(resolve("FT_Read"));
    write_ = reinterpret_cast<WriteFn>(resolve("FT_Write"));
    setTimeouts_ = reinterpret_cast<SetTimeoutsFn>(resolve("FT_SetTimeouts"));
    setUsbParameters_ = reinterpret_cast<SetUsbParametersFn>(resolve("FT_SetUSBParameters"));
    getQueueStatus_ = reinterpret_cast<GetQueueStatusFn>(resolve("FT_GetQueueStatus"));
    setLatencyTimer_ = reinterpret_cast<SetLatencyTimerFn>(resolve("FT_SetLatencyTimer"));
    loaded_ = listDevices_ && open_ && openEx_ && close_ && read_ && write_ && setTimeouts_ && setUsbParameters_
              && getQueueStatus_;
    if (!loaded_)
        loadError_ = u"%1 lacks one of the nine D2XX functions"_s.arg(library_.fileName());
}

bool D2xxLibrary::usable()
{
    if (loaded_)
        return true;
    if (!explained_) {
        explained_ = true;
        const QString text =
            u"qv7700-remote: the D2XX library \"%1\" could not be used (%2).\n"
            "  Install the converter maker's D2XX driver (libftd2xx.so on Linux, FTD2XX.DLL on Windows),\n"
            "  or use the kernel's serial driver instead: --device serial (or --device serial:/dev/ttyUSB0).\n"_s
                .arg(libraryName_, loadError_);
        std::fputs(text.toLocal8Bit().constData(), stderr);
    }
    return false;
}

FtHandle D2xxLibrary::remember(Handle h)
{
    const FtHandle id = nextHandle_++;
    if (nextHandle_ == 0)
        nextHandle_ = 1;
    handles_[id] = h;
    return id;
}

D2xxLibrary::Handle D2xxLibrary::lookup(FtHandle handle) const
{
    const auto it = handles_.find(handle);
    return it == handles_.end() ? nullptr : it->second;
}

FtStatus D2xxLibrary::ListDevices(void* arg1, void* arg2, uint32_t flags)
{
    return usable() ? listDevices_(arg1, arg2, flags) : ft::DEVICE_NOT_FOUND;
}

FtStatus D2xxLibrary::Open(int index, FtHandle* handle)
{
    if (!usable())
        return ft::DEVICE_NOT_FOUND;
    Handle h = nullptr;
    const FtStatus st = open_(index, &h);
    if (st == ft::OK) {
        tuneForSpeed(h);
        if (handle)
            *handle = remember(h);
    }
    return st;
}

void D2xxLibrary::tuneForSpeed(Handle h)
{
    // The converter holds a short reply for up to its latency timer (16 ms by default) before it sends it to
    // the PC, and every screen block and status reply pays that wait. 2 ms, and USB transfers large enough for a
    // whole block, make a capture several times faster. A library or chip that refuses either still works.
    if (setLatencyTimer_)
        setLatencyTimer_(h, kLatencyTimerMs);
    setUsbParameters_(h, kUsbTransferSize, kUsbTransferSize);
}

FtStatus D2xxLibrary::OpenEx(void* arg, uint32_t flags, FtHandle* handle)
{
    if (!usable())
        return ft::DEVICE_NOT_FOUND;
    Handle h = nullptr;
    const FtStatus st = openEx_(arg, flags, &h);
    if (st == ft::OK) {
        tuneForSpeed(h);
        if (handle)
            *handle = remember(h);
    }
    return st;
}

FtStatus D2xxLibrary::Close(FtHandle handle)
{
    Handle h = lookup(handle);
    if (!usable() || !h)
        return ft::INVALID_HANDLE;
    const FtStatus st = close_(h);
    handles_.erase(handle);  // the library has let go of it either way; never hand it a freed handle again
    return st;
}

FtStatus D2xxLibrary::Read(FtHandle handle, void* buffer, uint32_t toRead, uint32_t* bytesRead)
{
    Handle h = lookup(handle);
    return usable() && h ? read_(h, buffer, toRead, bytesRead) : ft::INVALID_HANDLE;
}

FtStatus D2xxLibrary::Write(FtHandle handle, const void* buffer, uint32_t toWrite, uint32_t* bytesWritten)
{
    Handle h = lookup(handle);
    return usable() && h ? write_(h, const_cast<void*>(buffer), toWrite, bytesWritten) : ft::INVALID_HANDLE;
}

FtStatus D2xxLibrary::SetTimeouts(FtHandle handle, uint32_t readTimeoutMs, uint32_t writeTimeoutMs)
{
    Handle h = lookup(handle);
    return usable() && h ? setTimeouts_(h, readTimeoutMs, writeTimeoutMs) : ft::INVALID_HANDLE;
}

FtStatus D2xxLibrary::SetUSBParameters(FtHandle handle, uint32_t inTransferSize, uint32_t outTransferSize)
{
    Handle h = lookup(handle);
    return usable() && h ? setUsbParameters_(h, inTransferSize, outTransferSize) : ft::INVALID_HANDLE;
}

FtStatus D2xxLibrary::GetQueueStatus(FtHandle handle, uint32_t* rxBytes)
{
    Handle h = lookup(handle);
    return usable() && h ? getQueueStatus_(h, rxBytes) : ft::INVALID_HANDLE;
}

QString D2xxLibrary::describe() const
{
    return loaded_ ? u"D2XX library %1"_s.arg(library_.fileName())
                   : u"D2XX library %1 (not loaded)"_s.arg(libraryName_);
}

}  // namespace qv
