#pragma once
// The operating system's serial driver standing in for the vendor library: /dev/ttyUSB* (or COMn) of the
// instrument's converter, or any path, a pseudo-terminal included. Ports are known by their USB serial number
// (their path when they have none), in the system's order.

#include "link/d2xx.h"
#include "link/usb_scan.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <map>
#include <memory>

class QSerialPort;

namespace qv {

class SerialDevice : public D2xx {
public:
    // An empty path means: every port whose USB vendor id is that of the instrument's converter, found below
    // roots.
    explicit SerialDevice(QString path = {}, DeviceRoots roots = {});
    ~SerialDevice() override;

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
    struct PortInfo {
        QByteArray serial;
        QString location;
    };
    struct OpenPort;

    QList<PortInfo> ports();
    FtStatus openLocation(const QString& location, FtHandle* handle);
    OpenPort* find(FtHandle handle);
    // Moves everything the driver holds into our own receive buffer; false once the port has failed.
    bool drain(OpenPort& p);

    QString path_;
    ConverterPortScan scan_;
    // One open lists the devices and then opens by serial number: both halves use the same look at the system.
    QList<PortInfo> cache_;
    qint64 cacheTakenMs_ = -1;
    std::map<FtHandle, std::unique_ptr<OpenPort>> open_;
    FtHandle nextHandle_ = 1;
};

}  // namespace qv
