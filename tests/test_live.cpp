// Front-panel keys, the knob hold loop, panel-state decoding and the status poll, through the scripted device
// and, for the keys' codes and pages, the simulated instrument.

#include "session/session.h"
#include "session/panel_update.h"
#include "session_rig.h"
#include "sim/sim_device.h"

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
};

QTEST_GUILESS_MAIN(TestLive)
#include "test_live.moc"
