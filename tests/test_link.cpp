// The link layer. The link routines against the scripted device: what goes on the wire, in which order, and
// what the status box says at every failure. The serial backend on a pseudo-terminal pair, the test playing the
// instrument on the master end: listing a port by its path and exchanging bytes through it, untouched, are the
// end-to-end runs' (a whole binary screen and the log over a pty, in test_scripting); the listing rules shared by
// every backend are test_scripting's too. Here: what those runs never meet, a short read, a peer that goes away, a
// handle used after its close, and how often the ports are scanned. The vendor-library backend, loaded from a real
// shared object with the library's nine functions and harmless when the library is absent. The link diagnostics
// against fake /sys and /dev trees: one converter in each of the situations that keep engineers from reaching the
// instrument, and the one where nothing does.

#include "link/d2xx_library.h"
#include "link/doctor.h"
#include "link/serial_device.h"
#include "link/usb_link.h"
#include "scripted_device.h"
#include "state/panel_model.h"
#include "test_rigs.h"

#include <QElapsedTimer>
#include <QLibrary>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <sys/inotify.h>
#include <thread>
#include <unistd.h>

using namespace qv;
using namespace qv::test;
using namespace Qt::StringLiterals;

namespace {
struct Rig {
    PanelModel panel;
    ScriptedDevice dev;
    UsbLink link{panel, dev};
    QSignalSpy status{&panel, &PanelModel::statusTextWritten};
    QStringList messages() const
    {
        QStringList out;
        for (const auto& args : status)
            out << args.at(0).toString();
        return out;
    }
};

// The device opened on the pty's far end, its read time-out set.
struct Port {
    Pty pty;
    SerialDevice dev{pty.slave};
    FtHandle h = 0;
    explicit Port(uint32_t readTimeoutMs)
    {
        if (dev.Open(0, &h) != ft::OK || dev.SetTimeouts(h, readTimeoutMs, 0) != ft::OK)
            h = 0;
    }
    ~Port() { dev.Close(h); }
};

// Every scan of the ports reads each USB device's vendor id; the kernel tells of each read of the one in dir.
struct VendorIdReads {
    int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    explicit VendorIdReads(const QString& dir) { inotify_add_watch(fd, QFile::encodeName(dir).constData(), IN_OPEN); }
    ~VendorIdReads() { ::close(fd); }
    // The reads since the last call.
    int take() const
    {
        alignas(inotify_event) char buf[4096];
        int n = 0;
        for (ssize_t len; (len = ::read(fd, buf, sizeof buf)) > 0;)
            for (ssize_t off = 0; off < len;) {
                const auto* e = reinterpret_cast<const inotify_event*>(buf + off);
                n += e->len && qstrcmp(e->name, "idVendor") == 0;
                off += ssize_t(sizeof(inotify_event) + e->len);
            }
        return n;
    }
};

// Captures what the backend writes to standard error while f runs.
template <typename F>
QByteArray stderrOf(F f)
{
    std::fflush(stderr);
    QTemporaryFile file;
    file.open();
    const int saved = dup(2);
    dup2(file.handle(), 2);
    f();
    std::fflush(stderr);
    dup2(saved, 2);
    ::close(saved);
    file.seek(0);  // the writes through descriptor 2 moved the shared offset
    return file.readAll();
}

bool says(const DoctorReport& r, const QString& text, bool ok)
{
    for (const DoctorLine& l : r.lines)
        if (l.text.contains(text) && l.ok == ok)
            return true;
    return false;
}
}  // namespace

class TestLink : public QObject {
    Q_OBJECT
private slots:
    // A failed list or open never writes the handle: the one from before stays.
    // Work asked for while an exchange holds the device runs after it, in the order it was asked for; asked for
    // while the device is free, it runs at once.
    void heldDeviceDefersWorkInOrder()
    {
        Rig r;
        QStringList ran;
        {
            UsbLink::Hold hold(r.link);
            r.link.whenFree([&] { ran << u"a"_s; });
            r.link.whenFree([&] { ran << u"b"_s; });
            QVERIFY(ran.isEmpty());
        }
        QTRY_COMPARE(ran, QStringList({u"a"_s, u"b"_s}));
        r.link.whenFree([&] { ran << u"c"_s; });
        QCOMPARE(ran.size(), 3);
    }

