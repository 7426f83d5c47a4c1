#include "link/usb_scan.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>

namespace qv {

using namespace Qt::StringLiterals;

namespace {
QString attribute(const QString& dir, const QString& name)
{
    QFile f(dir + u'/' + name);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll().trimmed()) : QString();
}

QString driverName(const QString& interfaceDir)
{
    const QFileInfo driver(interfaceDir + u"/driver"_s);
    if (!driver.exists())
        return {};
    return QFileInfo(driver.symLinkTarget().isEmpty() ? driver.filePath() : driver.symLinkTarget()).fileName();
}

// The port, driver and latency timer from the device's interfaces (1-1.4:1.0 and so on).
void readInterfaces(const QString& dir, const QString& name, const QString& devRoot, UsbConverter& c)
{
    const QStringList interfaces = QDir(dir).entryList({name + u":*"_s}, QDir::Dirs | QDir::System, QDir::Name);
    for (const QString& intf : interfaces) {
        const QString idir = dir + u'/' + intf;
        if (c.driver.isEmpty())
            c.driver = driverName(idir);
        const QStringList ttys = QDir(idir).entryList({u"ttyUSB*"_s}, QDir::Dirs | QDir::System, QDir::Name);
        if (c.tty.isEmpty() && !ttys.isEmpty()) {
            c.tty = devRoot + u'/' + ttys.first();
            c.latency = attribute(idir + u'/' + ttys.first(), u"latency_timer"_s);
        }
    }
}
}  // namespace

QList<UsbConverter> scanConverters(const QString& sysfsRoot, const QString& devRoot)
{
    QList<UsbConverter> out;
    const QDir devices(sysfsRoot + u"/bus/usb/devices"_s);
    const QString vendor = u"%1"_s.arg(kConverterVendorId, 4, 16, QLatin1Char('0'));
    for (const QString& name : devices.entryList(QDir::Dirs | QDir::System | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString dir = devices.filePath(name);
        // Interfaces (1-1.4:1.0) sit beside their devices; only whole devices carry a vendor id.
        if (name.contains(u':') || attribute(dir, u"idVendor"_s).toLower() != vendor)
            continue;
        UsbConverter c;
        c.busPath = name;
        c.product = attribute(dir, u"product"_s);
        c.serial = attribute(dir, u"serial"_s).toUtf8();
        c.usbNode = u"%1/bus/usb/%2/%3"_s.arg(devRoot)
                        .arg(attribute(dir, u"busnum"_s).toInt(), 3, 10, QLatin1Char('0'))
                        .arg(attribute(dir, u"devnum"_s).toInt(), 3, 10, QLatin1Char('0'));
        readInterfaces(dir, name, devRoot, c);
        out.append(c);
    }
    return out;
}

namespace {
// Linux counts every device event it sends (uevents); the count is empty where there is none to read.
QByteArray deviceEventCount(const QString& sysfsRoot)
{
    QFile f(sysfsRoot + u"/kernel/uevent_seqnum"_s);
    return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed() : QByteArray();
}
}  // namespace

QList<UsbConverter> converterPorts(const DeviceRoots& roots)
{
    QList<UsbConverter> result;
#ifdef Q_OS_LINUX
    if (QFileInfo::exists(roots.sysfs + u"/bus/usb/devices"_s)) {
        for (const auto& c : scanConverters(roots.sysfs, roots.dev))
            if (!c.tty.isEmpty())
                result.append(c);
        std::sort(result.begin(), result.end(), [](const UsbConverter& a, const UsbConverter& b) { return a.tty < b.tty; });
        return result;
    }
#endif
    auto infos = QSerialPortInfo::availablePorts();
    std::sort(infos.begin(), infos.end(), [](const QSerialPortInfo& a, const QSerialPortInfo& b) {
        return a.systemLocation() < b.systemLocation();
    });
    for (const auto& info : infos) {
        if (!info.hasVendorIdentifier() || info.vendorIdentifier() != kConverterVendorId)
            continue;
        UsbConverter c;
        c.tty = info.systemLocation();
        c.serial = info.serialNumber().toLatin1();
        c.product = info.description();
        result.append(c);
    }
    return result;
}

QList<UsbConverter> ConverterPortScan::ports()
{
    // A plug or an unplug ends with an event counted once its ports are in place or gone, and the count is read
    // before the scan: a change the scan may have missed always leaves a higher count for the next call.
    const QByteArray events = deviceEventCount(roots_.sysfs);
    if (events.isEmpty() || events != eventsAtScan_) {
        ports_ = converterPorts(roots_);
        eventsAtScan_ = events;
    }
    return ports_;
}

}  // namespace qv
