#include "link/doctor.h"

#include "link/d2xx_library.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace qv {

using namespace Qt::StringLiterals;

namespace {
QString attribute(const QString& dir, const QString& name)
{
    QFile f(dir + u'/' + name);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll().trimmed()) : QString();
}

struct Converter {
    QString name;      // the USB bus path, e.g. 1-1.4
    QString product, serial;
    QString usbNode;   // /dev/bus/usb/001/005
    QString driver;    // the kernel driver bound to its first interface, if any
    QString tty;       // /dev/ttyUSB0 when the serial driver made one
    QString latency;   // the serial driver's latency timer in ms
};

QList<Converter> converters(const DoctorEnvironment& env)
{
    QList<Converter> out;
    QDir devices(env.sysfsRoot + u"/bus/usb/devices"_s);
    for (const QString& name : devices.entryList(QDir::Dirs | QDir::System | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString dir = devices.filePath(name);
        if (name.contains(u':') || attribute(dir, u"idVendor"_s).toLower() != u"0403")
            continue;
        Converter c;
        c.name = name;
        c.product = attribute(dir, u"product"_s);
        c.serial = attribute(dir, u"serial"_s);
        c.usbNode = u"%1/bus/usb/%2/%3"_s.arg(env.devRoot)
                        .arg(attribute(dir, u"busnum"_s).toInt(), 3, 10, QLatin1Char('0'))
                        .arg(attribute(dir, u"devnum"_s).toInt(), 3, 10, QLatin1Char('0'));
        const QStringList interfaces = QDir(dir).entryList({name + u":*"_s}, QDir::Dirs | QDir::System, QDir::Name);
        for (const QString& intf : interfaces) {
            const QString idir = dir + u'/' + intf;
            const QFileInfo driver(idir + u"/driver"_s);
            if (c.driver.isEmpty() && driver.exists())
                c.driver = QFileInfo(driver.symLinkTarget().isEmpty() ? driver.filePath() : driver.symLinkTarget()).fileName();
            const QStringList ttys = QDir(idir).entryList({u"ttyUSB*"_s}, QDir::Dirs | QDir::System, QDir::Name);
            if (c.tty.isEmpty() && !ttys.isEmpty()) {
                c.tty = env.devRoot + u'/' + ttys.first();
                c.latency = attribute(idir + u'/' + ttys.first(), u"latency_timer"_s);
            }
        }
        out.append(c);
    }
    return out;
}
}  // namespace

DoctorEnvironment systemDoctorEnvironment()
{
    DoctorEnvironment env;
    env.canOpen = [](const QString& path) { return ::access(QFile::encodeName(path).constData(), R_OK | W_OK) == 0; };
    D2xxLibrary library;
    if (library.loaded())
        env.d2xxLibrary = library.describe();
    env.d2xxSearched = u"libftd2xx.so in the dynamic loader's path (LD_LIBRARY_PATH, /etc/ld.so.conf, /usr/lib)"_s;
    return env;
}

DoctorReport runDoctor(const DoctorEnvironment& env)
{
    DoctorReport r;
    const auto canOpen = [&](const QString& p) { return env.canOpen ? env.canOpen(p) : false; };
    if (env.d2xxLibrary) {
        r.lines.append({true, u"D2XX library: %1"_s.arg(*env.d2xxLibrary), {}});
    } else {
        r.lines.append({false, u"D2XX library: not found (looked for %1)"_s.arg(env.d2xxSearched),
                        u"install FTDI's D2XX driver (libftd2xx.so into /usr/local/lib, then sudo ldconfig), "
                        "or use the kernel's serial driver with --device serial"_s});
    }

    const QList<Converter> found = converters(env);
    if (found.isEmpty()) {
        r.lines.append({false, u"USB converters of vendor 0403: none attached"_s,
                        u"connect the QV7700's USB cable and switch the instrument on; lsusb should list 0403:"_s});
        return r;
    }
    for (const Converter& c : found) {
        r.lines.append({true, u"converter at USB %1: %2, serial number %3"_s.arg(
                                  c.name, c.product.isEmpty() ? u"(no product name)"_s : c.product,
                                  c.serial.isEmpty() ? u"(none)"_s : c.serial),
                        {}});
        const bool serialDriver = c.driver == u"ftdi_sio";
        if (c.driver.isEmpty()) {
            r.lines.append({true, u"  kernel driver: none (free for the D2XX library)"_s, {}});
        } else if (serialDriver && env.d2xxLibrary) {
            r.lines.append({false, u"  kernel driver: ftdi_sio holds it, so the D2XX library cannot open it"_s,
                            u"use --device serial, or free it for D2XX with: sudo rmmod ftdi_sio usbserial"_s});
        } else {
            r.lines.append({true, u"  kernel driver: %1"_s.arg(c.driver), {}});
        }
        const bool usbOk = canOpen(c.usbNode);
        r.lines.append({usbOk, u"  USB device node %1: %2"_s.arg(c.usbNode, usbOk ? u"you may open it"_s : u"no access"_s),
                        usbOk ? QString()
                              : u"install the udev rule 60-qv7700-remote.rules (it comes with the package), then "
                                "replug the instrument"_s});
        bool ttyOk = false;
        if (!c.tty.isEmpty()) {
            ttyOk = canOpen(c.tty);
            r.lines.append({ttyOk, u"  serial port %1: %2"_s.arg(c.tty, ttyOk ? u"you may open it"_s : u"no access"_s),
                            ttyOk ? QString()
                                  : u"add yourself to the dialout group (sudo adduser $USER dialout, then log in "
                                    "again), or install the udev rule"_s});
            if (!c.latency.isEmpty()) {
                const bool fast = c.latency.toInt() <= 2;
                const QString tty = QFileInfo(c.tty).fileName();
                r.lines.append({true, u"  serial port latency: %1 ms"_s.arg(c.latency),
                                fast ? QString()
                                     : u"for faster screen transfers: echo 1 | sudo tee "
                                       "/sys/bus/usb-serial/devices/%1/latency_timer"_s.arg(tty)});
            }
        } else {
            r.lines.append({true, u"  serial port: none (the kernel's serial driver is not bound)"_s, {}});
        }
        // Some backend can open it: D2XX needs the node and no serial driver; the serial backend needs the port.
        if ((env.d2xxLibrary && usbOk && !serialDriver) || ttyOk)
            r.reachable = true;
    }
    if (!r.reachable)
        r.lines.append({false, u"no backend can open the instrument's converter"_s, u"see the fixes above"_s});
    else
        r.lines.append({true, u"the instrument's converter can be opened"_s, {}});
    return r;
}

QString DoctorReport::render() const
{
    QString out;
    for (const DoctorLine& l : lines) {
        out += (l.ok ? u"[ok] "_s : u"[!!] "_s) + l.text;
        if (!l.fix.isEmpty())
            out += u"\n       fix: "_s + l.fix;
        out += u'\n';
    }
    return out;
}

}  // namespace qv
