// Front-panel keys, the knob hold loop, panel-state decoding and the status poll, through the scripted device
// and, for the keys' codes and pages, the simulated instrument. Then the simulated instrument itself: it speaks
// the instrument's protocol, key messages in, status replies, screen frames and log records out, in their exact
// formats.

#include "session/session.h"
#include "session/device_select.h"
#include "session/panel_update.h"
#include "session_rig.h"
#include "sim/sim_device.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace qv;
using namespace qv::test;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(qv::Key)

namespace {
// Lamps n to m as letters: '.' grey, 'g' green, 'b' blue, 'r' red, '?' anything else.
QByteArray lamps(const PanelModel& panel, int n, int m)
{
    QByteArray out;
    for (; n <= m; ++n) {
        const Rgb c = panel.lamp(n).value_or(0);
        out += c == palette::Grey ? '.' : c == palette::Green ? 'g' : c == palette::Blue ? 'b' : c == palette::Red ? 'r' : '?';
    }
    return out;
}

QByteArray press(SimInstrument& sim, const QList<int>& codes)
{
    QByteArray out;
    for (int c : codes) {
        const uint8_t msg[2] = {uint8_t(c), 0xF0};
        out += sim.receive(msg, 2);
    }
    return out;
}

QList<Key> litModeKeys(const PanelModel& panel)
{
    QList<Key> lit;
    for (int k = 0; k < kModeKeyCount; ++k)
        if (panel.highlighted(Key(k)))
            lit << Key(k);
    return lit;
}

// The instrument's fixed pauses, short: test_link keeps one "No responce" pause at its real second.
struct Rig : SessionRig {
    Rig() : SessionRig(200) {}
    void poll(const QByteArray& reply)
    {
        dev->replyTo(0xB6, reply);
        session.pollOnce();
    }
    // Holds the knob until `ms` have passed; `during` runs at `at` ms into the hold.
    void hold(int knob, int ms, int at = -1, const std::function<void()>& during = {})
    {
        if (during)
            QTimer::singleShot(at, &session, during);
        QTimer::singleShot(ms, &session, [this, knob] { session.keys().knobUp(knob); });
        session.keys().knobDown(knob);
    }
};
}  // namespace

class TestLive : public QObject {
    Q_OBJECT
private slots:
    // Three mode keys with a call of their exchange failing: the failure is said and the panel follows the key
    // all the same. Every mode key's code and page are checked against the simulated instrument below.
    void modeKey_data()
    {
        QTest::addColumn<Key>("key");
        QTest::addColumn<QByteArray>("knobLamps");
        QTest::addColumn<QString>("firstCaption");
        QTest::addColumn<QString>("failing");
        QTest::addColumn<QStringList>("said");
        QTest::newRow("WFM, List fails") << Key::Wfm << QByteArray("gg.") << u"HORZ"_s << u"List"_s
                                         << QStringList{u"List Device Failed"_s, u"Write Failed"_s,
                                                        u"     No responce from USB"_s, u"Close Failed"_s};
        QTest::newRow("AUDIO, Write fails") << Key::Audio << QByteArray("..g") << u"SOURCE"_s << u"Write"_s
                                            << QStringList{u"Write Failed"_s, u"Close Failed"_s};
        QTest::newRow("PICTURE, Close fails") << Key::Pix << QByteArray("...") << u" "_s << u"Close"_s
                                              << QStringList{u"Close Failed"_s};
    }

    void modeKey()
    {
        QFETCH(Key, key);
        QFETCH(QString, failing);
        Rig r;
        r.dev->failOn(failing);
        r.panel().setHighlight(Key::Vect, true);
        r.session.poll().showPage(0x40);
        r.session.keys().click(key);
        QTEST(r.messages(), "said");
        QVERIFY(!r.dev->isOpen());
        QCOMPARE(litModeKeys(r.panel()), QList<Key>{key});
        QTEST(lamps(r.panel(), 1, 3), "knobLamps");
        QTEST(r.panel().caption(1), "firstCaption");
        QVERIFY(r.session.pollSchedule().isActive());
    }

