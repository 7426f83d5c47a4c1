// The serial backend on a pseudo-terminal pair: the test holds the master end and plays the instrument. Listing a
// port by its path and exchanging bytes through it, untouched, are the end-to-end runs' (a whole binary screen and
// the log over a pty); the listing rules shared by every backend are test_scripting's. Here: what those runs never
// meet, a short read, a peer that goes away, a handle used after its close, and how often the ports are scanned.

#include "link/serial_device.h"
#include "test_rigs.h"

#include <QElapsedTimer>
#include <QTest>

#include <functional>
#include <sys/inotify.h>
#include <thread>
#include <unistd.h>

using namespace qv;
using namespace qv::test;
using namespace Qt::StringLiterals;

namespace {
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
}  // namespace

class TestSerial : public QObject {
    Q_OBJECT
private slots:
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
        QCOMPARE(p.dev.Close(h), ft::INVALID_HANDLE);
        QCOMPARE(p.dev.Read(h, buf, 3, &n), ft::INVALID_HANDLE);
        QCOMPARE(p.dev.Write(h, buf, 2, &n), ft::INVALID_HANDLE);
        QCOMPARE(p.dev.SetTimeouts(h, 500, 0), ft::INVALID_HANDLE);
        QCOMPARE(p.dev.GetQueueStatus(h, &n), ft::INVALID_HANDLE);
        QCOMPARE(p.dev.Close(0), ft::INVALID_HANDLE);
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
};

QTEST_GUILESS_MAIN(TestSerial)
#include "test_serial.moc"
