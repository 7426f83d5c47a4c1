// The link diagnostics against fake /sys and /dev trees: one converter in each of the situations that keep
// engineers from reaching the instrument, and the one where nothing does.

#include "link/doctor.h"
#include "test_rigs.h"

#include <QTest>

using namespace qv;
using namespace qv::test;
using namespace Qt::StringLiterals;

namespace {
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

QTEST_GUILESS_MAIN(TestDoctor)
#include "test_doctor.moc"
