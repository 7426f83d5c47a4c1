// What a script relies on: the device list, the instrument chosen by its converter's serial number across a
// replug, two programs each on its own instrument and never two on one, --status --json over a table of
// replies, a picture piped out of --capture -, and the log as text, JSON and CSV. Last, the program against an
// instrument on the far end of a pseudo-terminal played by another process: the picture and the log text must be
// what the simulated instrument sent.

#include "cli/headless.h"
#include "session/instrument_status.h"
#include "session/session.h"
#include "link/doctor.h"
#include "link/serial_device.h"
#include "session_rig.h"
#include "test_rigs.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <unistd.h>

using namespace qv;
using namespace qv::test;
using namespace Qt::StringLiterals;

namespace {
// One object on one line and nothing else, or an empty object.
QJsonObject jsonLine(const QByteArray& out)
{
    return out.endsWith('\n') && out.count('\n') == 1 ? QJsonDocument::fromJson(out).object() : QJsonObject();
}

// The picture without the title, time and date line, which differ from one second to the next.
bool sameApartFromOverlay(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return false;
    for (int y = 0; y < a.height(); ++y) {
        if (y >= 725 && y <= 750)
            continue;
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                return false;
    }
    return true;
}

// No pause between log records: the 980-record log is fetched three times.
struct Rig : SessionRig {
    Rig() : SessionRig(200) { session.errorLog().recordPauseMs = 0; }
};
}  // namespace

class TestScripting : public QObject {
    Q_OBJECT
private slots:
    void deviceList_data()
    {
        QTest::addColumn<bool>("library");
        QTest::addColumn<QStringList>("entries");  // backend, serial, path, then "usable" or words of the problem
        const QString a = u"serial QVA ttyUSB0 usable"_s, b = u"serial QVB ttyUSB1 dialout"_s;
        QTest::newRow("serial driver only") << false << QStringList{a, b, u"d2xx QVC 1-1.3 D2XX library: not found"_s};
        const QStringList held{a, u"d2xx QVA 1-1.1 ftdi_sio holds it"_s, b, u"d2xx QVB 1-1.2 ftdi_sio holds it"_s};
        QTest::newRow("vendor library too") << true << held + QStringList{u"d2xx QVC 1-1.3 usable"_s};
    }

    // Three converters: one held by the serial driver, one whose port this user may not open, one free for D2XX.
    void deviceList()
    {
        QFETCH(bool, library);
        QFETCH(QStringList, entries);
        FakeConverters t;
        t.add(1, "QVA", u"ttyUSB0"_s);
        t.add(2, "QVB", u"ttyUSB1"_s);
        t.add(3, "QVC");
        const QList<DeviceEntry> got = listDevices(t.environment(library, {t.dev() + u"/ttyUSB1"_s}));
        QCOMPARE(got.size(), entries.size());
        for (qsizetype i = 0; i < got.size(); ++i) {
            const DeviceEntry& e = got.at(i);
            const QString head = u"%1 %2 %3 "_s.arg(e.backend, e.serial, QFileInfo(e.path).fileName());
            QVERIFY2(entries.at(i).startsWith(head), qPrintable(head + u"/ "_s + entries.at(i)));
            const QString word = entries.at(i).mid(head.size());
            QCOMPARE(e.usable, word == u"usable");
            QVERIFY2(e.usable ? e.problem.isEmpty() : e.problem.contains(word), qPrintable(e.problem));
        }
    }

