// The simulated instrument speaks the instrument's protocol: key messages in, status replies, screen frames
// and log records out, in their exact formats.

#include "session/device_select.h"
#include "sim/sim_device.h"

#include <QElapsedTimer>

#include <QTest>

using namespace qv;
using namespace Qt::StringLiterals;

namespace {
QByteArray press(SimInstrument& sim, const QList<int>& codes)
{
    QByteArray out;
    for (int c : codes) {
        const uint8_t msg[2] = {uint8_t(c), 0xF0};
        out += sim.receive(msg, 2);
    }
    return out;
}
}  // namespace

class TestSim : public QObject {
    Q_OBJECT
private slots:
    // The page, channel, EYE and signal bits of the status reply reach the panel in test_live's poll of the
    // simulator; the display flag is the one it never sees.
    void displayOverThePictureKeepsPageZeroAndSaysSo()
    {
        SimInstrument sim;
        QCOMPARE(uint8_t(press(sim, {0x92, 0xB6})[2]) & 0x01, 0);  // PICTURE alone
        const QByteArray r = press(sim, {0x91, 0xB6});
        QCOMPARE(int(uint8_t(r[1])), 0);  // DISPLAY over the picture keeps page 0 ...
        QCOMPARE(uint8_t(r[2]) & 0x01, 0x01);  // ... and says so in flag bit 0
    }

    void keyBytesWithoutTrailerAreDropped()
    {
        SimInstrument sim;
        const uint8_t garbage[] = {0x8B, 0x00, 0xF0, 0xF0, 0x8C};
        QVERIFY(sim.receive(garbage, sizeof garbage).isEmpty());
        QCOMPARE(int(sim.page()), 1);
        const uint8_t rest[] = {0xF0};
        sim.receive(rest, 1);  // a message split across two writes still counts
        QCOMPARE(int(sim.page()), 3);
    }

    void everySubPageIsReachable_data()
    {
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<int>("page");
        QTest::newRow("clock") << QList<int>{0x8E, 0x81} << 10;
        for (int n = 1; n <= 4; ++n)
            QTest::addRow("audio %d", n) << QList<int>{0x8C, 0x80 + n} << 10 + n;
        QTest::newRow("gamut") << QList<int>{0x91, 0x84} << 17;
        for (int n = 1; n <= 3; ++n)
            QTest::addRow("cursor %d", n) << QList<int>{0x8D, 0x80 + n} << 18 + n;
        QTest::newRow("chart") << QList<int>{0x8B, 0x84} << 23;
        QTest::newRow("safe area") << QList<int>{0x91, 0x85} << 24;
        QTest::newRow("return") << QList<int>{0x8C, 0x82, 0x89} << 3;
    }

    void everySubPageIsReachable()
    {
        QFETCH(QList<int>, keys);
        SimInstrument sim;
        press(sim, keys);
        QTEST(int(sim.page()), "page");
    }

    void screenTypeFollowsPageAndSettings()
    {
        SimInstrument sim;
        press(sim, {0x8C});
        QCOMPARE(int(sim.screenTypeCode()), 11);  // BBC meter
        press(sim, {0x82, 0x82});                // SCALE page, EBU
        QCOMPARE(int(sim.screenTypeCode()), 13);
        press(sim, {0x91, 0x86});  // DISPLAY, TILE
        QCOMPARE(int(sim.screenTypeCode()), 23);  // EBU in the tiled order
        press(sim, {0x86});
        QCOMPARE(int(sim.screenTypeCode()), 30);  // the 709 tiled variant
        press(sim, {0x86, 0x8B, 0x84});
        QCOMPARE(int(sim.screenTypeCode()), 7);
        press(sim, {0x92});
        QCOMPARE(int(sim.screenTypeCode()), 0);
        press(sim, {0x90, 0x81});  // DATA, A/DIG: the analogue input has no signal
        QVERIFY(!sim.signalPresent());
    }

    void logRecordsHaveTheInstrumentsFormat()
    {
        SimInstrument sim(42);
        press(sim, {0xB3});
        const int total = SimInstrument::kHeaderRecords + sim.logEntryCount() + 1;
        QVERIFY(sim.logEntryCount() >= 24);
        for (int i = 0; i < total; ++i) {
            const QByteArray rec = press(sim, {0xB4});
            QVERIFY(rec.size() >= 36 && rec.size() <= 50);
            const int space = int(rec.indexOf(' '));
            QVERIFY(space >= 0 && space < 40);
            const int lf = int(rec.indexOf('\n', space + 30));
            QVERIFY2(lf >= 0 && lf < 40, rec.constData());
            const bool endMark = rec.at(space + 1) == 'E';
            QCOMPARE(endMark, i == total - 1);
        }
        press(sim, {0xB5});
        QCOMPARE(sim.logEntryCount(), 0);
    }

