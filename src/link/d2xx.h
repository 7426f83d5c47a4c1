#pragma once
// The nine operations of the converter chip maker's D2XX library, as this program uses them. Every backend
// (the vendor library itself, the operating system's serial driver, the simulated instrument, the test script)
// stands behind this one interface. Status 0 is success; any other value is a failure and no caller looks
// further than that.

#include <QString>

#include <cstdint>

namespace qv {

using FtStatus = uint32_t;
using FtHandle = uint32_t;  // the program keeps a 32-bit handle; backends map it to whatever they hold

namespace ft {
inline constexpr FtStatus OK = 0;
inline constexpr FtStatus INVALID_HANDLE = 1;
inline constexpr FtStatus DEVICE_NOT_FOUND = 2;
inline constexpr FtStatus DEVICE_NOT_OPENED = 3;
inline constexpr FtStatus IO_ERROR = 4;
inline constexpr FtStatus INVALID_PARAMETER = 6;
inline constexpr FtStatus OTHER_ERROR = 18;

inline constexpr uint32_t LIST_NUMBER_ONLY = 0x80000000u;
inline constexpr uint32_t LIST_BY_INDEX = 0x40000000u;
inline constexpr uint32_t LIST_ALL = 0x20000000u;
inline constexpr uint32_t OPEN_BY_SERIAL_NUMBER = 1;
inline constexpr uint32_t OPEN_BY_DESCRIPTION = 2;
}  // namespace ft

class D2xx {
public:
    virtual ~D2xx() = default;

    // arg1/arg2 as the library takes them: with LIST_BY_INDEX arg1 carries the index as a pointer-sized value and
    // arg2 a buffer for the serial number (or description); with LIST_NUMBER_ONLY arg1 points to a 32-bit count.
    virtual FtStatus ListDevices(void* arg1, void* arg2, uint32_t flags) = 0;
    virtual FtStatus Open(int index, FtHandle* handle) = 0;
    virtual FtStatus OpenEx(void* arg, uint32_t flags, FtHandle* handle) = 0;
    virtual FtStatus Close(FtHandle handle) = 0;
    // A read that runs into its time-out returns OK with fewer bytes than asked for.
    virtual FtStatus Read(FtHandle handle, void* buffer, uint32_t toRead, uint32_t* bytesRead) = 0;
    virtual FtStatus Write(FtHandle handle, const void* buffer, uint32_t toWrite, uint32_t* bytesWritten) = 0;
    virtual FtStatus SetTimeouts(FtHandle handle, uint32_t readTimeoutMs, uint32_t writeTimeoutMs) = 0;
    virtual FtStatus SetUSBParameters(FtHandle handle, uint32_t inTransferSize, uint32_t outTransferSize) = 0;
    // Every byte received and not yet read, however many.
    virtual FtStatus GetQueueStatus(FtHandle handle, uint32_t* rxBytes) = 0;

    // One line for people: which backend this is and what it talks to.
    virtual QString describe() const = 0;
};

// The list semantics every port-based backend shares: devices are known by their serial numbers, in the
// system's order. Fills the caller's buffers as the vendor library does.
FtStatus listBySerials(const QList<QByteArray>& serials, void* arg1, void* arg2, uint32_t flags);

// The C string an OpenEx argument carries (serial number or description), bounded for safety.
QByteArray openExText(const void* arg);

}  // namespace qv
