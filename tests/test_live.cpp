// Front-panel keys, the knob hold loop, soft-key captions, panel-state decoding and the status poll, through
// the scripted device and, end to end, the simulated instrument.

#include "app/remote.h"
#include "live/panel_state.h"
#include "live/soft_keys.h"
#include "scripted_device.h"
#include "sim/sim_device.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace qv;
using namespace qv::test;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(qv::Key)

namespace {
struct Rig {
    ScriptedDevice* dev;
    Remote remote;
    QSignalSpy status;
    Rig() : dev(new ScriptedDevice), remote(std::unique_ptr<D2xx>(dev)), status(&remote.panel(), &PanelModel::statusTextWritten)
    {
        // The instrument's fixed pauses, short: test_link keeps one "No responce" pause at its real second.
        remote.link().noResponsePauseMs = 10;
        remote.poll().absencePauseMs = 5;
    }
    PanelModel& panel() { return remote.panel(); }
    SharedState& state() { return remote.state(); }
    QStringList messages() const
    {
        QStringList out;
        for (const auto& args : status)
            out << args.at(0).toString();
        return out;
    }
    QList<Key> litModeKeys()
    {
        QList<Key> lit;
        for (int k = 0; k < kModeKeyCount; ++k)
            if (panel().highlighted(Key(k)))
                lit << Key(k);
        return lit;
    }
    void poll(const QByteArray& reply)
    {
        dev->replyTo(0xB6, reply);
        remote.poll().Timer3_Timer();
    }
};

constexpr Rgb G = qb::Grey, Gn = qb::Green, R = qb::Red, B = qb::Blue;
}  // namespace

class TestLive : public QObject {
    Q_OBJECT
private slots:
    void modeKey_data()
    {
        QTest::addColumn<Key>("key");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QList<Rgb>>("lamps");
        QTest::addColumn<QString>("firstCaption");
        QTest::addColumn<QString>("failing");
        const struct {
            const char* name;
            Key key;
            int code, mode;
            QList<Rgb> lamps;
            QString caption;
        } rows[] = {
            {"WFM", Key::Wfm, 0x8A, 1, {Gn, Gn, G}, u"HORZ"_s},      {"VECT", Key::Vect, 0x8B, 2, {G, G, G}, u"GAIN"_s},
            {"AUDIO", Key::Audio, 0x8C, 3, {G, G, Gn}, u"SOURCE"_s}, {"CURS", Key::Curs, 0x8D, 4, {G, G, G}, u" AMP"_s},
            {"LOGGER", Key::Logger, 0x8E, 5, {G, G, G}, u"CLOCK"_s}, {"ALARM", Key::Alarm, 0x8F, 6, {G, G, G}, u" ILL"_s},
            {"DATA", Key::Data, 0x90, 7, {G, G, G}, u"A/DIG"_s},     {"DISPLAY", Key::Display, 0x91, 8, {G, G, G}, u"SCL UP"_s},
            {"PICTURE", Key::Pix, 0x92, 0, {G, G, G}, u" "_s},
        };
        for (const auto& r : rows) {
            for (const QString& failing : {QString(), u"List"_s, u"Write"_s, u"Close"_s})
                QTest::addRow("%s %s", r.name, failing.isEmpty() ? "ok" : qPrintable(failing))
                    << r.key << r.code << r.mode << r.lamps << r.caption << failing;
        }
    }

