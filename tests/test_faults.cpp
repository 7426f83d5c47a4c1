// The fault matrix: every operation, and at every device call in it, the call failing, the cable pulled, and
// the instrument falling silent. Each run must end within a bound, leave the device closed, no transfer busy,
// no hourglass, say what went wrong, and leave the program able to talk to the instrument again.

#include "app/headless.h"
#include "app/remote.h"
#include "scripted_device.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace qv;
using namespace qv::test;
using namespace Qt::StringLiterals;

namespace {
QByteArray rec(const QByteArray& lead, const QByteArray& text)
{
    return (lead + ' ' + text).leftJustified(39, ' ') + '\n';
}

struct Rig {
    ScriptedDevice* dev = new ScriptedDevice;
    Remote remote{std::unique_ptr<D2xx>(dev)};
    QStringList messages;
    QTemporaryDir dir;
    Rig()
    {
        dev->replyTo(0xB6, QByteArray("\x80\x01\x02", 3));
        dev->replyTo(0xB0, QByteArray("\x0b\x40\x50\x60\x70", 5));
        dev->replyTo(0xB2, QByteArray(8160, char(0x35)));
        dev->replyTo(0xB4, QList<QByteArray>{rec("H1", "HEADER"), rec("H2", "HEADER"), rec("H3", "HEADER"),
                                             rec("H4", "HEADER"), rec("0001", "CH1 LOSS"), rec("0002", "CH1 BACK"),
                                             rec("0000", "END")});
        remote.state().SignalPresent = true;
        // Short silence limits keep the matrix quick; the real five seconds are tested on their own.
        remote.screenFetch().silenceLimitMs = 150;
        remote.errorLog().silenceLimitMs = 150;
        remote.screenFetch().pauseBeforeBlocksMs = 1;
        remote.errorLog().startPauseMs = 1;
        remote.errorLog().recordPauseMs = 1;
        remote.link().noResponsePauseMs = 20;
        remote.poll().absencePauseMs = 5;
        QObject::connect(&remote.panel(), &PanelModel::statusTextWritten, &remote,
                         [this](const QString& t) { messages << t; });
    }
    bool reportedFailure() const
    {
        for (const QString& m : messages)
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
    o.format = action == Action::GetLog ? OutputFormat::Text : OutputFormat::Png;
    return o;
}

QList<Operation> operations()
{
    const auto hold = [](int knob) {
        return [knob](Rig& r) {
            QTimer::singleShot(120, &r.remote, [&r, knob] { r.remote.keys().knobUp(knob); });
            r.remote.keys().knobDown(knob);
        };
    };
    return {
        {"poll tick", [](Rig& r) { r.remote.poll().Timer3_Timer(); }},
        {"numbered key", [](Rig& r) { r.remote.keys().click(Key::Soft3); }},
        {"mode key", [](Rig& r) { r.remote.keys().click(Key::Audio); }},
        {"channel key", [](Rig& r) { r.remote.keys().click(Key::CH2); }},
        {"STO key", [](Rig& r) { r.remote.keys().click(Key::Sto); }},
        {"EYE key", [](Rig& r) { r.remote.keys().click(Key::Eye); }},
        {"held knob", hold(6)},
        {"held Move Left", hold(1)},
        {"screen fetch", [](Rig& r) { r.remote.screenFetch().mnuGet1Frame_Click(); }},
        {"log fetch", [](Rig& r) { r.remote.errorLog().mnuGetLog_Click(); }},
        {"log erase", [](Rig& r) { r.remote.errorLog().mnuEraseLog_Click(); }},
        {"--capture", [](Rig& r) { runHeadlessOn(r.remote, headless(Action::Capture, r.dir.filePath(u"c.png"_s))); }},
        {"--get-log", [](Rig& r) { runHeadlessOn(r.remote, headless(Action::GetLog, r.dir.filePath(u"l.txt"_s))); }},
        {"--erase-log", [](Rig& r) { runHeadlessOn(r.remote, headless(Action::EraseLog, {})); }},
        {"--press", [](Rig& r) { runPresses(r.remote, {u"WFM"_s, u"7"_s}); }},
    };
}

enum class Fault { FailOne, Disconnect, Silent };
}  // namespace

class TestFaults : public QObject {
    Q_OBJECT
private slots:
    void matrix()
    {
        int scenarios = 0;
        for (const Operation& op : operations()) {
            int calls = 0;
            {
                Rig clean;
                op.run(clean);
                calls = clean.dev->totalCalls();
                QVERIFY2(!clean.reportedFailure(), op.name);
            }
            QVERIFY(calls > 0);
            // A long transfer repeats the same calls block after block: its first 30 calls and its last 12 cover
            // every distinct step.
            QList<int> points;
            for (int at = 1; at <= calls; ++at)
                if (at <= 30 || at > calls - 12)
                    points << at;
            for (int at : points) {
                for (Fault fault : {Fault::FailOne, Fault::Disconnect, Fault::Silent}) {
                    const QString where = u"%1, call %2 (%3), %4"_s.arg(QString::fromLatin1(op.name)).arg(at).arg(calls).arg(
                        fault == Fault::FailOne ? u"fails"_s : fault == Fault::Disconnect ? u"disconnected"_s : u"silent"_s);
                    Rig r;
                    (fault == Fault::FailOne ? r.dev->failAtCall
                     : fault == Fault::Disconnect ? r.dev->disconnectAtCall
                                                  : r.dev->silentFromCall) = at;
                    QElapsedTimer t;
                    t.start();
                    op.run(r);
                    QVERIFY2(t.elapsed() < 6000, qPrintable(where + u": took too long"_s));
                    const QString failedCall = r.dev->log.value(at - 1);
                    QVERIFY2(!r.dev->isOpen(), qPrintable(where + u": device left open"_s));
                    QVERIFY2(!r.remote.state().TransferBusy, qPrintable(where + u": transfer still busy"_s));
                    QVERIFY2(!r.remote.panel().busyPointer(PointerOwner::Download) &&
                                 !r.remote.panel().busyPointer(PointerOwner::MainWindow),
                             qPrintable(where + u": hourglass left on"_s));
                    QVERIFY2(!r.remote.link().deviceHeld(), qPrintable(where + u": device still held"_s));
                    // Every failure is reported, except the one the poll keeps to itself: a time-out setting that
                    // fails with a close that works.
                    const bool quietByDesign = fault == Fault::FailOne && failedCall.startsWith(u"SetTimeouts 500"_s) &&
                                               (QByteArray(op.name) == "poll tick" || QByteArray(op.name) == "--capture");
                    if (fault != Fault::Silent && !quietByDesign)
                        QVERIFY2(r.reportedFailure(), qPrintable(where + u": nothing reported, "_s + failedCall));
                    // Plugged back in: the next poll finds the instrument and leaves the device closed.
                    r.dev->clearFaults();
                    r.remote.state().DeviceFound = false;
                    r.messages.clear();
                    r.remote.poll().Timer3_Timer();
                    QVERIFY2(r.remote.state().DeviceFound && !r.reportedFailure() && !r.dev->isOpen(),
                             qPrintable(where + u": the next operation failed"_s));
                    ++scenarios;
                }
            }
        }
        qInfo("fault matrix: %d scenarios over %d operations, all passed", scenarios, int(operations().size()));
        QVERIFY(scenarios > 300);
    }
};

QTEST_MAIN(TestFaults)
#include "test_faults.moc"
