// The link diagnostics against fake /sys and /dev trees: one converter in each of the situations that keep
// engineers from reaching the instrument, and the one where nothing does.

#include "link/doctor.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace qv;
using namespace Qt::StringLiterals;

namespace {
struct Tree {
    QTemporaryDir dir;
    QSet<QString> denied;
    QString sys() const { return dir.filePath(u"sys"_s); }
    QString dev() const { return dir.filePath(u"dev"_s); }
    void write(const QString& path, const QByteArray& text)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text + '\n');
    }
    // A converter at USB 1-1.4, optionally bound to the kernel's serial driver as ttyUSB0.
    void converter(bool serialDriver, const QByteArray& vendor = "0403")
    {
        const QString usb = sys() + u"/bus/usb/devices/1-1.4"_s;
        write(usb + u"/idVendor"_s, vendor);
        write(usb + u"/idProduct"_s, "6001");
        write(usb + u"/product"_s, "QV7700 USB");
        write(usb + u"/serial"_s, "QV77A1B2");
        write(usb + u"/busnum"_s, "1");
        write(usb + u"/devnum"_s, "5");
        const QString intf = usb + u"/1-1.4:1.0"_s;
        QDir().mkpath(intf);
        write(dev() + u"/bus/usb/001/005"_s, "");
        if (serialDriver) {
            QDir().mkpath(sys() + u"/bus/usb/drivers/ftdi_sio"_s);
            QVERIFY(QFile::link(sys() + u"/bus/usb/drivers/ftdi_sio"_s, intf + u"/driver"_s));
            write(intf + u"/ttyUSB0/latency_timer"_s, "16");
            write(dev() + u"/ttyUSB0"_s, "");
            QDir().mkpath(sys() + u"/class/tty/ttyUSB0"_s);
            QVERIFY(QFile::link(intf, sys() + u"/class/tty/ttyUSB0/device"_s));
        }
    }
    DoctorEnvironment env(bool library) const
    {
        DoctorEnvironment e;
        e.sysfsRoot = sys();
        e.devRoot = dev();
        e.canOpen = [this](const QString& p) { return QFileInfo::exists(p) && !denied.contains(p); };
        if (library)
            e.d2xxLibrary = u"/usr/local/lib/libftd2xx.so"_s;
        e.d2xxSearched = u"libftd2xx.so"_s;
        return e;
    }
};

bool says(const DoctorReport& r, const QString& text, bool ok)
{
    for (const DoctorLine& l : r.lines)
        if (l.text.contains(text) && l.ok == ok)
            return true;
    return false;
}
}  // namespace

class TestDoctor : public QObject {
    Q_OBJECT
private slots:
    // Each situation that keeps the instrument out of reach: the lines the report marks failed, and the fixes.
    void unreachable()
    {
        struct Case {
            QByteArray vendor;
            bool serialDriver, library, denied;
            QStringList failing, fixes;
        };
        const Case cases[] = {
            {"1d6b", false, true, false, {u"none attached"_s}, {u"fix: connect the QV7700's USB cable"_s}},  // a hub
            {"0403", true, false, true, {u"/bus/usb/001/005: no access"_s, u"/ttyUSB0: no access"_s},
             {u"dialout"_s, u"60-qv7700-remote.rules"_s}},
            {"0403", false, false, false, {u"D2XX library: not found"_s}, {u"--device serial"_s}},
        };
        for (const Case& c : cases) {
            Tree t;
            t.converter(c.serialDriver, c.vendor);
            if (c.denied)
                t.denied = {t.dev() + u"/bus/usb/001/005"_s, t.dev() + u"/ttyUSB0"_s};
            const DoctorReport r = runDoctor(t.env(c.library));
            QVERIFY(!r.reachable);
            for (const QString& text : c.failing)
                QVERIFY2(says(r, text, false), qPrintable(text));
            for (const QString& fix : c.fixes)
                QVERIFY2(r.render().contains(fix), qPrintable(fix));
        }
    }

    void heldBySerialDriver()
    {
        Tree t;
        t.converter(true);
        const DoctorReport r = runDoctor(t.env(true));
        QVERIFY(says(r, u"QV7700 USB, serial number QV77A1B2"_s, true));
        QVERIFY(says(r, u"ftdi_sio holds it"_s, false));
        QVERIFY(r.render().contains(u"rmmod ftdi_sio"_s));
        QVERIFY(says(r, u"serial port "_s + t.dev() + u"/ttyUSB0: you may open it"_s, true));
        QVERIFY(says(r, u"latency: 16 ms"_s, true));
        QVERIFY(r.render().contains(u"/sys/bus/usb-serial/devices/ttyUSB0/latency_timer"_s));
        QVERIFY(r.reachable);  // the serial backend can still open it
    }

    void allGood()
    {
        Tree t;
        t.converter(false);
        const DoctorReport r = runDoctor(t.env(true));
        QVERIFY(r.reachable);
        for (const DoctorLine& l : r.lines)
            QVERIFY2(l.ok, qPrintable(l.text));
        QVERIFY(says(r, u"free for the D2XX library"_s, true));
    }
};

QTEST_GUILESS_MAIN(TestDoctor)
#include "test_doctor.moc"