    // The chosen converter is found again after both are replugged, each under the other's old port name: the
    // status request of a poll tick reaches its port and no other.
    void chosenBySerialNumberAcrossAReplug()
    {
        FakeConverters t;
        Pty a, b;
        a.holdOpen();
        b.holdOpen();
        t.add(1, "QVA", u"ttyUSB0"_s, a.slave);
        t.add(2, "QVB", u"ttyUSB1"_s, b.slave);
        Session session(std::make_unique<SerialDevice>(QString(), t.roots()));
        session.link().noResponsePauseMs = session.poll().absencePauseMs = 1;
        session.setInstrumentSerial("QVB");
        QCOMPARE(::write(b.master, "\x80\x01\x02", 3), 3);  // its reply, ready for the tick to read
        session.pollOnce();
        QVERIFY(session.poll().instrumentPresent());
        QCOMPARE(b.received(2000).left(1), QByteArray("\xb6"));
        t.unplug(1, u"ttyUSB0"_s);
        t.unplug(2, u"ttyUSB1"_s);
        t.plug(1, u"ttyUSB1"_s, a.slave);
        t.plug(2, u"ttyUSB0"_s, b.slave);
        QCOMPARE(::write(b.master, "\x80\x01\x02", 3), 3);
        session.pollOnce();
        QCOMPARE(b.received(2000).left(1), QByteArray("\xb6"));
        QCOMPARE(a.received(0), QByteArray());

        // One that is not attached is an absent instrument, in the status box's own words.
        session.setInstrumentSerial("QVC");
        session.pollOnce();
        QVERIFY(!session.poll().instrumentPresent());
        QVERIFY(session.panel().statusText().startsWith(u"  No QV7700 found"_s));
        QCOMPARE(a.received(0) + b.received(0), QByteArray());
    }

    void twoProgramsOnTwoInstruments()
    {
        PtyPeer one, two;
        Process p({u"--device"_s, u"serial:"_s + one.path, u"--press"_s, u"AUDIO"_s, u"--status"_s, u"--json"_s});
        Process q({u"--device"_s, u"serial:"_s + two.path, u"--press"_s, u"VECT"_s, u"--status"_s, u"--json"_s});
        QByteArray outP, outQ;
        QCOMPARE(p.finish(&outP), 0);
        QCOMPARE(q.finish(&outQ), 0);
        QCOMPARE(jsonLine(outP)[u"mode"_s][u"key"_s], QJsonValue(u"AUDIO"_s));
        QCOMPARE(jsonLine(outQ)[u"mode"_s][u"key"_s], QJsonValue(u"VECT"_s));
    }

    void heldPortIsRefusedToAnotherProgram_data()
    {
        QTest::addColumn<bool>("otherName");
        QTest::newRow("same name") << false;
        QTest::newRow("another name for the same port") << true;
    }

    // While one program holds the converter, another's exchange fails instead of mixing its bytes in.
    void heldPortIsRefusedToAnotherProgram()
    {
        QFETCH(bool, otherName);
        PtyPeer peer;
        QTemporaryDir dir;
        const QString alias = dir.filePath(u"ttyUSB0"_s);
        QVERIFY(QFile::link(peer.path, alias));
        const QString port = otherName ? alias : peer.path;
        const QStringList args{u"--device"_s, u"serial:"_s + port, u"--status"_s, u"--json"_s};
        SerialDevice holder(peer.path);
        QByteArray serial = peer.path.toLocal8Bit(), out, err;
        FtHandle h = 0;
        QCOMPARE(holder.OpenEx(serial.data(), ft::OPEN_BY_SERIAL_NUMBER, &h), ft::OK);
        QCOMPARE(runProgram(args, &out, &err), 1);
        QVERIFY2(err.contains("OpenEx Failed"), err.constData());
        QCOMPARE(jsonLine(out).value(u"present"_s), QJsonValue(false));
        QCOMPARE(holder.Close(h), ft::OK);
        QCOMPARE(runProgram(args, &out), 0);
        QCOMPARE(jsonLine(out).value(u"present"_s), QJsonValue(true));
    }

