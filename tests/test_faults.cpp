// The fault matrix: every operation, and at every device call in it, the call failing, the cable pulled, and
// the instrument falling silent. Each run must end within a bound, leave the device closed, no transfer busy,
// no hourglass, say what went wrong, and leave the program able to talk to the instrument again.

#include "cli/headless.h"
#include "session/session.h"
#include "session_rig.h"
#include "test_rigs.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace qv;
using namespace qv::test;
using namespace Qt::StringLiterals;

namespace {
// Short silence limits keep the matrix quick; the real five seconds are tested on their own.
struct Rig : SessionRig {
    QTemporaryDir dir;
    Rig() : SessionRig(20)
    {
        dev->replyTo(0xB6, QByteArray("\x80\x01\x02", 3));
        dev->replyTo(0xB0, QByteArray("\x0b\x40\x50\x60\x70", 5));
        dev->replyTo(0xB2, QByteArray(8160, char(0x35)));
        dev->replyTo(0xB4, QList<QByteArray>{logRecord("H1", "HEADER"), logRecord("H2", "HEADER"),
                                             logRecord("H3", "HEADER"), logRecord("H4", "HEADER"),
                                             logRecord("0001", "CH1 LOSS"), logRecord("0002", "CH1 BACK"),
                                             logRecord("0000", "END")});
        session.poll().setSignalPresent(true);
    }
    bool reportedFailure() const
    {
        for (const QString& m : messages())
            for (const char16_t* word : {u"Failed", u"No responce", u"No QV7700", u"No data", u"incomplete"})
                if (m.contains(QStringView(word)))
                    return true;
        return false;
    }
};

struct Operation {
    const char* name;
    std::function<void(Rig&)> run;
};

Options headless(Action action, const QString& output)
{
    Options o;
    o.action = action;
    o.output = output;
    o.format = action == Action::GetLog ? OutputFormat::Text : OutputFormat::Bmp;  // BMP: quicker to write
    return o;
}

QList<Operation> operations()
{
    // A knob held for two messages: released as the second is written, so that every run makes the same calls.
    const auto hold = [](int knob) {
        return [knob](Rig& r) {
            r.dev->onCall = [&r, knob](const QString& op) {
                if (op == u"Write" && r.dev->count(op) == 2)
                    r.session.keys().knobUp(knob);
            };
            QTimer::singleShot(1000, &r.session, [&r, knob] { r.session.keys().knobUp(knob); });
            r.session.keys().knobDown(knob);
        };
    };
    return {
        {"poll tick", [](Rig& r) { r.session.pollOnce(); }},
        {"numbered key", [](Rig& r) { r.session.keys().click(Key::Soft3); }},
        {"mode key", [](Rig& r) { r.session.keys().click(Key::Audio); }},
        // STO, REC and EYE make the same device calls as a channel key; Move Left as any held knob.
        {"channel key", [](Rig& r) { r.session.keys().click(Key::CH2); }},
        {"held knob", hold(6)},
        {"screen fetch", [](Rig& r) { r.session.screenFetch().captureWithWindow(); }},
        {"log fetch", [](Rig& r) { r.session.errorLog().requestFetch(); }},
        {"log erase", [](Rig& r) { r.session.errorLog().requestErase(); }},
        {"--capture", [](Rig& r) { runHeadlessOn(r.session, headless(Action::Capture, r.dir.filePath(u"c.bmp"_s))); }},
        {"--get-log", [](Rig& r) { runHeadlessOn(r.session, headless(Action::GetLog, r.dir.filePath(u"l.txt"_s))); }},
        {"--erase-log", [](Rig& r) { runHeadlessOn(r.session, headless(Action::EraseLog, {})); }},
        {"--press", [](Rig& r) { runPresses(r.session, {u"WFM"_s, u"7"_s}); }},
    };
}

// One exchange through the session's own door, ending in the outcome it reports.
Outcome runExchange(Rig& r, const QString& exchange)
{
    Outcome got = Outcome::failure(ErrorKind::Internal, u"never ended"_s);
    const Done keep = [&got](const Outcome& o) { got = o; };
    if (exchange == u"poll")
        got = r.session.pollOnce().outcome;
    else if (exchange == u"key")
        r.session.press(*controlByName(u"VECT"_s), keep);
    else if (exchange == u"knob")
        r.session.press(*controlByName(u"VOL+"_s), keep, 5);
    else if (exchange == u"capture")
        r.session.captureScreen(false, keep);
    else if (exchange == u"log")
        r.session.fetchLog(keep);
    else if (exchange == u"erase")
        r.session.eraseLog(keep);
    QDeadlineTimer limit(3000);  // a knob is let go by a timer: the event loop must run for it
    while (got.text == u"never ended"_s && !limit.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return got;
}

// None: the operation as it should go, which must report nothing.
enum class Fault { None, FailOne, Disconnect, Silent };
}  // namespace

Q_DECLARE_METATYPE(Fault)

class TestFaults : public QObject {
    Q_OBJECT
private slots:
    // Each exchange ends with the kind of what went wrong, whatever words the status box uses for it.
    void outcomeKinds_data()
    {
        QTest::addColumn<QString>("exchange");
        QTest::addColumn<QString>("failing");  // "Op" or "Op#n" fails; "reply XX" makes the reply to XX empty
        QTest::addColumn<QString>("kind");
        const QStringList exchanges{u"poll"_s, u"key"_s, u"knob"_s, u"capture"_s, u"log"_s, u"erase"_s};
        for (const QString& e : exchanges) {
            QTest::addRow("%s ok", qPrintable(e)) << e << QString() << u"none"_s;
            QTest::addRow("%s, no converter", qPrintable(e)) << e << u"List"_s << u"absent"_s;
            QTest::addRow("%s, held by another program", qPrintable(e)) << e << u"OpenEx"_s << u"absent"_s;
        }
        QTest::newRow("poll, write") << u"poll"_s << u"Write"_s << u"write-failed"_s;
        QTest::newRow("poll, read") << u"poll"_s << u"Read"_s << u"read-failed"_s;
        QTest::newRow("poll, short reply") << u"poll"_s << u"reply b6 80"_s << u"time-out"_s;
        QTest::newRow("poll, close") << u"poll"_s << u"Close"_s << u"absent"_s;
        QTest::newRow("key, write") << u"key"_s << u"Write"_s << u"write-failed"_s;
        QTest::newRow("key, close") << u"key"_s << u"Close"_s << u"close-failed"_s;
        QTest::newRow("knob, close") << u"knob"_s << u"Close"_s << u"close-failed"_s;
        QTest::newRow("capture, picture page") << u"capture"_s << u"reply b6 80 00 00"_s << u"not-offered"_s;
        QTest::newRow("capture, header read") << u"capture"_s << u"Read#2"_s << u"read-failed"_s;
        QTest::newRow("capture, short header") << u"capture"_s << u"reply b0 0b"_s << u"time-out"_s;
        QTest::newRow("capture, silent blocks") << u"capture"_s << u"reply b2"_s << u"time-out"_s;
        QTest::newRow("capture, queue") << u"capture"_s << u"Queue"_s << u"device-error"_s;
        QTest::newRow("capture, close") << u"capture"_s << u"Close#2"_s << u"close-failed"_s;
        QTest::newRow("log, time-outs") << u"log"_s << u"SetTimeouts"_s << u"device-error"_s;
        QTest::newRow("log, read") << u"log"_s << u"Read"_s << u"read-failed"_s;
        QTest::newRow("log, silent") << u"log"_s << u"reply b4"_s << u"time-out"_s;
        QTest::newRow("log, close") << u"log"_s << u"Close"_s << u"close-failed"_s;
        QTest::newRow("erase, close") << u"erase"_s << u"Close"_s << u"close-failed"_s;
    }

