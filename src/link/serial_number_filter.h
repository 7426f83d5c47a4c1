#pragma once
// One instrument among several: a device that shows the backend's list with only the converter of one USB serial
// number in it. Every open lists afresh, so the instrument is found again under whatever port name or bus
// position it has now; one that is not attached lists as absent, exactly as no instrument at all. With no serial
// number chosen it passes everything through: the first instrument found is the one used.

#include "link/d2xx.h"

#include <QByteArray>
#include <QList>

#include <memory>

namespace qv {

class SerialNumberFilter : public D2xx {
public:
    SerialNumberFilter(std::unique_ptr<D2xx> inner, QByteArray serial);

    const QByteArray& serial() const { return serial_; }
    void setSerial(const QByteArray& serial) { serial_ = serial; }
    // Every converter the backend lists, unfiltered.
    QList<QByteArray> attachedSerials();

    FtStatus ListDevices(void* arg1, void* arg2, uint32_t flags) override;
    FtStatus Open(int index, FtHandle* handle) override;
    FtStatus OpenEx(void* arg, uint32_t flags, FtHandle* handle) override;
    FtStatus Close(FtHandle handle) override { return inner_->Close(handle); }
    FtStatus Read(FtHandle handle, void* buffer, uint32_t toRead, uint32_t* bytesRead) override
    {
        return inner_->Read(handle, buffer, toRead, bytesRead);
    }
    FtStatus Write(FtHandle handle, const void* buffer, uint32_t toWrite, uint32_t* bytesWritten) override
    {
        return inner_->Write(handle, buffer, toWrite, bytesWritten);
    }
    FtStatus SetTimeouts(FtHandle handle, uint32_t readTimeoutMs, uint32_t writeTimeoutMs) override
    {
        return inner_->SetTimeouts(handle, readTimeoutMs, writeTimeoutMs);
    }
    FtStatus SetUSBParameters(FtHandle handle, uint32_t inTransferSize, uint32_t outTransferSize) override
    {
        return inner_->SetUSBParameters(handle, inTransferSize, outTransferSize);
    }
    FtStatus GetQueueStatus(FtHandle handle, uint32_t* rxBytes) override
    {
        return inner_->GetQueueStatus(handle, rxBytes);
    }
    QString describe() const override;

private:

    std::unique_ptr<D2xx> inner_;
    QByteArray serial_;
};

}  // namespace qv
