#include "scripted_device.h"

#include <cstring>
#include <thread>

namespace qv::test {

using namespace Qt::StringLiterals;

void ScriptedDevice::failOn(const QString& op, int nth, FtStatus status)
{
    failures_[op] = {nth, status};
}

int ScriptedDevice::count(const QString& op) const
{
    return calls_.value(op);
}

FtStatus ScriptedDevice::enter(const QString& op, const QString& entry)
{
    log.append(entry);
    const int n = ++calls_[op];
    ++total_;
    if (onCall)
        onCall(op);
    if (silentFromCall && total_ >= silentFromCall && !silent_) {
        silent_ = true;
        rx_.clear();
    }
    if ((disconnectAtCall && total_ >= disconnectAtCall) || failAtCall == total_)
        return ft::IO_ERROR;
    const auto it = failures_.constFind(op);
    if (it != failures_.cend() && (it->nth == 0 || it->nth == n))
        return it->status;
    return ft::OK;
}

FtStatus ScriptedDevice::ListDevices(void* arg1, void* arg2, uint32_t flags)
{
    if (const FtStatus st = enter(u"List"_s, u"List"_s))
        return st;
    return listBySerials({QByteArray("TEST0001")}, arg1, arg2, flags);
}

FtStatus ScriptedDevice::Open(int, FtHandle* handle)
{
    if (const FtStatus st = enter(u"Open"_s, u"Open"_s))
        return st;
    open_ = true;
    *handle = kHandle;
    return ft::OK;
}

FtStatus ScriptedDevice::OpenEx(void* arg, uint32_t flags, FtHandle* handle)
{
    if (const FtStatus st = enter(u"OpenEx"_s, u"OpenEx"_s))
        return st;
    if (openExText(arg) != "TEST0001" || flags != ft::OPEN_BY_SERIAL_NUMBER)
        return ft::DEVICE_NOT_FOUND;
    open_ = true;
    *handle = kHandle;
    return ft::OK;
}

FtStatus ScriptedDevice::Close(FtHandle handle)
{
    const FtStatus injected = enter(u"Close"_s, u"Close"_s);
    if (!validHandle(handle))
        return injected ? injected : ft::INVALID_HANDLE;
    // The handle is gone whether or not the close reports success; unread bytes go with it.
    open_ = false;
    rx_.clear();
    return injected;
}

FtStatus ScriptedDevice::Read(FtHandle handle, void* buffer, uint32_t toRead, uint32_t* bytesRead)
{
    *bytesRead = 0;
    if (const FtStatus st = enter(u"Read"_s, u"Read %1"_s.arg(toRead)))
        return st;
    if (!validHandle(handle))
        return ft::INVALID_HANDLE;
    const uint32_t n = std::min<uint32_t>(toRead, uint32_t(rx_.size()));
    std::memcpy(buffer, rx_.constData(), n);
    rx_.remove(0, n);
    *bytesRead = n;
    if (realTimeouts && n < toRead)
        std::this_thread::sleep_for(std::chrono::milliseconds(readTimeoutMs_));
    return ft::OK;
}

FtStatus ScriptedDevice::Write(FtHandle handle, const void* buffer, uint32_t toWrite, uint32_t* bytesWritten)
{
    const QByteArray bytes(static_cast<const char*>(buffer), qsizetype(toWrite));
    *bytesWritten = 0;
    if (const FtStatus st = enter(u"Write"_s, u"Write "_s + QString::fromLatin1(bytes.toHex(' '))))
        return st;
    if (!validHandle(handle))
        return ft::INVALID_HANDLE;
    written += bytes;
    if (!bytes.isEmpty() && !silent_) {
        auto it = replies_.find(uint8_t(bytes[0]));
        if (it != replies_.end() && !it->isEmpty())
            rx_ += it->size() > 1 ? it->takeFirst() : it->first();
    }
    *bytesWritten = toWrite;
    return ft::OK;
}

FtStatus ScriptedDevice::SetTimeouts(FtHandle handle, uint32_t readTimeoutMs, uint32_t writeTimeoutMs)
{
    if (const FtStatus st = enter(u"SetTimeouts"_s, u"SetTimeouts %1 %2"_s.arg(readTimeoutMs).arg(writeTimeoutMs)))
        return st;
    readTimeoutMs_ = readTimeoutMs;
    return validHandle(handle) ? ft::OK : ft::INVALID_HANDLE;
}

FtStatus ScriptedDevice::SetUSBParameters(FtHandle handle, uint32_t, uint32_t)
{
    if (const FtStatus st = enter(u"SetUSBParameters"_s, u"SetUSBParameters"_s))
        return st;
    return validHandle(handle) ? ft::OK : ft::INVALID_HANDLE;
}

FtStatus ScriptedDevice::GetQueueStatus(FtHandle handle, uint32_t* rxBytes)
{
    if (const FtStatus st = enter(u"Queue"_s, u"Queue"_s))
        return st;
    if (!validHandle(handle))
        return ft::INVALID_HANDLE;
    *rxBytes = reportedQueue_.value_or(uint32_t(rx_.size()));
    return ft::OK;
}

}  // namespace qv::test