    // Each mode key brings up on the instrument the page the program now shows, and the poll that reports that page
    // lights the same key with the same lamps.
    void modeKeysAgreeWithTheSimulator()
    {
        auto* dev = new SimDevice;
        Session session{std::unique_ptr<D2xx>(dev)};
        for (int k = 0; k < kModeKeyCount; ++k) {
            session.keys().click(Key(k));
            const QByteArray knobLamps = lamps(session.panel(), 1, 3);
            QCOMPARE(int(dev->instrument().page()), int(session.poll().page()));
            session.pollOnce();
            QCOMPARE(litModeKeys(session.panel()), QList<Key>{Key(k)});
            QCOMPARE(lamps(session.panel(), 1, 3), knobLamps);
        }
        QVERIFY(!dev->isOpen());
        // The channel and EYE the instrument reports, and its video-valid lamp, come back through the same poll.
        session.keys().click(Key::CH2);
        session.keys().click(Key::Eye);
        session.pollOnce();
        QVERIFY(session.panel().highlighted(Key::CH2) && !session.panel().highlighted(Key::CH1));
        QVERIFY(session.panel().highlighted(Key::Eye));
        QCOMPARE(lamps(session.panel(), 4, 4), QByteArray("b"));
        QVERIFY(session.poll().signalPresent() && session.poll().instrumentPresent());
    }

    void channelStoRecEyeAndNumberedKeys()
    {
        Rig r;
        auto& keys = r.session.keys();
        keys.click(Key::CH1);
        keys.click(Key::CH2);
        QVERIFY(r.panel().highlighted(Key::CH2) && !r.panel().highlighted(Key::CH1));
        keys.click(Key::Sto);
        keys.click(Key::Rec);
        QVERIFY(r.panel().highlighted(Key::Sto) && r.panel().highlighted(Key::Rec));
        keys.click(Key::Eye);
        QVERIFY(!r.panel().highlighted(Key::Eye));  // EYE's state comes from the poll
        r.session.pollSchedule().stop();
        keys.click(Key::Soft5);
        QVERIFY(!r.panel().highlighted(Key::Sto) && !r.panel().highlighted(Key::Rec));
        QVERIFY2(!r.session.pollSchedule().isActive(), "numbered keys leave the poll timer alone");
        QCOMPARE(r.dev->written, QByteArray("\x95\xf0\x96\xf0\x97\xf0\x98\xf0\x99\xf0\x85\xf0"));
        QCOMPARE(r.dev->count(u"Close"_s), 6);
    }

    void heldKnobRepeatsThenClosesOnce()
    {
        Rig r;
        r.panel().setHighlight(Key::Wfm, true);
        r.hold(6, 500);
        const int sent = r.dev->written.count("\x9f\xf0");
        QVERIFY2(sent >= 2, qPrintable(u"only %1 messages in half a second"_s.arg(sent)));
        QCOMPARE(r.dev->written.size(), sent * 2);
        QCOMPARE(r.dev->count(u"Close"_s), 1);
        QVERIFY(!r.dev->isOpen() && !r.session.keys().knobHeld());
        QVERIFY2(r.panel().highlighted(Key::Wfm), "only Move Left clears the mode keys");
        r.panel().setHighlight(Key::CH2, true);
        r.hold(1, 60);
        QVERIFY(litModeKeys(r.panel()).isEmpty());
        QVERIFY(r.panel().highlighted(Key::CH2));
        QVERIFY(r.dev->written.mid(2 * sent).startsWith("\x9a\xf0"));
    }

    // The instrument stops answering during a hold: each failed message is said, and the release (which needs
    // the window's events to keep flowing) still ends the hold and closes.
    void silentInstrumentMidHold()
    {
        Rig r;
        r.dev->onCall = [&](const QString& op) {
            if (op == u"Write" && r.dev->count(u"Write"_s) == 3) {
                r.dev->failOn(u"Write"_s);
                r.dev->failOn(u"Close"_s);
            }
        };
        r.hold(2, 300);
        QVERIFY(r.messages().contains(u"     No responce from USB"_s));
        QCOMPARE(r.messages().last(), u"Close Failed"_s);
        QVERIFY(!r.session.keys().knobHeld());
    }

    void releaseBeforeFirstLookSendsNothing()
    {
        Rig r;
        // The mouse-up is already queued when the loop first lets events through.
        r.dev->onCall = [&](const QString& op) {
            if (op == u"OpenEx")
                QTimer::singleShot(0, &r.session, [&] { r.session.keys().knobUp(3); });
        };
        r.session.keys().knobDown(3);
        QCOMPARE(r.dev->count(u"Write"_s), 0);
        QCOMPARE(r.dev->count(u"Close"_s), 1);
    }