    void outcomeKinds()
    {
        QFETCH(QString, exchange);
        QFETCH(QString, failing);
        QFETCH(QString, kind);
        Rig r;
        if (failing.startsWith(u"reply "_s)) {
            const QStringList bytes = failing.mid(6).split(u' ');
            QByteArray reply;
            for (qsizetype i = 1; i < bytes.size(); ++i)
                reply += char(bytes[i].toInt(nullptr, 16));
            r.dev->replyTo(uint8_t(bytes[0].toInt(nullptr, 16)), reply);
        } else if (!failing.isEmpty()) {
            r.dev->failOn(failing.section(u'#', 0, 0), failing.section(u'#', 1).toInt());
        }
        const Outcome outcome = runExchange(r, exchange);
        QCOMPARE(QString::fromLatin1(errorKindName(outcome.kind)), kind);
        // The words are the status box's: a failure always has some, a success none.
        QCOMPARE(outcome.text.isEmpty(), outcome.ok());
        QVERIFY(!r.dev->isOpen());
    }

    // One row per operation without a fault, then one per operation, device call and fault: the call fails once,
    // the cable is pulled at it, or the instrument falls silent from it.
    void matrix_data()
    {
        QTest::addColumn<int>("op");
        QTest::addColumn<int>("at");
        QTest::addColumn<QString>("call");
        QTest::addColumn<Fault>("fault");
        const QList<Operation> ops = operations();
        int rows = 0;
        for (int i = 0; i < ops.size(); ++i) {
            Rig clean;
            ops[i].run(clean);
            const QStringList log = clean.dev->log;
            const int calls = int(log.size());
            // Without a fault, the run makes the same calls and its last one closes the device.
            QTest::addRow("%s / no fault", ops[i].name) << i << calls << u"Close"_s << Fault::None;
            // A long transfer repeats the same calls block after block: its first 30 calls and its last 12 cover
            // every distinct step.
            for (int at = 1; at <= calls; ++at) {
                if (at > 30 && at <= calls - 12)
                    continue;
                const QString call = log[at - 1];
                for (const auto& [fault, word] : {std::pair{Fault::FailOne, "fails"}, {Fault::Disconnect, "unplugged"},
                                                  {Fault::Silent, "silent"}}) {
                    QTest::addRow("%s / %s #%d / %s", ops[i].name, qPrintable(call.section(u' ', 0, 0)), at, word)
                        << i << at << call << fault;
                    ++rows;
                }
            }
        }
        qInfo("fault matrix: %d scenarios over %d operations", rows, int(ops.size()));
    }

