#include "sim/sim_device.h"

#include <QList>

#include <cstring>

namespace qv {

using namespace Qt::StringLiterals;

SimDevice::SimDevice(uint32_t seed) : instrument_(seed) {}

void SimDevice::setPlugged(bool plugged)
{
    plugged_ = plugged;
    if (!plugged) {
        rx_.clear();
    }
}

FtStatus SimDevice::ListDevices(void* arg1, void* arg2, uint32_t flags)
{
    QList<QByteArray> serials;
    if (plugged_)
        serials.append(QByteArray(kSerial));
    return listBySerials(serials, arg1, arg2, flags);
}

FtStatus SimDevice::openOne(FtHandle* handle)
{
    if (!plugged_)
        return ft::DEVICE_NOT_FOUND;
    if (openHandle_ != 0)
        return ft::DEVICE_NOT_OPENED;  // one open at a time, as with the real converter
    if (!handle)
        return ft::INVALID_PARAMETER;
    openHandle_ = nextHandle_++;
    rx_.clear();
    *handle = openHandle_;
    return ft::OK;
}

FtStatus SimDevice::Open(int index, FtHandle* handle)
{
    return index == 0 ? openOne(handle) : ft::DEVICE_NOT_FOUND;
}

FtStatus SimDevice::OpenEx(void* arg, uint32_t flags, FtHandle* handle)
{
    if (!(flags & ft::OPEN_BY_SERIAL_NUMBER) || openExText(arg) != kSerial)
        return ft::DEVICE_NOT_FOUND;
    return openOne(handle);
}

FtStatus SimDevice::Close(FtHandle handle)
{
    if (handle == 0 || handle != openHandle_)
        return ft::INVALID_HANDLE;
    openHandle_ = 0;
    rx_.clear();
    return plugged_ ? ft::OK : ft::DEVICE_NOT_FOUND;
}

FtStatus SimDevice::Read(FtHandle handle, void* buffer, uint32_t toRead, uint32_t* bytesRead)
{
    if (!valid(handle))
        return ft::INVALID_HANDLE;
    if (!buffer || !bytesRead)
        return ft::INVALID_PARAMETER;
    const uint32_t n = std::min<uint32_t>(toRead, uint32_t(rx_.size()));
    std::memcpy(buffer, rx_.constData(), n);
    rx_.remove(0, n);
    *bytesRead = n;
    return ft::OK;
}

FtStatus SimDevice::Write(FtHandle handle, const void* buffer, uint32_t toWrite, uint32_t* bytesWritten)
{
    if (!valid(handle))
        return ft::INVALID_HANDLE;
    if (!buffer || !bytesWritten)
        return ft::INVALID_PARAMETER;
    rx_ += instrument_.receive(static_cast<const uint8_t*>(buffer), toWrite);
    *bytesWritten = toWrite;
    return ft::OK;
}

FtStatus SimDevice::SetTimeouts(FtHandle handle, uint32_t, uint32_t)
{
    return valid(handle) ? ft::OK : ft::INVALID_HANDLE;
}

FtStatus SimDevice::SetUSBParameters(FtHandle handle, uint32_t, uint32_t)
{
    return valid(handle) ? ft::OK : ft::INVALID_HANDLE;
}

FtStatus SimDevice::GetQueueStatus(FtHandle handle, uint32_t* rxBytes)
{
    if (!valid(handle))
        return ft::INVALID_HANDLE;
    if (!rxBytes)
        return ft::INVALID_PARAMETER;
    *rxBytes = uint32_t(rx_.size());
    return ft::OK;
}

QString SimDevice::describe() const
{
    return u"simulated QV7700 (serial number %1)"_s.arg(QLatin1StringView(kSerial));
}

}  // namespace qv
