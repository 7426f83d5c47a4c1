#pragma once
// Finding the instrument's converters. On Linux this reads sysfs directly: the toolkit's port enumeration asks
// udev about every port and costs tens of milliseconds, far too much for a poll that lists the device once a
// second. The serial backend, the device list and the link diagnostics all read the same scan.

#include <QByteArray>
#include <QList>
#include <QString>

#include <utility>

namespace qv {

// The USB vendor id of the converter chip inside the instrument's cable.
inline constexpr quint16 kConverterVendorId = 0x0403;

struct UsbConverter {
    QString busPath;   // the USB bus path, e.g. 1-1.4 (empty where the system does not say)
    QString product;   // the USB product string
    QByteArray serial; // the USB serial number, empty when the converter has none
    QString usbNode;   // /dev/bus/usb/001/005, the node the vendor library opens
    QString driver;    // the kernel driver bound to its first interface (ftdi_sio), empty when free
    QString tty;       // /dev/ttyUSB0 when the kernel's serial driver made a port for it
    QString latency;   // the serial driver's latency timer in ms, when there is a port
};

// Every USB device of the converters' vendor below sysfsRoot/bus/usb/devices, in bus-path order. sysfsRoot and
// devRoot are "/sys" and "/dev" on a real system.
QList<UsbConverter> scanConverters(const QString& sysfsRoot = QStringLiteral("/sys"),
                                   const QString& devRoot = QStringLiteral("/dev"));

// Where the system shows its devices. A real system has them at /sys and /dev; tests give fake trees.
struct DeviceRoots {
    QString sysfs = QStringLiteral("/sys");
    QString dev = QStringLiteral("/dev");
};

// The converters that have a serial port, in the system's order (sysfs on Linux, the toolkit elsewhere).
QList<UsbConverter> converterPorts(const DeviceRoots& roots = {});

// converterPorts() for a backend that asks before every exchange, once a second. Scanning costs thousands of file
// opens where the system has many ports; it is repeated only after the kernel has sent a device event, which it
// does for every device added or removed and every driver bound or let go. Where no event count can be read
// (another system, a test tree without one) every call scans.
class ConverterPortScan {
public:
    explicit ConverterPortScan(DeviceRoots roots) : roots_(std::move(roots)) {}
    QList<UsbConverter> ports();

private:
    DeviceRoots roots_;
    QByteArray eventsAtScan_;  // the kernel's event count read just before the last scan
    QList<UsbConverter> ports_;
};

}  // namespace qv
