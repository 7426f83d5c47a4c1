#pragma once
// Finding the instrument's converter among the serial ports. On Linux this reads sysfs directly: the
// toolkit's port enumeration asks udev about every port and costs tens of milliseconds, far too much for a
// poll that lists the device once a second.

#include <QByteArray>
#include <QList>
#include <QString>

namespace qv {

struct SerialPortEntry {
    QString location;    // /dev/ttyUSB0
    QByteArray serial;   // the USB serial number, empty when the converter has none
    QString product;     // the USB product string
    QString usbPath;     // the USB device's sysfs directory
    QString driver;      // the kernel driver bound to the port's interface (ftdi_sio)
    quint16 vendorId = 0;
};

// Every ttyUSB* and ttyACM* with a USB ancestor, in name order. sysfsRoot and devRoot are "/sys" and "/dev" on a real system.
QList<SerialPortEntry> scanUsbSerialPorts(const QString& sysfsRoot = QStringLiteral("/sys"),
                                          const QString& devRoot = QStringLiteral("/dev"));

// The converter ports (USB vendor id 0x0403), in the system's order.
QList<SerialPortEntry> converterPorts();

}  // namespace qv