    // The panel follows a mode key whether or not the exchange worked.
    void modeKey()
    {
        QFETCH(Key, key);
        QFETCH(int, code);
        QFETCH(int, mode);
        QFETCH(QList<Rgb>, lamps);
        QFETCH(QString, firstCaption);
        QFETCH(QString, failing);
        Rig r;
        if (!failing.isEmpty())
            r.dev->failOn(failing);
        r.panel().setHighlight(Key::Vect, true);
        r.state().ModeCode = 0x40;
        r.remote.keys().click(key);
        if (failing.isEmpty()) {
            QCOMPARE(r.dev->written, QByteArray(1, char(code)) + char(0xF0));
            QCOMPARE(r.dev->log, QStringList({u"List"_s, u"OpenEx"_s, u"Write %1 f0"_s.arg(code, 2, 16), u"Close"_s}));
            QVERIFY(r.messages().isEmpty());
        } else {
            QVERIFY(!r.messages().isEmpty());
        }
        QVERIFY(!r.dev->isOpen());
        QCOMPARE(r.litModeKeys(), QList<Key>{key});
        QCOMPARE(r.panel().highlighted(key), true);
        QCOMPARE(QList<Rgb>({*r.panel().lamp(1), *r.panel().lamp(2), *r.panel().lamp(3)}), lamps);
        QCOMPARE(int(r.state().ModeCode), mode);
        QCOMPARE(r.panel().caption(1), firstCaption);
        QVERIFY(r.remote.timer3().isActive());
    }

    void channelStoRecEyeAndNumberedKeys()
    {
        Rig r;
        auto& keys = r.remote.keys();
        keys.click(Key::CH1);
        keys.click(Key::CH2);
        QVERIFY(r.panel().highlighted(Key::CH2));
        QVERIFY(!r.panel().highlighted(Key::CH1));
        keys.click(Key::Sto);
        keys.click(Key::Rec);
        QVERIFY(r.panel().highlighted(Key::Sto) && r.panel().highlighted(Key::Rec));
        keys.click(Key::Eye);
        QVERIFY(!r.panel().highlighted(Key::Eye));  // EYE's state comes from the poll
        QVERIFY(r.panel().highlighted(Key::Sto));
        r.remote.timer3().stop();
        keys.click(Key::Soft5);
        QVERIFY(!r.panel().highlighted(Key::Sto) && !r.panel().highlighted(Key::Rec));
        QVERIFY2(!r.remote.timer3().isActive(), "numbered keys leave the poll timer alone");
        QCOMPARE(r.dev->written, QByteArray("\x95\xf0\x96\xf0\x97\xf0\x98\xf0\x99\xf0\x85\xf0"));
        QCOMPARE(r.dev->count(u"Close"_s), 6);
    }

    void closeFailureSaysCloseFailed()
    {
        Rig r;
        r.dev->failOn(u"Close"_s);
        r.remote.keys().click(Key::Soft1);
        QCOMPARE(r.messages(), QStringList({u"Close Failed"_s}));
    }

    void heldKnobRepeatsThenClosesOnce()
    {
        Rig r;
        r.panel().setHighlight(Key::Wfm, true);
        QTimer::singleShot(500, &r.remote, [&] { r.remote.keys().knobUp(6); });
        r.remote.keys().knobDown(6);
        const int sent = r.dev->written.count("\x9f\xf0");
        QVERIFY2(sent >= 4, qPrintable(u"only %1 messages in half a second"_s.arg(sent)));
        QCOMPARE(r.dev->written.size(), sent * 2);
        QCOMPARE(r.dev->count(u"Close"_s), 1);
        QCOMPARE(r.dev->log.first(), u"List"_s);
        QCOMPARE(r.dev->log.at(2), u"Write 9f f0"_s);  // the first message right after the open
        QVERIFY(!r.dev->isOpen());
        QVERIFY(!r.state().KnobHeld);
        QVERIFY2(r.panel().highlighted(Key::Wfm), "only Move Left clears the mode keys");
    }

    void moveLeftClearsModeKeys()
    {
        Rig r;
        r.panel().setHighlight(Key::Wfm, true);
        r.panel().setHighlight(Key::CH2, true);
        QTimer::singleShot(60, &r.remote, [&] { r.remote.keys().knobUp(1); });
        r.remote.keys().knobDown(1);
        QVERIFY(r.litModeKeys().isEmpty());
        QVERIFY(r.panel().highlighted(Key::CH2));
        QVERIFY(r.dev->written.startsWith("\x9a\xf0"));
    }