    void listOrOpenFailureKeepsTheOldHandle()
    {
        for (const auto& [failing, said] : {std::pair{u"List"_s, u"List Device Failed"_s}, {u"OpenEx"_s, u"OpenEx Failed"_s}}) {
            Rig r;
            r.link.handle() = 0x99;
            r.dev.failOn(failing);
            r.link.openDevice();
            QCOMPARE(r.dev.log.last(), failing);  // a failed list skips the open
            QCOMPARE(r.messages(), QStringList{said});
            QCOMPARE(r.link.handle(), 0x99u);
        }
    }

    // The one test of the real "No responce" pause: a second, only when the close after the failed write fails too.
    void writeFailureWaitsOneSecondOnlyWhenTheCloseFails()
    {
        Rig r;
        r.link.openDevice();
        r.dev.failOn(u"Write"_s);
        r.link.sendCode(0x81);
        QVERIFY2(!r.link.waited(), "no pause at all after a close that worked");  // a Wait ends setting it
        QCOMPARE(r.messages(), QStringList({u"Write Failed"_s}));
        QCOMPARE(r.dev.log.mid(2), QStringList({u"Write 81 f0"_s, u"Close"_s}));
        QVERIFY(!r.dev.isOpen());
        r.status.clear();
        r.link.openDevice();
        r.dev.failOn(u"Close"_s);
        QElapsedTimer t;
        t.start();
        r.link.sendCode(0x81);
        QVERIFY(t.elapsed() >= 900);
        QCOMPARE(r.messages(), QStringList({u"Write Failed"_s, u"     No responce from USB"_s}));
    }

    // Wait ends on its own timer's tick, so it cannot end without running the event loop: every pause of every
    // transfer and held-knob test goes through it, and its length is the real second above. A wait inside a wait
    // shares the one tick: the outer ends with the inner.
    void innerWaitEndsTheOuterWait()
    {
        Rig r;
        QElapsedTimer inner;
        QTimer::singleShot(10, &r.panel, [&] {
            inner.start();
            r.link.Wait(40);
        });
        QElapsedTimer t;
        t.start();
        r.link.Wait(30000);
        QVERIFY2(t.elapsed() < 15000, "the outer wait ends with the inner one");
        QVERIFY(inner.isValid());
    }

    void readTimesOutWithFewerBytes()
    {
        Port p(150);
        p.pty.send("ab");
        char buf[5] = {};
        uint32_t got = 99;
        QElapsedTimer t;
        t.start();
        QCOMPARE(p.dev.Read(p.h, buf, 5, &got), ft::OK);  // a time-out is not a failure
        QVERIFY(t.elapsed() >= 100);
        QCOMPARE(QByteArray(buf, int(got)), QByteArray("ab"));
    }

    void peerClosingMidReadKeepsWhatArrivedThenFails()
    {
        Port p(20000);
        std::thread peer([&] {
            QTest::qSleep(50);
            p.pty.send("xyz");
            QTest::qSleep(50);
            p.pty.closeMaster();
        });
        char buf[100] = {};
        uint32_t got = 0, queued = 0, written = 0;
        QElapsedTimer t;
        t.start();
        const FtStatus st = p.dev.Read(p.h, buf, 100, &got);
        peer.join();
        QVERIFY2(t.elapsed() < 10000, "an unplugged peer must not hold the read for its whole time-out");
        QCOMPARE(st, ft::OK);
        QCOMPARE(QByteArray(buf, int(got)), QByteArray("xyz"));
        QVERIFY(p.dev.GetQueueStatus(p.h, &queued) != ft::OK);
        QVERIFY(p.dev.Write(p.h, "\xb6\xf0", 2, &written) != ft::OK);
        QCOMPARE(p.dev.Close(p.h), ft::OK);
    }