    void sameSeedSameInstrument()
    {
        SimInstrument a(5), b(5), c(6);
        QCOMPARE(a.logRecord(10), b.logRecord(10));
        QCOMPARE(press(a, {0xB0}), press(b, {0xB0}));
        QVERIFY(a.logEntryCount() != c.logEntryCount() || a.logRecord(6) != c.logRecord(6));
    }

    // Only lower bounds on the clock: the bytes cannot come sooner than the model lets them, whatever the load.
    void linkModelDelaysAndPacesReplies()
    {
        SimDevice dev;
        dev.setLink(60, 100000);  // 60 ms latency, 100 kB/s
        char serial[100] = "QV7700SIM";
        FtHandle h = 0;
        QCOMPARE(dev.OpenEx(serial, ft::OPEN_BY_SERIAL_NUMBER, &h), ft::OK);
        QCOMPARE(dev.SetTimeouts(h, 5000, 0), ft::OK);
        uint32_t n = 0;
        QElapsedTimer t;
        t.start();
        QCOMPARE(dev.Write(h, "\xb0\xf0", 2, &n), ft::OK);
        char header[5];
        QCOMPARE(dev.Read(h, header, 5, &n), ft::OK);
        QCOMPARE(n, 5u);
        QVERIFY(t.elapsed() >= 60);
        // A whole block comes the latency and then about 82 ms after its request.
        t.restart();
        QCOMPARE(dev.Write(h, "\xb2\xf0", 2, &n), ft::OK);
        QByteArray block(8160, '\0');
        QCOMPARE(dev.Read(h, block.data(), 8160, &n), ft::OK);
        QCOMPARE(n, 8160u);
        QVERIFY(t.elapsed() >= 60 + 81);
        QCOMPARE(dev.Close(h), ft::OK);
    }

    void linkArrivals_data()
    {
        QTest::addColumn<qint64>("ns");
        QTest::addColumn<qint64>("rate");
        QTest::addColumn<qint64>("arrived");  // of a whole block
        QTest::newRow("no rate: all at once") << qint64(0) << qint64(0) << qint64(8160);
        QTest::newRow("first byte at once") << qint64(0) << qint64(1000000) << qint64(1);
        QTest::newRow("1 ms at 1 MB/s") << qint64(1000000) << qint64(1000000) << qint64(1001);
        QTest::newRow("9 ms at 1 MB/s") << qint64(9000000) << qint64(1000000) << qint64(8160);
        QTest::newRow("100 s at 100 MB/s") << qint64(100000000000) << qint64(100000000) << qint64(8160);
        QTest::newRow("3 s at the largest rate") << qint64(3000000000) << std::numeric_limits<qint64>::max() << qint64(8160);
    }

    void linkArrivals()
    {
        QFETCH(qint64, ns);
        QFETCH(qint64, rate);
        QTEST(linkBytesArrived(ns, rate, 8160), "arrived");
    }

    void deviceNames()
    {
        QString error;
        // Plain "sim" and "serial:PATH" are what every end-to-end run uses.
        for (const QString& good : {u"sim:16"_s, u"sim:10000:100000000"_s, u"sim:0:0"_s})  // rate 0: at once
            QVERIFY2(makeDevice(good, &error), qPrintable(error));
        for (const QString& bad : {u"sim:x"_s, u"sim:1:2:3"_s, u"serial:"_s, u"usb"_s, u"sim:-1"_s, u"sim:10001"_s,
                                   u"sim:2:-5"_s, u"sim:2:100000001"_s, u"sim:2:9223372036854775807"_s}) {
            error.clear();
            QVERIFY2(!makeDevice(bad, &error), qPrintable(bad));
            QVERIFY(error.contains(bad) && error.contains(u"--device"_s));
        }
    }

    void deviceOpensOnceAndUnplugs()
    {
        SimDevice dev;
        char serial[100] = {};
        QCOMPARE(dev.ListDevices(nullptr, serial, ft::LIST_BY_INDEX | ft::OPEN_BY_SERIAL_NUMBER), ft::OK);
        QCOMPARE(QByteArray(serial), QByteArray("QV7700SIM"));
        FtHandle h = 0, h2 = 0;
        QCOMPARE(dev.OpenEx(serial, ft::OPEN_BY_SERIAL_NUMBER, &h), ft::OK);
        QVERIFY(dev.OpenEx(serial, ft::OPEN_BY_SERIAL_NUMBER, &h2) != ft::OK);
        dev.setPlugged(false);
        uint32_t n = 0;
        QVERIFY(dev.Write(h, "\xb6\xf0", 2, &n) != ft::OK);
        QVERIFY(dev.Close(h) != ft::OK);
        QVERIFY(dev.ListDevices(nullptr, serial, ft::LIST_BY_INDEX | ft::OPEN_BY_SERIAL_NUMBER) != ft::OK);
    }
};

QTEST_GUILESS_MAIN(TestSim)
#include "test_sim.moc"