    void releaseBeforeFirstLookSendsNothing()
    {
        Rig r;
        // The mouse-up is already queued when the loop first lets events through.
        r.dev->onCall = [&](const QString& op) {
            if (op == u"OpenEx")
                QTimer::singleShot(0, &r.remote, [&] { r.remote.keys().knobUp(3); });
        };
        r.remote.keys().knobDown(3);
        QCOMPARE(r.dev->count(u"Write"_s), 0);
        QCOMPARE(r.dev->count(u"Close"_s), 1);
    }

    void silentInstrumentMidHoldKeepsWindowAlive()
    {
        Rig r;
        int eventsHandled = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&] { ++eventsHandled; });
        ticker.start(20);
        r.dev->onCall = [&](const QString& op) {
            if (op == u"Write" && r.dev->count(u"Write"_s) == 3) {
                r.dev->failOn(u"Write"_s);
                r.dev->failOn(u"Close"_s);
            }
        };
        QTimer::singleShot(1300, &r.remote, [&] { r.remote.keys().knobUp(2); });
        r.remote.keys().knobDown(2);
        QVERIFY(r.messages().contains(u"     No responce from USB"_s));
        QCOMPARE(r.messages().last(), u"Close Failed"_s);
        QVERIFY2(eventsHandled > 20, "events kept flowing while the knob was held");
    }

    void pollTickDuringHeldKnobDoesNothing()
    {
        Rig r;
        int logAtTick = -1, logAfterTick = -1;
        QTimer::singleShot(120, &r.remote, [&] {
            logAtTick = int(r.dev->log.size());
            r.remote.poll().Timer3_Timer();
            logAfterTick = int(r.dev->log.size());
        });
        QTimer::singleShot(250, &r.remote, [&] { r.remote.keys().knobUp(4); });
        r.remote.keys().knobDown(4);
        QVERIFY(logAtTick > 0);
        QCOMPARE(logAfterTick, logAtTick);
        QVERIFY(!r.dev->written.contains("\xb6\xf0"));
    }

    void keyClickedDuringHoldRunsAfterIt()
    {
        Rig r;
        QTimer::singleShot(100, &r.remote, [&] { r.remote.keys().click(Key::Vect); });
        QTimer::singleShot(250, &r.remote, [&] { r.remote.keys().knobUp(5); });
        r.remote.keys().knobDown(5);
        QVERIFY(!r.dev->written.contains("\x8b\xf0"));
        QTRY_VERIFY(r.dev->written.endsWith("\x8b\xf0"));
        QCOMPARE(r.dev->count(u"Close"_s), 2);
        QVERIFY(r.panel().highlighted(Key::Vect));
    }

    void captions_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QStringList>("captions");
        const QString b = u" "_s;
        QTest::newRow("WFM") << 1 << QStringList{u"HORZ"_s, u"VERT"_s, u"INT/EXT"_s, u"BLNK"_s, u" STO"_s, u" MAG"_s, u"FILTER"_s, u"BOWTIE"_s, b};
        QTest::newRow("clock") << 10 << QStringList{u" H+"_s, u" H-"_s, u" M+"_s, u" M-"_s, b, b, b, u" SET"_s, u" RET"_s};
        QTest::newRow("scales") << 12 << QStringList{u" BBC"_s, u" EBU"_s, u" VU"_s, u" NORDIC"_s, u"DIGITAL"_s, u" DIN"_s, u"EXP DIN"_s, b, u" RET"_s};
        QTest::newRow("gamut") << 17 << QStringList{u"0 dB"_s, u"-5 dB"_s, u"-10 dB"_s, u"-15 dB"_s, u"-20 dB"_s, u"-25 dB"_s, b, u" SET"_s, u" RET"_s};
        QTest::newRow("safe area") << 24 << QStringList{u" OFF"_s, u"16:9"_s, u"14:9"_s, u"4:3"_s, b, b, b, b, u" RET"_s};
        for (int code : {19, 20, 21})
            QTest::addRow("cursor %d", code) << code << QStringList{b, b, b, b, b, b, b, b, u" RET"_s};
        for (int code : {0, 9, 15, 23, 0x40, 255})
            QTest::addRow("blank %d", code) << code << QStringList{b, b, b, b, b, b, b, b, b};
    }

    void captions()
    {
        QFETCH(int, code);
        QFETCH(QStringList, captions);
        PanelModel panel;
        SetSoftKeyLabels(uint8_t(code), panel);
        for (int n = 1; n <= 9; ++n)
            QCOMPARE(panel.caption(n), captions.at(n - 1));
    }

    void pageTable_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("displayFlag");
        QTest::addColumn<int>("lit");  // -1: none
        QTest::addColumn<QList<Rgb>>("lamps");
        QTest::addColumn<bool>("captureOffered");
        const QList<Rgb> off{G, G, G}, kept{B, B, B};
        QTest::newRow("0 picture") << 0 << false << int(Key::Pix) << off << false;
        QTest::newRow("0 display over picture") << 0 << true << int(Key::Display) << off << true;
        QTest::newRow("1") << 1 << false << int(Key::Wfm) << QList<Rgb>{Gn, Gn, G} << true;
        for (int c : {2, 23})
            QTest::addRow("%d", c) << c << false << int(Key::Vect) << off << true;
        for (int c : {3, 11, 12, 13, 14})
            QTest::addRow("%d", c) << c << false << int(Key::Audio) << QList<Rgb>{G, G, Gn} << true;
        QTest::newRow("4") << 4 << false << int(Key::Curs) << off << true;
        for (int c : {19, 20, 21})
            QTest::addRow("%d", c) << c << false << int(Key::Curs) << QList<Rgb>{R, R, G} << true;
        QTest::newRow("5") << 5 << false << int(Key::Logger) << off << true;
        QTest::newRow("6") << 6 << false << int(Key::Alarm) << off << true;
        QTest::newRow("7") << 7 << false << int(Key::Data) << off << true;
        QTest::newRow("8") << 8 << true << int(Key::Display) << off << true;
        for (int c : {9, 10, 17, 24, 0x40, 255})
            QTest::addRow("other %d", c) << c << false << -1 << kept << true;
    }

    void pageTable()
    {
        QFETCH(int, code);
        QFETCH(bool, displayFlag);
        QFETCH(int, lit);
        QFETCH(QList<Rgb>, lamps);
        QFETCH(bool, captureOffered);
        PanelModel panel;
        for (int n = 1; n <= 3; ++n)
            panel.setLamp(n, B);  // what an earlier tick left
        ResetModeButtons(panel);
        panel.setMenuEnabled(Menu::Get1Frame, true);
        UpdatePanelState(0, uint8_t(code), displayFlag, panel);
        for (int k = 0; k < kModeKeyCount; ++k)
            QCOMPARE(panel.highlighted(Key(k)), k == lit);
        QCOMPARE(QList<Rgb>({*panel.lamp(1), *panel.lamp(2), *panel.lamp(3)}), lamps);
        QCOMPARE(panel.menuEnabled(Menu::Get1Frame), captureOffered);
    }

    void statusBits_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("ch2");
        QTest::addColumn<bool>("eye");
        QTest::addColumn<QList<Rgb>>("lamps");  // Picture4..Picture9
        QTest::newRow("none") << 0x00 << false << false << QList<Rgb>{G, G, G, G, G, G};
        QTest::newRow("all") << 0xFF << true << true << QList<Rgb>{B, B, B, B, R, R};
        QTest::newRow("0x80") << 0x80 << false << false << QList<Rgb>{B, G, G, G, G, G};
        QTest::newRow("0x40") << 0x40 << false << false << QList<Rgb>{G, B, G, G, G, G};
        QTest::newRow("0x20") << 0x20 << false << false << QList<Rgb>{G, G, B, G, G, G};
        QTest::newRow("0x10") << 0x10 << false << false << QList<Rgb>{G, G, G, B, G, G};
        QTest::newRow("0x08") << 0x08 << false << false << QList<Rgb>{G, G, G, G, R, G};
        QTest::newRow("0x04") << 0x04 << false << false << QList<Rgb>{G, G, G, G, G, R};
        QTest::newRow("0x02") << 0x02 << true << false << QList<Rgb>{G, G, G, G, G, G};
        QTest::newRow("0x01") << 0x01 << false << true << QList<Rgb>{G, G, G, G, G, G};
    }

    void statusBits()
    {
        QFETCH(int, status);
        QFETCH(bool, ch2);
        QFETCH(bool, eye);
        QFETCH(QList<Rgb>, lamps);
        PanelModel panel;
        // Start from the opposite of everything, so that each bit has to be written.
        UpdatePanelState(uint8_t(~status), 0x40, false, panel);
        UpdatePanelState(uint8_t(status), 0x40, false, panel);
        QCOMPARE(panel.highlighted(Key::CH2), ch2);
        QCOMPARE(panel.highlighted(Key::CH1), !ch2);
        QCOMPARE(panel.highlighted(Key::Eye), eye);
        QList<Rgb> got;
        for (int n = 4; n <= 9; ++n)
            got << *panel.lamp(n);
        QCOMPARE(got, lamps);
    }

    void goodTickMirrorsTheReply()
    {
        Rig r;
        r.poll(QByteArray("\x90\x03\x03", 3));
        QCOMPARE(r.dev->log, QStringList({u"List"_s, u"OpenEx"_s, u"Write b6 f0"_s, u"SetTimeouts 500 0"_s, u"Read 3"_s, u"Close"_s}));
        QCOMPARE(int(r.state().ModeCode), 3);
        QVERIFY(r.panel().highlighted(Key::Audio));
        QVERIFY(r.state().SignalPresent && r.state().DisplayFlag && r.state().DeviceFound);
        QCOMPARE(r.panel().caption(2), u"SCALE"_s);
        QCOMPARE(r.messages(), QStringList({u" "_s}));  // absent -> present clears the box
        QCOMPARE(r.state().ReplyBuffer[0], uint8_t('@'));  // the sentinel is back in place
        QCOMPARE(r.state().ReplyBuffer[9], uint8_t(' '));
        r.status.clear();
        r.poll(QByteArray("\x90\x01\x00", 3));
        QVERIFY(r.messages().isEmpty());  // while present, good ticks leave the box alone
        QVERIFY(!r.state().SignalPresent);
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
        r.state().DeviceFound = false;
        r.status.clear();
        r.poll(reply);
        QCOMPARE(r.messages(), QStringList({u" "_s}));  // counts as present
        QVERIFY(r.litModeKeys().isEmpty());
        QCOMPARE(*r.panel().lamp(1), Gn);  // Picture1..3 keep their colours
        QCOMPARE(*r.panel().lamp(5), B);
        for (int n : {4, 6, 7, 8, 9})
            QCOMPARE(*r.panel().lamp(n), G);
        QVERIFY(r.panel().highlighted(Key::CH1));
        QVERIFY(!r.panel().highlighted(Key::Eye));
        QVERIFY(!r.state().SignalPresent && !r.state().DisplayFlag);
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

    void timeoutFailureIsSilent()
    {
        Rig r;
        r.state().DeviceFound = true;
        r.dev->failOn(u"SetTimeouts"_s);
        r.poll(QByteArray("\x00\x01\x02", 3));
        QVERIFY(r.messages().isEmpty());
        QVERIFY(!r.state().DeviceFound);
        QCOMPARE(r.dev->count(u"Read"_s), 0);
        QCOMPARE(r.dev->count(u"Close"_s), 1);
    }

    void readFailureStaysThroughGoodTicks()
    {
        Rig r;
        r.poll(QByteArray("\x00\x01\x02", 3));
        r.dev->failOn(u"Read"_s, 2);
        r.state().ModeCode = 2;
        r.poll(QByteArray("\x00\x05\x02", 3));
        QCOMPARE(r.panel().statusText(), u"  USB Read Failed"_s);
        QVERIFY(!r.state().SignalPresent);  // flags from the sentinel
        QCOMPARE(r.panel().caption(1), u"GAIN"_s);  // captions refreshed from the unchanged ModeCode
        r.poll(QByteArray("\x00\x01\x02", 3));
        QCOMPARE(r.panel().statusText(), u"  USB Read Failed"_s);
        QVERIFY(r.panel().highlighted(Key::Wfm));
    }

    void closeFailureReportsAbsence()
    {
        Rig r;
        r.poll(QByteArray("\x00\x01\x02", 3));
        r.dev->failOn(u"Close"_s);
        r.poll(QByteArray("\x00\x01\x02", 3));
        QCOMPARE(r.panel().statusText(), u"  No QV7700 found, \r\nCheck Power & USB Connectors"_s);
        QVERIFY(r.panel().statusBold());
        QCOMPARE(r.panel().statusColour(), qb::Red);
        QVERIFY(!r.state().DeviceFound);
        // Plugged back in: the next good tick clears the box and its red.
        r.dev->clearFailures();
        r.poll(QByteArray("\x00\x01\x02", 3));
        QCOMPARE(r.panel().statusText(), u" "_s);
        QVERIFY(!r.panel().statusBold());
        QCOMPARE(r.panel().statusColour(), qb::Black);
    }

    void transferBusySkipsTheTick()
    {
        Rig r;
        r.state().TransferBusy = true;
        QSignalSpy changed(&r.panel(), &PanelModel::changed);
        r.poll(QByteArray("\x00\x01\x02", 3));
        QVERIFY(r.dev->log.isEmpty());
        QCOMPARE(changed.count(), 0);
    }

    void pressNames()
    {
        QCOMPARE(*FrontPanelKeys::byName(u"picture"_s)->key, Key::Pix);
        QCOMPARE(*FrontPanelKeys::byName(u"7"_s)->key, Key::Soft7);
        QCOMPARE(FrontPanelKeys::byName(u"VOL+"_s)->knob, 6);
        QCOMPARE(FrontPanelKeys::byName(u"LEFT"_s)->knob, 1);
        QVERIFY(!FrontPanelKeys::byName(u"10"_s));
        QVERIFY(!FrontPanelKeys::byName(u"SELECT"_s));
    }

    // The panel after a poll shows what the simulated instrument is doing.
    void endToEndOnTheSimulator()
    {
        auto* dev = new SimDevice;
        Remote remote{std::unique_ptr<D2xx>(dev)};
        auto& keys = remote.keys();
        keys.click(Key::Vect);
        keys.click(Key::Audio);
        keys.click(Key::Soft2);  // SCALE opens the scale sub-page
        keys.click(Key::CH2);
        keys.click(Key::Eye);
        remote.poll().Timer3_Timer();
        const SimInstrument& sim = dev->instrument();
        QCOMPARE(int(sim.page()), 12);
        QCOMPARE(int(remote.state().ModeCode), 12);
        QVERIFY(remote.panel().highlighted(Key::Audio));
        QCOMPARE(remote.panel().caption(4), u" NORDIC"_s);
        QCOMPARE(remote.panel().caption(9), u" RET"_s);
        QVERIFY(remote.panel().highlighted(Key::CH2) && !remote.panel().highlighted(Key::CH1));
        QVERIFY(remote.panel().highlighted(Key::Eye));
        QCOMPARE(*remote.panel().lamp(3), Gn);
        QCOMPARE(*remote.panel().lamp(4), B);  // video valid
        QVERIFY(remote.state().SignalPresent);
        QVERIFY(!dev->isOpen());
        keys.click(Key::Soft9);  // RET
        remote.poll().Timer3_Timer();
        QCOMPARE(int(remote.state().ModeCode), 3);
        QCOMPARE(remote.panel().caption(1), u"SOURCE"_s);
    }

    void unpluggedSimulatorShowsAbsenceAndRecovers()
    {
        auto* dev = new SimDevice;
        Remote remote{std::unique_ptr<D2xx>(dev)};
        remote.poll().Timer3_Timer();
        QVERIFY(remote.state().DeviceFound);
        dev->setPlugged(false);
        remote.poll().Timer3_Timer();
        QVERIFY(remote.panel().statusText().startsWith(u"  No QV7700 found, "_s));
        dev->setPlugged(true);
        remote.poll().Timer3_Timer();
        QCOMPARE(remote.panel().statusText(), u" "_s);
    }
};

QTEST_GUILESS_MAIN(TestLive)
#include "test_live.moc"