    void bytesReceivedBeforeAFailureAreStillRead()
    {
        Port p(100);
        p.pty.send("abc");
        uint32_t queued = 0;
        for (int i = 0; i < 400 && queued < 3; ++i) {
            QCOMPARE(p.dev.GetQueueStatus(p.h, &queued), ft::OK);
            QTest::qSleep(5);
        }
        QCOMPARE(queued, 3u);
        p.pty.closeMaster();  // unplugged: the port fails, but three bytes had already come in
        QCOMPARE(p.dev.GetQueueStatus(p.h, &queued), ft::OK);
        QCOMPARE(queued, 3u);
        char buf[8] = {};
        uint32_t got = 0;
        QCOMPARE(p.dev.Read(p.h, buf, 8, &got), ft::OK);
        QCOMPARE(QByteArray(buf, int(got)), QByteArray("abc"));
        QVERIFY(p.dev.Read(p.h, buf, 8, &got) != ft::OK);
        QCOMPARE(p.dev.Close(p.h), ft::OK);
    }

    void closedHandleNeverReachesTheDriver()
    {
        Port p(500);
        const FtHandle h = p.h;
        QCOMPARE(p.dev.Close(h), ft::OK);
        uint32_t n = 0;
        char buf[4];
        // Close, Read, Write, SetTimeouts, GetQueueStatus on the closed handle, then a close of no handle at all.
        const QList<FtStatus> after{p.dev.Close(h), p.dev.Read(h, buf, 3, &n), p.dev.Write(h, buf, 2, &n),
                                    p.dev.SetTimeouts(h, 500, 0), p.dev.GetQueueStatus(h, &n), p.dev.Close(0)};
        QCOMPARE(after, QList<FtStatus>(6, ft::INVALID_HANDLE));
    }

    void portsScannedOnlyAfterADeviceEvent_data()
    {
        QTest::addColumn<bool>("byPath");
        QTest::newRow("the pty's own path") << true;
        QTest::newRow("first converter") << false;
    }

    // A poll opens the port every second; only a plug or an unplug may cost a scan, and it shows at the very next
    // exchange: a port given by path has the converter's serial number while the converter is plugged.
    void portsScannedOnlyAfterADeviceEvent()
    {
        QFETCH(bool, byPath);
        FakeConverters t;
        Pty pty;
        t.add(1, "QVA", u"ttyUSB0"_s, pty.slave);
        SerialDevice dev(byPath ? pty.slave : QString(), t.roots());
        VendorIdReads scans(t.sys() + u"/bus/usb/devices/1-1.1"_s);
        // As every exchange opens the device: the first one listed, then opened by its serial number.
        const auto exchange = [&dev]() -> QByteArray {
            char serial[100] = {};
            FtHandle h = 0;
            if (dev.ListDevices(nullptr, serial, ft::LIST_BY_INDEX | ft::OPEN_BY_SERIAL_NUMBER) != ft::OK)
                return "not listed";
            if (dev.OpenEx(serial, ft::OPEN_BY_SERIAL_NUMBER, &h) != ft::OK || dev.Close(h) != ft::OK)
                return "not opened";
            return serial;
        };
        const QByteArray unplugged = byPath ? pty.slave.toLocal8Bit() : "not listed";
        const std::function<void()> steps[] = {[] {}, [&] { t.unplug(1, u"ttyUSB0"_s); },
                                               [&] { t.plug(1, u"ttyUSB1"_s, pty.slave); }};
        for (int step = 0; step < 3; ++step) {
            steps[step]();
            for (int poll = 0; poll < 3; ++poll)
                QCOMPARE(exchange(), step == 1 ? unplugged : QByteArray("QVA"));
            QCOMPARE(scans.take(), 1);
        }
    }