    void statusJson_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("present");
        QTest::addColumn<int>("mode");  // -1: null, no whole reply to tell it
        QTest::addColumn<QStringList>("litKeys");
        QTest::addColumn<QString>("gamut");  // gamut-plus, gamut-minus; empty: lamps null
        QTest::addColumn<bool>("captureOffered");
        // An absent instrument claims nothing, whatever the window still shows.
        QTest::newRow("absent") << QByteArray("fail") << false << -1 << QStringList() << QString() << false;
        // One gamut lamp lit, so that the two lamp names cannot be swapped unseen.
        QTest::newRow("gamut minus") << QByteArray("\x04\x02\x02") << true << 2 << QStringList{u"VECT"_s, u"CH1"_s}
                                     << u"off red"_s << true;
        QTest::newRow("channel 2, EYE") << QByteArray("\x03\x01\x02") << true << 1
                                        << QStringList{u"WFM"_s, u"CH2"_s, u"EYE"_s} << u"off off"_s << true;
        // Nothing came back: the converter answers but the instrument said nothing, so nothing is claimed.
        QTest::newRow("nothing came back") << QByteArray() << true << -1 << QStringList() << QString() << false;
    }

    void statusJson()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, mode);
        QFETCH(QString, gamut);
        Rig r;
        r.dev->replyTo(0xB6, reply);
        if (reply == "fail")
            r.dev->failOn(u"List"_s);
        r.session.pollOnce();  // what --status does, then prints this object
        const QJsonObject st = toJson(r.session.status());
        QTEST(st[u"present"_s].toBool(), "present");
        QCOMPARE(st[u"mode"_s][u"code"_s], mode < 0 ? QJsonValue() : QJsonValue(mode));
        QTEST(st[u"lit_keys"_s].toVariant().toStringList(), "litKeys");
        const QJsonObject lamps = st[u"lamps"_s].toObject();
        QCOMPARE(st[u"lamps"_s].isNull(), gamut.isEmpty());
        QCOMPARE(st[u"soft_keys"_s].isNull(), gamut.isEmpty());
        if (!gamut.isEmpty())
            QCOMPARE(lamps[u"gamut-plus"_s].toString() + u' ' + lamps[u"gamut-minus"_s].toString(), gamut);
        QTEST(st[u"capture_offered"_s].toBool(), "captureOffered");
        QVERIFY(st[u"age_ms"_s].toInteger(-1) >= 0);
    }

    void capturePiped_data()
    {
        QTest::addColumn<QStringList>("format");
        QTest::addColumn<QByteArray>("start");
        QTest::newRow("png, unasked") << QStringList() << QByteArray("\x89PNG\r\n\x1a\n");
        QTest::newRow("bmp") << QStringList{u"--format"_s, u"bmp"_s} << QByteArray("BM");
    }

    // A script reads the picture from a pipe: standard output is one whole picture and nothing else.
    void capturePiped()
    {
        QFETCH(QStringList, format);
        QFETCH(QByteArray, start);
        QByteArray out;
        QCOMPARE(runProgram(QStringList{u"--device"_s, u"sim"_s, u"--capture"_s, u"-"_s} + format, &out), 0);
        QVERIFY(out.startsWith(start));
        QCOMPARE(QImage::fromData(out).size(), QSize(1025, 769));
        if (start == "BM")
            QCOMPARE(qFromLittleEndian<quint32>(out.constData() + 2), quint32(out.size()));
        else
            QVERIFY(out.endsWith(QByteArray("IEND\xae\x42\x60\x82")));
    }

    void logFormats_data()
    {
        QTest::addColumn<QList<QByteArray>>("entries");
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("complete");
        const QList<QByteArray> ended{logRecord("0001", "CH1 LOSS, \"Y\" LOW"), logRecord("0002", "CH1 BACK"),
                                      logRecord("0000", "END OF LOG")};
        QTest::newRow("end of log") << ended << 2 << true;
        // The entry repeats for ever: the fetch stops at the largest log the instrument keeps.
        QTest::newRow("980-record limit") << QList<QByteArray>{logRecord("0001", "GAMUT + LUMA")} << 976 << false;
    }

    void logFormats()
    {
        QFETCH(QList<QByteArray>, entries);
        QFETCH(int, count);
        QFETCH(bool, complete);
        const QList<QByteArray> header{logRecord("HDR1", "CORVANE QV7700 SCOPE"),
                                       logRecord("HDR2", "SERIAL 77-01942"),
                                       logRecord("HDR3", "LOG STARTED 01/12/26"),
                                       logRecord("HDR4", "DATE  TIME  EVENT")};
        const auto entry = [&](int n) { return entries.at(qMin(n, int(entries.size())) - 1); };
        // The status box as the instrument's own program fills it: header, numbered records, the end marker.
        QByteArray box;
        for (const QByteArray& h : header)
            box += h.mid(4);
        for (int n = 1; n <= count; ++n)
            box += QByteArray::number(n) + ": " + entry(n).mid(4);
        box += "-------- End of Log --------";
        QTemporaryDir dir;
        const auto fetch = [&](OutputFormat format) {
            Rig r;
            r.dev->replyTo(0xB4, header + entries);
            Options o;
            o.action = Action::GetLog;
            o.format = format;
            o.output = dir.filePath(u"log%1"_s.arg(int(format)));
            QFile f(o.output);
            if (runHeadlessOn(r.session, o) != 0 || !f.open(QIODevice::ReadOnly))
                return QByteArray("(failed)");
            const QByteArray bytes = f.readAll();
            const bool isBox = bytes == r.session.panel().statusText().toLatin1();
            return format != OutputFormat::Text || isBox ? bytes : QByteArray("(not the status box)");
        };
        QCOMPARE(fetch(OutputFormat::Text), box);

        const QJsonObject log = QJsonDocument::fromJson(fetch(OutputFormat::Json)).object();
        QCOMPARE(log[u"complete"_s], QJsonValue(complete));
        QCOMPARE(log[u"header"_s][0], QJsonValue(u"CORVANE QV7700 SCOPE"_s));
        const QJsonArray records = log[u"records"_s].toArray();
        QCOMPARE(records.size(), count);
        QCOMPARE(records.first()[u"n"_s], QJsonValue(1));
        QCOMPARE(records.last()[u"n"_s], QJsonValue(count));
        QCOMPARE(records.first()[u"text"_s].toString().toLatin1(), entry(1).mid(5).trimmed());

        const QList<QByteArray> rows = fetch(OutputFormat::Csv).split('\n');
        QCOMPARE(rows.size(), count + 2);  // the header row, the records, nothing after the last line end
        QCOMPARE(rows.first(), QByteArray("n,text\r"));
        QCOMPARE(rows.at(1), complete ? QByteArray("1,\"CH1 LOSS, \"\"Y\"\" LOW\"\r") : QByteArray("1,GAMUT + LUMA\r"));
    }

    void captureOverAPty()
    {
        QTemporaryDir dir;
        PtyPeer peer;
        QVERIFY2(peer.path.startsWith(u"/dev/"_s), qPrintable(peer.path));
        const QString viaPty = dir.filePath(u"pty.png"_s), viaSim = dir.filePath(u"sim.png"_s);
        QCOMPARE(runProgram({u"--device"_s, u"serial:"_s + peer.path, u"--press"_s, u"VECT"_s, u"--capture"_s, viaPty}), 0);
        QCOMPARE(runProgram({u"--device"_s, u"sim"_s, u"--press"_s, u"VECT"_s, u"--capture"_s, viaSim}), 0);
        const QImage a(viaPty), b(viaSim);
        QCOMPARE(a.size(), QSize(1025, 769));
        QVERIFY(sameApartFromOverlay(a, b));
        // A real picture: the vectorscope graticule in green and the trace's white dots on the targets.
        QCOMPARE(a.pixel(512, 200) & 0xffffff, 0x00ff00u);
        int white = 0;
        for (int y = 100; y < 700; ++y)
            for (int x = 200; x < 850; ++x)
                white += (a.pixel(x, y) & 0xffffff) == 0xffffff;
        QVERIFY(white > 200);
    }

    void logOverAPty()
    {
        QTemporaryDir dir;
        PtyPeer peer;
        const QString viaPty = dir.filePath(u"pty.txt"_s), viaSim = dir.filePath(u"sim.txt"_s);
        QCOMPARE(runProgram({u"--device"_s, u"serial:"_s + peer.path, u"--get-log"_s, viaPty}), 0);
        QCOMPARE(runProgram({u"--device"_s, u"sim"_s, u"--get-log"_s, viaSim}), 0);
        QFile a(viaPty), b(viaSim);
        QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        const QByteArray text = a.readAll();
        QCOMPARE(text, b.readAll());
        QVERIFY(text.startsWith(" CORVANE QV7700 SCOPE"));
        QVERIFY(text.contains("\n1:  06/12 "));
        QVERIFY(text.endsWith("-------- End of Log --------"));
        QCOMPARE(runProgram({u"--device"_s, u"serial:"_s + peer.path, u"--erase-log"_s}), 0);
        QCOMPARE(runProgram({u"--device"_s, u"serial:"_s + peer.path, u"--get-log"_s, viaPty}), 0);
        a.close();
        QVERIFY(a.open(QIODevice::ReadOnly));
        QVERIFY(!a.readAll().contains("\n1:  "));  // the instrument erased its entries
    }
};

QTEST_GUILESS_MAIN(TestScripting)
#include "test_scripting.moc"
