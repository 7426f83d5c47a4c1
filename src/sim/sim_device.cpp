#include "sim/sim_device.h"

#include <QList>

#include <algorithm>
#include <cstring>
#include <thread>

namespace qv {

using namespace Qt::StringLiterals;

SimDevice::SimDevice(uint32_t seed) : instrument_(seed)
{
    clock_.start();
}

void SimDevice::setLink(int latencyMs, int64_t bytesPerSecond)
{
    latencyMs_ = std::max(0, latencyMs);
    bytesPerSecond_ = std::max<int64_t>(0, bytesPerSecond);
}

qint64 linkBytesArrived(qint64 ns, int64_t bytesPerSecond, qint64 size)
{
    constexpr qint64 kNsPerSecond = 1000000000;
    if (size <= 0 || ns < 0)
        return 0;
    if (bytesPerSecond <= 0)
        return size;
    // Rate times time overflows 64 bits for fast links and long waits. Ask first whether the whole reply is in
    // (replies are a few kilobytes, so its span in rate-nanoseconds fits); short of that, time times rate stays
    // below the span.
    const qint64 span = (size - 1) * kNsPerSecond;
    const qint64 wholeNs = span / bytesPerSecond + (span % bytesPerSecond != 0 ? 1 : 0);
    if (ns >= wholeNs)
        return size;
    return ns * bytesPerSecond / kNsPerSecond + 1;
}

void SimDevice::deliver()
{
    const qint64 now = clock_.nsecsElapsed();
    while (!wire_.empty()) {
        InFlight& f = wire_.front();
        if (now < f.startNs)
            return;
        const qsizetype arrived = qsizetype(linkBytesArrived(now - f.startNs, bytesPerSecond_, f.bytes.size()));
        rx_ += QByteArrayView(f.bytes).sliced(f.delivered, arrived - f.delivered);
        f.delivered = arrived;
        if (arrived < f.bytes.size())
            return;
        wire_.pop_front();
    }
}

qint64 SimDevice::nextArrivalNs(qsizetype want) const
{
    const InFlight& f = wire_.front();
    const qsizetype byte = std::min(f.bytes.size(), f.delivered + std::max<qsizetype>(1, want - rx_.size()));
    if (bytesPerSecond_ <= 0)
        return f.startNs;
    // Byte n (from 1) arrives (n - 1) / rate seconds after the first, rounded up to the nanosecond.
    const qint64 span = qint64(byte - 1) * 1000000000;
    return f.startNs + span / bytesPerSecond_ + (span % bytesPerSecond_ != 0 ? 1 : 0);
}

void SimDevice::setPlugged(bool plugged)
{
    plugged_ = plugged;
    if (!plugged) {
        rx_.clear();
        wire_.clear();
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
    wire_.clear();
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
    wire_.clear();
    return plugged_ ? ft::OK : ft::DEVICE_NOT_FOUND;
}

FtStatus SimDevice::Read(FtHandle handle, void* buffer, uint32_t toRead, uint32_t* bytesRead)
{
    if (!valid(handle))
        return ft::INVALID_HANDLE;
    if (!buffer || !bytesRead)
        return ft::INVALID_PARAMETER;
    deliver();
    // Like the converter, a read waits for the bytes asked for until its time-out, then returns what it has. It
    // sleeps until they are due rather than looking every little while: the driver blocks, and a simulator that
    // spins would show up in every figure of the program's own processor time.
    const qint64 deadline = clock_.nsecsElapsed() + qint64(readTimeoutMs_) * 1000000;
    while (uint32_t(rx_.size()) < toRead && !wire_.empty()) {
        const qint64 now = clock_.nsecsElapsed();
        if (now >= deadline)
            break;
        const qint64 wake = std::min(deadline, nextArrivalNs(qsizetype(toRead)));
        if (wake > now)
            std::this_thread::sleep_for(std::chrono::nanoseconds(wake - now));
        deliver();
    }
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
    const QByteArray reply = instrument_.receive(static_cast<const uint8_t*>(buffer), toWrite);
    if (latencyMs_ == 0 && bytesPerSecond_ == 0)
        rx_ += reply;
    else if (!reply.isEmpty())
        wire_.push_back({reply, clock_.nsecsElapsed() + qint64(latencyMs_) * 1000000});
    *bytesWritten = toWrite;
    return ft::OK;
}

FtStatus SimDevice::SetTimeouts(FtHandle handle, uint32_t readTimeoutMs, uint32_t)
{
    if (!valid(handle))
        return ft::INVALID_HANDLE;
    readTimeoutMs_ = readTimeoutMs;
    return ft::OK;
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
    deliver();
    *rxBytes = uint32_t(rx_.size());
    return ft::OK;
}

QString SimDevice::describe() const
{
    return u"simulated QV7700 (serial number %1)"_s.arg(QLatin1StringView(kSerial));
}

}  // namespace qv
