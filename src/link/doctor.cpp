#include "link/doctor.h"

#include "link/d2xx_library.h"
#include "link/usb_scan.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace qv {

using namespace Qt::StringLiterals;


namespace {
// The doctor and the device list say the same things in the same words.
const QString kHeldBySerialDriver = u"kernel driver: ftdi_sio holds it, so the D2XX library cannot open it"_s;
const QString kHeldBySerialDriverFix = u"use --device serial, or free it for D2XX with: sudo rmmod ftdi_sio usbserial"_s;
const QString kNoLibraryFix = u"install FTDI's D2XX driver (libftd2xx.so into /usr/local/lib, then sudo ldconfig), "
                              "or use the kernel's serial driver with --device serial"_s;
const QString kUsbNodeFix = u"install the udev rule 60-qv7700-remote.rules (it comes with the package), then "
                            "replug the instrument"_s;
const QString kTtyFix = u"add yourself to the dialout group (sudo adduser $USER dialout, then log in "
                        "again), or install the udev rule"_s;

bool mayOpen(const DoctorEnvironment& env, const QString& path) { return env.canOpen ? env.canOpen(path) : false; }
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
    const auto canOpen = [&](const QString& p) { return mayOpen(env, p); };
    if (env.d2xxLibrary) {
        r.lines.append({true, u"D2XX library: %1"_s.arg(*env.d2xxLibrary), {}});
    } else {
        r.lines.append({false, u"D2XX library: not found (looked for %1)"_s.arg(env.d2xxSearched), kNoLibraryFix});
    }

    const QList<UsbConverter> found = scanConverters(env.sysfsRoot, env.devRoot);
    if (found.isEmpty()) {
        r.lines.append({false, u"USB converters of vendor %1: none attached"_s.arg(kConverterVendorId, 4, 16, QLatin1Char('0')),
                        u"connect the QV7700's USB cable and switch the instrument on; lsusb should list 0403:"_s});
        return r;
    }
    for (const UsbConverter& c : found) {
        r.lines.append({true, u"converter at USB %1: %2, serial number %3"_s.arg(
                                  c.busPath, c.product.isEmpty() ? u"(no product name)"_s : c.product,
                                  c.serial.isEmpty() ? u"(none)"_s : QString::fromUtf8(c.serial)),
                        {}});
        const bool serialDriver = c.driver == u"ftdi_sio";
        if (c.driver.isEmpty()) {
            r.lines.append({true, u"  kernel driver: none (free for the D2XX library)"_s, {}});
        } else if (serialDriver && env.d2xxLibrary) {
            r.lines.append({false, u"  "_s + kHeldBySerialDriver, kHeldBySerialDriverFix});
        } else {
            r.lines.append({true, u"  kernel driver: %1"_s.arg(c.driver), {}});
        }
        const bool usbOk = canOpen(c.usbNode);
        r.lines.append({usbOk, u"  USB device node %1: %2"_s.arg(c.usbNode, usbOk ? u"you may open it"_s : u"no access"_s),
                        usbOk ? QString() : kUsbNodeFix});
        bool ttyOk = false;
        if (!c.tty.isEmpty()) {
            ttyOk = canOpen(c.tty);
            r.lines.append({ttyOk, u"  serial port %1: %2"_s.arg(c.tty, ttyOk ? u"you may open it"_s : u"no access"_s),
                            ttyOk ? QString() : kTtyFix});
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

QList<DeviceEntry> listDevices(const DoctorEnvironment& env)
{
    QList<DeviceEntry> out;
    for (const UsbConverter& c : scanConverters(env.sysfsRoot, env.devRoot)) {
        const DeviceEntry base{{}, QString::fromUtf8(c.serial), c.product, {}, false, {}};
        if (!c.tty.isEmpty()) {
            DeviceEntry e = base;
            e.backend = u"serial"_s;
            e.path = c.tty;
            e.usable = mayOpen(env, c.tty);
            if (!e.usable)
                e.problem = u"serial port %1: no access; fix: %2"_s.arg(c.tty, kTtyFix);
            out.append(e);
        }
        // The vendor library reaches a converter that no kernel driver holds; list it there too when it could.
        if (env.d2xxLibrary || c.tty.isEmpty()) {
            DeviceEntry e = base;
            e.backend = u"d2xx"_s;
            e.path = c.busPath;
            if (!env.d2xxLibrary)
                e.problem = u"D2XX library: not found; fix: "_s + kNoLibraryFix;
            else if (c.driver == u"ftdi_sio")
                e.problem = kHeldBySerialDriver + u"; fix: "_s + kHeldBySerialDriverFix;
            else if (!mayOpen(env, c.usbNode))
                e.problem = u"USB device node %1: no access; fix: %2"_s.arg(c.usbNode, kUsbNodeFix);
            e.usable = e.problem.isEmpty();
            out.append(e);
        }
    }
    return out;
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
