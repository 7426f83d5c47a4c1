#include "link/port_scan.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>

namespace qv {

using namespace Qt::StringLiterals;

namespace {
constexpr quint16 kConverterVendor = 0x0403;

QByteArray readAttribute(const QString& dir, const QString& name)
{
    QFile f(dir + u'/' + name);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll().trimmed();
}
}  // namespace

QList<SerialPortEntry> scanUsbSerialPorts(const QString& sysfsRoot, const QString& devRoot)
{
    QList<SerialPortEntry> result;
    QDir ttys(sysfsRoot + u"/class/tty"_s);
    // USB serial converters appear as ttyUSB* (ftdi_sio and its kin) or ttyACM* (modem-class devices).
    const QStringList names = ttys.entryList({u"ttyUSB*"_s, u"ttyACM*"_s},
                                             QDir::Dirs | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        const QFileInfo device(ttys.filePath(name) + u"/device"_s);
        if (!device.exists())
            continue;
        // The tty's device is a USB interface; its parent (or an ancestor) is the USB device with idVendor.
        QString dir = device.canonicalFilePath();
        const QString interfaceDir = dir;
        while (!dir.isEmpty() && dir.startsWith(sysfsRoot) && !QFileInfo::exists(dir + u"/idVendor"_s))
            dir = QFileInfo(dir).path();
        if (dir.isEmpty() || !dir.startsWith(sysfsRoot) || !QFileInfo::exists(dir + u"/idVendor"_s))
            continue;
        SerialPortEntry e;
        e.location = devRoot + u'/' + name;
        bool ok = false;
        e.vendorId = quint16(readAttribute(dir, u"idVendor"_s).toUInt(&ok, 16));
        e.serial = readAttribute(dir, u"serial"_s);
        e.product = QString::fromUtf8(readAttribute(dir, u"product"_s));
        e.usbPath = dir;
        const QFileInfo driver(interfaceDir + u"/driver"_s);
        if (driver.exists())
            e.driver = QFileInfo(driver.canonicalFilePath()).fileName();
        result.append(e);
    }
    return result;
}

QList<SerialPortEntry> converterPorts()
{
    QList<SerialPortEntry> result;
#ifdef Q_OS_LINUX
    if (QFileInfo::exists(u"/sys/class/tty"_s)) {
        for (const auto& e : scanUsbSerialPorts())
            if (e.vendorId == kConverterVendor)
                result.append(e);
        return result;
    }
#endif
    auto infos = QSerialPortInfo::availablePorts();
    std::sort(infos.begin(), infos.end(), [](const QSerialPortInfo& a, const QSerialPortInfo& b) {
        return a.systemLocation() < b.systemLocation();
    });
    for (const auto& info : infos) {
        if (!info.hasVendorIdentifier() || info.vendorIdentifier() != kConverterVendor)
            continue;
        SerialPortEntry e;
        e.location = info.systemLocation();
        e.serial = info.serialNumber().toLatin1();
        e.product = info.description();
        e.vendorId = kConverterVendor;
        result.append(e);
    }
    return result;
}

}  // namespace qv