    // During a hold a poll tick makes no call, and a key clicked runs after the hold.
    void tickAndKeyDuringHeldKnob()
    {
        Rig r;
        int callsByTick = -1;
        bool heldAtTick = false;
        r.hold(5, 250, 100, [&] {
            heldAtTick = r.session.keys().knobHeld();
            const qsizetype before = r.dev->log.size();
            r.session.pollOnce();
            callsByTick = int(r.dev->log.size() - before);
            r.session.keys().click(Key::Vect);
        });
        QVERIFY(heldAtTick);
        QCOMPARE(callsByTick, 0);
        QVERIFY(!r.dev->written.contains("\xb6\xf0") && !r.dev->written.contains("\x8b\xf0"));
        QTRY_VERIFY(r.dev->written.endsWith("\x8b\xf0"));
        QCOMPARE(r.dev->count(u"Close"_s), 2);
        QVERIFY(r.panel().highlighted(Key::Vect));
    }

    // The page the poll reports: which mode key lights, the three knob lamps, and whether a capture is offered.
    // modeKeysAgreeWithTheSimulator polls each mode key's own page; these are the pages beyond those.
    void pageTable_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("displayFlag");
        QTest::addColumn<int>("lit");  // -1: none
        QTest::addColumn<QByteArray>("knobLamps");
        QTest::addColumn<bool>("captureOffered");
        QTest::newRow("0 picture") << 0 << false << int(Key::Pix) << QByteArray("...") << false;
        QTest::newRow("0 display over picture") << 0 << true << int(Key::Display) << QByteArray("...") << true;
        QTest::newRow("23 chart") << 23 << false << int(Key::Vect) << QByteArray("...") << true;
        QTest::newRow("14 audio sub-page") << 14 << false << int(Key::Audio) << QByteArray("..g") << true;
        QTest::newRow("21 cursor") << 21 << false << int(Key::Curs) << QByteArray("rr.") << true;
        for (int c : {9, 17, 0x40, 255})
            QTest::addRow("other %d", c) << c << false << -1 << QByteArray("bbb") << true;
    }

    void pageTable()
    {
        QFETCH(int, code);
        QFETCH(bool, displayFlag);
        QFETCH(int, lit);
        PanelModel panel;
        for (int n = 1; n <= 3; ++n)
            panel.setLamp(n, palette::Blue);  // what an earlier tick left
        panel.setMenuEnabled(Menu::Get1Frame, true);
        const uint8_t reply[3] = {0, uint8_t(code), 0};
        showReading(decodeStatusReply(reply, displayFlag), panel);
        QCOMPARE(litModeKeys(panel), lit < 0 ? QList<Key>{} : QList<Key>{Key(lit)});
        QTEST(lamps(panel, 1, 3), "knobLamps");
        QTEST(panel.menuEnabled(Menu::Get1Frame), "captureOffered");
    }

    void statusBits_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("ch2");
        QTest::addColumn<bool>("eye");
        QTest::addColumn<QByteArray>("signalLamps");  // lamps 4 to 9
        const char* one[] = {"b.....", ".b....", "..b...", "...b..", "....r.", ".....r"};
        for (int bit = 0; bit < 6; ++bit)
            QTest::addRow("0x%02x", 0x80 >> bit) << (0x80 >> bit) << false << false << QByteArray(one[bit]);
        QTest::newRow("0x02") << 0x02 << true << false << QByteArray("......");
        QTest::newRow("0x01") << 0x01 << false << true << QByteArray("......");
    }

    void statusBits()
    {
        QFETCH(int, status);
        QFETCH(bool, ch2);
        PanelModel panel;
        // Start from the opposite of everything, so that each bit has to be written.
        const uint8_t opposite[3] = {uint8_t(~status), 0x40, 0}, reply[3] = {uint8_t(status), 0x40, 0};
        showReading(decodeStatusReply(opposite, false), panel);
        showReading(decodeStatusReply(reply, false), panel);
        QCOMPARE(panel.highlighted(Key::CH2), ch2);
        QCOMPARE(panel.highlighted(Key::CH1), !ch2);
        QTEST(panel.highlighted(Key::Eye), "eye");
        QTEST(lamps(panel, 4, 9), "signalLamps");
    }

    void shortReadsDecodeAsSentinel_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("nothing") << QByteArray();
        QTest::newRow("one byte") << QByteArray("@");
        QTest::newRow("two bytes") << QByteArray("@@");
    }

    void shortReadsDecodeAsSentinel()
    {
        QFETCH(QByteArray, reply);
        Rig r;
        r.poll(QByteArray("\x80\x01\x03", 3));  // a good tick first: WFM, lamps, signal
        r.session.poll().setInstrumentPresent(false);
        r.status.clear();
        r.poll(reply);
        QCOMPARE(r.messages(), QStringList({u" "_s}));  // counts as present
        QVERIFY(litModeKeys(r.panel()).isEmpty());
        QCOMPARE(lamps(r.panel(), 1, 9), QByteArray("gg..b...."));  // the knob lamps keep their colours
        QVERIFY(r.panel().highlighted(Key::CH1) && !r.panel().highlighted(Key::Eye));
        QVERIFY(!r.session.poll().signalPresent() && !r.session.poll().displayFlag());
        for (int n = 1; n <= 9; ++n)
            QCOMPARE(r.panel().caption(n), u" "_s);
    }

    void code0UsesPreviousDisplayFlag()
    {
        Rig r;
        r.poll(QByteArray("\x00\x08\x01", 3));  // DisplayFlag set by this tick
        r.poll(QByteArray("\x00\x00\x00", 3));  // code 0 decoded with the flag of the tick before
        QVERIFY(r.panel().highlighted(Key::Display));
        QVERIFY(r.panel().menuEnabled(Menu::Get1Frame));
        r.poll(QByteArray("\x00\x00\x00", 3));
        QVERIFY(r.panel().highlighted(Key::Pix));
        QVERIFY(!r.panel().menuEnabled(Menu::Get1Frame));
    }

    // A tick asks for the status and reads its three bytes with a half-second time-out; the first that works
    // clears the status box. Then a tick whose time-out setting fails says nothing and reads nothing; a failed
    // read says so and decodes the sentinel, and stays said while the instrument is still found; a failed close
    // is the instrument's absence, in bold red, until a tick that works.
    void pollFailure_data()
    {
        QTest::addColumn<QString>("failing");
        QTest::addColumn<QString>("said");  // empty: nothing
        QTest::addColumn<bool>("found");
        QTest::addColumn<bool>("signal");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("afterGoodTick");
        QTest::newRow("SetTimeouts") << u"SetTimeouts"_s << QString() << false << true << u"HORZ"_s << u" "_s;
        QTest::newRow("Read") << u"Read"_s << u"  USB Read Failed"_s << true << false << u"GAIN"_s
                              << u"  USB Read Failed"_s;
        QTest::newRow("Close") << u"Close"_s << u"  No QV7700 found, \r\nCheck Power & USB Connectors"_s << false
                               << true << u"CLOCK"_s << u" "_s;
    }

    void pollFailure()
    {
        QFETCH(QString, failing);
        QFETCH(QString, said);
        Rig r;
        r.poll(QByteArray("\x00\x01\x02", 3));  // WFM, signal present
        QCOMPARE(r.dev->log, QStringList({u"List"_s, u"OpenEx"_s, u"Write b6 f0"_s, u"SetTimeouts 500 0"_s,
                                          u"Read 3"_s, u"Close"_s}));
        QCOMPARE(r.messages(), QStringList({u" "_s}));
        r.status.clear();
        r.dev->failOn(failing);
        r.session.poll().showPage(2);  // captions after a failed read come from the code the tick began with
        r.poll(QByteArray("\x00\x05\x02", 3));
        QCOMPARE(r.messages(), said.isEmpty() ? QStringList() : QStringList{said});
        QTEST(r.session.poll().instrumentPresent(), "found");
        QTEST(r.session.poll().signalPresent(), "signal");
        QTEST(r.panel().caption(1), "caption");
        QCOMPARE(r.dev->count(u"Read"_s), failing == u"SetTimeouts" ? 1 : 2);
        QCOMPARE(r.panel().statusBold(), failing == u"Close");
        QCOMPARE(r.panel().statusColour(), failing == u"Close" ? palette::Red : palette::Black);
        QVERIFY(!r.dev->isOpen());
        r.dev->clearFailures();
        r.poll(QByteArray("\x00\x01\x02", 3));
        QTEST(r.panel().statusText(), "afterGoodTick");
        QVERIFY(!r.panel().statusBold());
        QCOMPARE(r.panel().statusColour(), palette::Black);
        QVERIFY(r.panel().highlighted(Key::Wfm));
    }

    void pressNames()
    {
        QCOMPARE(*controlByName(u"picture"_s)->key, Key::Pix);
        QCOMPARE(*controlByName(u"7"_s)->key, Key::Soft7);
        QCOMPARE(controlByName(u"VOL+"_s)->knob, 6);
        QCOMPARE(controlByName(u"LEFT"_s)->knob, 1);
        QVERIFY(!controlByName(u"10"_s));
        QVERIFY(!controlByName(u"SELECT"_s));
    }

    // The page, channel, EYE and signal bits of the status reply reach the panel in this test's poll of the
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

QTEST_GUILESS_MAIN(TestLive)
#include "test_live.moc"
