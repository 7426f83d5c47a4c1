#pragma once
// An instrument that answers with whatever the fuzzer hands it: every call's status, every queue count and
// every byte a read delivers come from the input. When the input runs out the instrument falls silent.

#include "link/d2xx.h"

#include <algorithm>
#include <cstring>

namespace qv::fuzz {

class FuzzDevice : public D2xx {
public:
    void reset(const uint8_t* data, size_t size)
    {
        data_ = data;
        size_ = size;
        pos_ = 0;
        open_ = false;
    }

    FtStatus ListDevices(void* arg1, void* arg2, uint32_t flags) override
    {
        if (fails())
            return ft::DEVICE_NOT_FOUND;
        return listBySerials({QByteArray("FUZZ")}, arg1, arg2, flags);
    }
    FtStatus Open(int, FtHandle* handle) override { return opened(handle); }
    FtStatus OpenEx(void*, uint32_t, FtHandle* handle) override { return opened(handle); }
    FtStatus Close(FtHandle handle) override
    {
        const bool was = open_ && handle == kHandle;
        open_ = false;
        return fails() || !was ? ft::IO_ERROR : ft::OK;
    }
    FtStatus Read(FtHandle handle, void* buffer, uint32_t toRead, uint32_t* bytesRead) override
    {
        *bytesRead = 0;
        if (fails() || !valid(handle))
            return ft::IO_ERROR;
        // A device never delivers more than was asked for; how much less is the input's choice.
        const uint32_t want = std::min<uint32_t>(toRead, uint32_t(take() << 8 | take()));
        const uint32_t n = std::min<uint32_t>(want, uint32_t(size_ - pos_));
        std::memcpy(buffer, data_ + pos_, n);
        pos_ += n;
        *bytesRead = n;
        return ft::OK;
    }
    FtStatus Write(FtHandle handle, const void*, uint32_t toWrite, uint32_t* bytesWritten) override
    {
        *bytesWritten = 0;
        if (fails() || !valid(handle))
            return ft::IO_ERROR;
        *bytesWritten = toWrite;
        return ft::OK;
    }
    FtStatus SetTimeouts(FtHandle handle, uint32_t, uint32_t) override
    {
        return fails() || !valid(handle) ? ft::IO_ERROR : ft::OK;
    }
    FtStatus SetUSBParameters(FtHandle handle, uint32_t, uint32_t) override
    {
        return fails() || !valid(handle) ? ft::IO_ERROR : ft::OK;
    }
    FtStatus GetQueueStatus(FtHandle handle, uint32_t* rxBytes) override
    {
        if (fails() || !valid(handle))
            return ft::IO_ERROR;
        // Any count at all, however large: the program must not trust it with its buffers.
        *rxBytes = uint32_t(take()) << 24 | uint32_t(take()) << 16 | uint32_t(take()) << 8 | take();
        return ft::OK;
    }
    QString describe() const override { return QStringLiteral("fuzzed instrument"); }

private:
    static constexpr FtHandle kHandle = 0xF0F0;
    uint8_t take() { return pos_ < size_ ? data_[pos_++] : 0; }
    bool fails() { return pos_ < size_ && (take() & 0x1F) == 0x1F; }  // about one call in 32 fails
    bool valid(FtHandle h) const { return open_ && h == kHandle; }
    FtStatus opened(FtHandle* handle)
    {
        if (fails())
            return ft::DEVICE_NOT_OPENED;
        open_ = true;
        *handle = kHandle;
        return ft::OK;
    }

    const uint8_t* data_ = nullptr;
    size_t size_ = 0, pos_ = 0;
    bool open_ = false;
};

}  // namespace qv::fuzz
