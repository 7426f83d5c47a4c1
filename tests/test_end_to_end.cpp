// The program as a user runs it, against an instrument on the far end of a pseudo-terminal played by another
// process: the picture and the log text must be what the simulated instrument sent.

#include "test_rigs.h"

#include <QImage>
#include <QTemporaryDir>
#include <QTest>

using namespace qv::test;
using namespace Qt::StringLiterals;

namespace {
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
}  // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT
private slots:
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

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "test_end_to_end.moc"
