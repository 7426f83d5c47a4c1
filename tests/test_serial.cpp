// The serial backend on a pseudo-terminal pair: the test holds the master end and plays the instrument. Listing a
// port by its path and exchanging bytes through it, untouched, are the end-to-end runs' (a whole binary screen and
// the log over a pty); the listing rules shared by every backend are test_scripting's. Here: what those runs never
// meet, a short read, a peer that goes away, and a handle used after its close.

#include "link/serial_device.h"
#include "test_rigs.h"

#include <QElapsedTimer>
#include <QTest>

#include <thread>

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
};

QTEST_GUILESS_MAIN(TestSerial)
#include "test_serial.moc"
