#pragma once
// The vendor's own D2XX library, loaded when the program starts using it (libftd2xx.so, FTD2XX.DLL). Its
// prototypes are declared here, not taken from a vendor header. Without the library every call fails with a
// status, and one explanation goes to standard error.

#include "link/d2xx.h"

#include <QLibrary>
#include <QString>

#include <map>

namespace qv {

class D2xxLibrary : public D2xx {
public:
    // libraryName as QLibrary takes it: "ftd2xx" finds libftd2xx.so and FTD2XX.DLL; a path loads that file.
    explicit D2xxLibrary(QString libraryName = defaultLibraryName());
    static QString defaultLibraryName();

    bool loaded() const { return loaded_; }
    QString loadError() const { return loadError_; }

    FtStatus ListDevices(void* arg1, void* arg2, uint32_t flags) override;
    FtStatus Open(int index, FtHandle* handle) override;
    FtStatus OpenEx(void* arg, uint32_t flags, FtHandle* handle) override;
    FtStatus Close(FtHandle handle) override;
    FtStatus Read(FtHandle handle, void* buffer, uint32_t toRead, uint32_t* bytesRead) override;
    FtStatus Write(FtHandle handle, const void* buffer, uint32_t toWrite, uint32_t* bytesWritten) override;
    FtStatus SetTimeouts(FtHandle handle, uint32_t readTimeoutMs, uint32_t writeTimeoutMs) override;
    FtStatus SetUSBParameters(FtHandle handle, uint32_t inTransferSize, uint32_t outTransferSize) override;
    FtStatus GetQueueStatus(FtHandle handle, uint32_t* rxBytes) override;
    QString describe() const override;

private:
    // The library's own types: DWORD and ULONG are 32 bits on every platform it ships for, a handle is a pointer.
    using Handle = void*;
    using ListDevicesFn = uint32_t (*)(void*, void*, uint32_t);
    using OpenFn = uint32_t (*)(int, Handle*);
    using OpenExFn = uint32_t (*)(void*, uint32_t, Handle*);
    using CloseFn = uint32_t (*)(Handle);
    using ReadFn = uint32_t (*)(Handle, void*, uint32_t, uint32_t*);
    using WriteFn = uint32_t (*)(Handle, void*, uint32_t, uint32_t*);
    using SetTimeoutsFn = uint32_t (*)(Handle, uint32_t, uint32_t);
    using SetUsbParametersFn = uint32_t (*)(Handle, uint32_t, uint32_t);
    using GetQueueStatusFn = uint32_t (*)(Handle, uint32_t*);
    using SetLatencyTimerFn = uint32_t (*)(Handle, uint8_t);

    bool usable();  // says once, on standard error, why the library cannot be used
    void tuneForSpeed(Handle h);
    FtHandle remember(Handle h);
    Handle lookup(FtHandle handle) const;

    QLibrary library_;
    QString libraryName_;
    bool loaded_ = false;
    bool explained_ = false;
    QString loadError_;
    ListDevicesFn listDevices_ = nullptr;
    OpenFn open_ = nullptr;
    OpenExFn openEx_ = nullptr;
    CloseFn close_ = nullptr;
    ReadFn read_ = nullptr;
    WriteFn write_ = nullptr;
    SetTimeoutsFn setTimeouts_ = nullptr;
    SetUsbParametersFn setUsbParameters_ = nullptr;
    GetQueueStatusFn getQueueStatus_ = nullptr;
    SetLatencyTimerFn setLatencyTimer_ = nullptr;  // optional: not every library build has it
    // The program's handle is 32 bits; the library's is a pointer. Closed handles stay unknown to the library.
    std::map<FtHandle, Handle> handles_;
    FtHandle nextHandle_ = 1;
};

}  // namespace qv