    // Each run must end within a bound, leave the device closed, no transfer busy, no hourglass, say what went
    // wrong, and leave the program able to talk to the instrument again.
    void matrix()
    {
        QFETCH(int, op);
        QFETCH(int, at);
        QFETCH(QString, call);
        QFETCH(Fault, fault);
        Rig r;
        if (fault != Fault::None)
            (fault == Fault::FailOne      ? r.dev->failAtCall
             : fault == Fault::Disconnect ? r.dev->disconnectAtCall
                                          : r.dev->silentFromCall) = at;
        QElapsedTimer t;
        t.start();
        operations()[op].run(r);
        QVERIFY2(t.elapsed() < 4000, "took too long");  // every pause is short here, none near a real one
        QCOMPARE(r.dev->log.value(at - 1), call);  // the fault struck the call this row names
        QVERIFY2(!r.dev->isOpen(), "device left open");
        QVERIFY2(!r.session.link().transferBusy(), "transfer still busy");
        QVERIFY2(!r.session.panel().busyPointer(PointerOwner::Download) &&
                     !r.session.panel().busyPointer(PointerOwner::MainWindow),
                 "hourglass left on");
        QVERIFY2(!r.session.link().deviceHeld(), "device still held");
        // Every failure is reported, except the one the poll keeps to itself: a time-out setting that fails with a
        // close that works.
        const QByteArray name = operations()[op].name;
        const bool quietByDesign = fault == Fault::FailOne && call.startsWith(u"SetTimeouts 500"_s) &&
                                   (name == "poll tick" || name == "--capture");
        if (fault == Fault::None)
            QVERIFY2(!r.reportedFailure(), "a run without a fault reported one");
        else if (fault != Fault::Silent && !quietByDesign)
            QVERIFY2(r.reportedFailure(), "nothing reported");
        // Plugged back in: the next poll finds the instrument and leaves the device closed.
        r.dev->clearFaults();
        r.dev->onCall = nullptr;
        r.session.poll().setInstrumentPresent(false);
        r.status.clear();
        r.session.pollOnce();
        QVERIFY2(r.session.poll().instrumentPresent() && !r.reportedFailure() && !r.dev->isOpen(), "the next operation failed");
    }
};

QTEST_MAIN(TestFaults)
#include "test_faults.moc"
