// The link routines against the scripted device: what goes on the wire, in which order, and what the status
// box says at every failure.

#include "link/usb_link.h"
#include "scripted_device.h"
#include "state/panel_model.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace qv;
using namespace qv::test;
using namespace Qt::StringLiterals;

class TestLink : public QObject {
    Q_OBJECT

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
};

QTEST_GUILESS_MAIN(TestLink)
#include "test_link.moc"