    void absentLibraryFailsEveryCallAndSaysSoOnce()
    {
        D2xxLibrary lib(u"qv_no_such_ftd2xx"_s);
        QVERIFY(!lib.loaded());
        const QByteArray said = stderrOf([&] {
            char serial[100] = {};
            FtHandle h = 0;
            uint32_t n = 0;
            char buf[4] = {};
            // In this order: ListDevices, OpenEx, Open, Write, Read, SetTimeouts, SetUSBParameters, GetQueueStatus,
            // Close. A failure names the first call that worked.
            const QList<FtStatus> all{lib.ListDevices(nullptr, serial, ft::LIST_BY_INDEX | ft::OPEN_BY_SERIAL_NUMBER),
                                      lib.OpenEx(serial, ft::OPEN_BY_SERIAL_NUMBER, &h), lib.Open(0, &h),
                                      lib.Write(h, buf, 2, &n), lib.Read(h, buf, 3, &n), lib.SetTimeouts(h, 500, 0),
                                      lib.SetUSBParameters(h, 8192, 8192), lib.GetQueueStatus(h, &n), lib.Close(h)};
            QCOMPARE(all.indexOf(ft::OK), -1);
        });
        QCOMPARE(said.count("could not be used"), 1);
        QVERIFY(said.contains("qv_no_such_ftd2xx"));
        QVERIFY(said.contains("--device serial"));
    }

    void realSharedObjectRoundTrip()
    {
        D2xxLibrary lib(QStringLiteral(FAKE_FTD2XX_PATH));
        QVERIFY2(lib.loaded(), qPrintable(lib.loadError()));
        PanelModel panel;
        UsbLink link(panel, lib);
        link.openDevice();
        QCOMPARE(QByteArray(link.serialNumber()), QByteArray("FAKE0001"));
        QVERIFY(link.handle() != 0);
        // Asked for a 2 ms latency timer (refused by this chip, and the open still stands) and 8 KB transfers.
        QLibrary fake(QStringLiteral(FAKE_FTD2XX_PATH));
        auto latency = reinterpret_cast<unsigned (*)()>(fake.resolve("fake_last_latency"));
        auto inSize = reinterpret_cast<unsigned (*)()>(fake.resolve("fake_last_in_size"));
        QVERIFY(latency && inSize);
        QCOMPARE(latency(), 2u);
        QCOMPARE(inSize(), 8192u);
        link.sendCode(0xB6);
        QCOMPARE(lib.SetTimeouts(link.handle(), 500, 0), ft::OK);
        uint32_t queued = 0;
        QCOMPARE(lib.GetQueueStatus(link.handle(), &queued), ft::OK);
        QCOMPARE(queued, 2u);
        uint32_t got = 0;
        QCOMPARE(lib.Read(link.handle(), link.replyBuffer().data(), 3, &got), ft::OK);
        QCOMPARE(got, 2u);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(link.replyBuffer().data()), 2), QByteArray("\xb6\x49"));
        QCOMPARE(link.closeDevice(), ft::OK);
        // The closed handle is never handed to the library again.
        QCOMPARE(link.closeDevice(), ft::INVALID_HANDLE);
        QVERIFY(panel.statusText().isEmpty());
    }

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
            FakeConverters t;
            t.add(5, "QV77A1B2", c.serialDriver ? u"ttyUSB0"_s : QString(), {}, c.vendor);
            QSet<QString> denied;
            if (c.denied)
                denied = {t.dev() + u"/bus/usb/001/005"_s, t.dev() + u"/ttyUSB0"_s};
            const DoctorReport r = runDoctor(t.environment(c.library, denied));
            QVERIFY(!r.reachable);
            for (const QString& text : c.failing)
                QVERIFY2(says(r, text, false), qPrintable(text));
            for (const QString& fix : c.fixes)
                QVERIFY2(r.render().contains(fix), qPrintable(fix));
        }
    }

    void heldBySerialDriver()
    {
        FakeConverters t;
        t.add(5, "QV77A1B2", u"ttyUSB0"_s);
        const DoctorReport r = runDoctor(t.environment(true));
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
        FakeConverters t;
        t.add(5, "QV77A1B2");
        const DoctorReport r = runDoctor(t.environment(true));
        QVERIFY(r.reachable);
        for (const DoctorLine& l : r.lines)
            QVERIFY2(l.ok, qPrintable(l.text));
        QVERIFY(says(r, u"free for the D2XX library"_s, true));
    }
};

QTEST_GUILESS_MAIN(TestLink)
#include "test_link.moc"
