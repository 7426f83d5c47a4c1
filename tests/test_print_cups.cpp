// Printing through the real print service: this test starts cupsd itself when it is not running, adds two
// PDF queues (cups-pdf) with lpadmin, prints a screen normally, a screen black on white and the error log
// through the program's own print paths, and checks the PDFs that come out. It skips, saying why, only where
// the print service cannot be had.
//
// cups-pdf writes into the home folder that the password database gives the job's user, which need not be
// $HOME (CI runs with another HOME than root's), and unknown users go to an anonymous folder. So the queues
// use a cups-pdf instance of their own, whose configuration names one output folder for every user.

#include "files/printing.h"
#include "render/graticule_dispatch.h"
#include "render/fonts.h"
#include "render/screen_picture.h"
#include "state/panel_model.h"
#include "test_rigs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace qv;
using namespace qv::test;
using namespace Qt::StringLiterals;

namespace {
const QString kQueueA = u"QV7700-TEST-A"_s, kQueueB = u"QV7700-TEST-B"_s;
const QString kPpd = u"/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd"_s;
const QString kInstance = u"qv7700test"_s;  // device URI cups-pdf:/qv7700test reads cups-pdf-qv7700test.conf
const QString kInstanceConf = u"/etc/cups/cups-pdf-qv7700test.conf"_s;
const QString kOutDir = u"/var/spool/cups-pdf-qv7700test"_s;

struct Result {
    int code = -1;
    QString out;
};

QString tool(const QString& name)
{
    QString path = QStandardPaths::findExecutable(name);
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(name, {u"/usr/sbin"_s, u"/sbin"_s});
    return path;
}

// One of the print service's or poppler's tools run to its end: its exit code, its output and errors together.
Result run(const QString& name, const QStringList& args)
{
    const QString path = tool(name);
    if (path.isEmpty())  // never the program under test, which Process runs when given no path
        return {};
    QByteArray out, err;
    const int code = Process(args, path).finish(&out, &err);
    return {code, QString::fromLocal8Bit(out + err)};
}

bool schedulerRunning()
{
    return run(u"lpstat"_s, {u"-r"_s}).out.contains(u"scheduler is running"_s);
}
}  // namespace

class TestPrintCups : public QObject {
    Q_OBJECT

    QStringList before_;
    PanelModel panel_;
    ScreenPicture picture_;
    std::unique_ptr<Printing> printing_;
    std::unique_ptr<Process> scheduler_;  // the print scheduler, when this test had to start it
    QTemporaryDir work_;

    // The PDF that cups-pdf writes for the next job, once it is complete (waiting a minute at least).
    QString waitForPdf()
    {
        for (int tries = 0; tries < 300; ++tries) {
            for (const QString& f : QDir(kOutDir).entryList({u"*.pdf"_s}, QDir::Files, QDir::Time)) {
                const QString path = QDir(kOutDir).filePath(f);
                // cups-pdf writes the file, then the job completes: wait until pdfinfo can read it whole.
                if (!before_.contains(f) && run(u"pdfinfo"_s, {path}).code == 0) {
                    before_.append(f);
                    return path;
                }
            }
            QTest::qWait(200);
        }
        return {};
    }

    static int pageCount(const QString& pdf)
    {
        const auto m = QRegularExpression(u"Pages:\\s+(\\d+)"_s).match(run(u"pdfinfo"_s, {pdf}).out);
        return m.hasMatch() ? m.captured(1).toInt() : 0;
    }

    // The first page as an image (a null one when pdftoppm fails). Paper stays upright in the printer: a landscape
    // job turns its content.
    QImage firstPage(const QString& pdf, int dpi = 30)
    {
        const QString prefix = work_.filePath(QFileInfo(pdf).completeBaseName());
        run(u"pdftoppm"_s, {u"-r"_s, QString::number(dpi), u"-png"_s, u"-singlefile"_s, pdf, prefix});
        return QImage(prefix + u".png"_s);
    }

    static QRect inkBox(const QImage& page)
    {
        QRect box;
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x)
                if (qGray(page.pixel(x, y)) < 128)
                    box |= QRect(x, y, 1, 1);
        return box;
    }

    // One output folder for every job, whoever the job's user is; open to all because cups-pdf writes as that
    // user.
    static bool writeInstance()
    {
        if (!QDir().mkpath(kOutDir))
            return false;
        QFile::setPermissions(kOutDir, QFileDevice::Permissions(0x7777));
        QFile conf(kInstanceConf);
        if (!conf.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        const QByteArray dir = kOutDir.toUtf8();
        conf.write("Out " + dir + "\nAnonDirName " + dir + "\nGrp lpadmin\nDecodeHexStrings 1\nLogType 3\n");
        return conf.error() == QFileDevice::NoError;
    }

    // A graticule on the screen picture, as a capture of that page would leave it.
    void drawScreen(int code)
    {
        DrawGraticule(picture_.surface(), code, true, QDateTime::currentDateTime());
        picture_.touch();
    }

    // What the queue made of the last job, for a failure message.
    static QString queueReport()
    {
        QString report = run(u"lpstat"_s, {u"-W"_s, u"all"_s, u"-o"_s, kQueueB}).out.trimmed();
        for (const QString& name : {u"/var/log/cups/cups-pdf-%1_log"_s.arg(kQueueB), u"/var/log/cups/error_log"_s}) {
            QFile log(name);
            if (log.open(QIODevice::ReadOnly))
                report += u"\n"_s + QString::fromLocal8Bit(log.readAll().right(1500));
        }
        return report;
    }

private slots:
    void initTestCase()
    {
        for (const QString& t : {u"cupsd"_s, u"lpadmin"_s, u"lpstat"_s, u"pdfinfo"_s, u"pdftotext"_s, u"pdftoppm"_s})
            if (tool(t).isEmpty())
                QSKIP(qPrintable(u"%1 is not installed (Debian: cups, printer-driver-cups-pdf, poppler-utils)"_s.arg(t)));
        if (!QFileInfo::exists(kPpd) || !QFileInfo::exists(u"/usr/lib/cups/backend/cups-pdf"_s))
            QSKIP("the cups-pdf backend is not installed (Debian: printer-driver-cups-pdf)");
        if (!schedulerRunning()) {
            // In the foreground, as a child of this test, so that the test stops exactly the scheduler it started.
            QDir().mkpath(u"/run/cups"_s);
            scheduler_ = std::make_unique<Process>(QStringList{u"-f"_s}, tool(u"cupsd"_s));
            for (int tries = 0; tries < 75 && !schedulerRunning(); ++tries)  // fifteen seconds at least
                QTest::qWait(200);
            if (!schedulerRunning())
                QSKIP(qPrintable(u"cupsd cannot start here: "_s +
                                 QString::fromLocal8Bit(scheduler_->readAll() + scheduler_->readAllStandardError())));
        }
        QVERIFY2(writeInstance(), qPrintable(u"cannot write "_s + kInstanceConf + u" (run the tests as root)"_s));
        for (const QString& q : {kQueueA, kQueueB}) {
            // pdftocairo keeps the printout's text as text on its way through PostScript to cups-pdf, so that the
            // heading can be read back; the default renderer turns it into unreadable Type 3 glyphs.
            const Result added = run(u"lpadmin"_s, {u"-p"_s, q, u"-v"_s, u"cups-pdf:/"_s + kInstance, u"-P"_s, kPpd,
                                                    u"-o"_s, u"pdftops-renderer-default=pdftocairo"_s, u"-E"_s});
            QVERIFY2(added.code == 0, qPrintable(u"lpadmin could not add the queue: "_s + added.out));
        }
        before_ = QDir(kOutDir).entryList({u"*.pdf"_s}, QDir::Files);

        installFontSubstitutions();
        printing_ = std::make_unique<Printing>(panel_, picture_);
        printing_->tempFolder = work_.path();
        printing_->warn = [](const QString& title, const QString& text) { QFAIL(qPrintable(title + u": "_s + text)); };
        const QStringList names = printing_->target().printers();
        QVERIFY2(names.contains(kQueueB), qPrintable(names.join(u", "_s)));
        printing_->choose(int(names.indexOf(kQueueB)));
    }

    void cleanupTestCase()
    {
        for (const QString& q : {kQueueA, kQueueB})
            run(u"lpadmin"_s, {u"-x"_s, q});
        QFile::remove(kInstanceConf);
        QDir(kOutDir).removeRecursively();
        if (scheduler_) {
            scheduler_->terminate();
            scheduler_->waitForFinished(15000);  // time to write its state, so that the removed queues stay gone
            scheduler_.reset();
            QVERIFY2(!schedulerRunning(), "the print scheduler this test started is still running");
        }
    }

    void screenNormally()
    {
        drawScreen(4);
        panel_.setMenuEnabled(Menu::PrintFrame, true);
        printing_->printScreen();
        QCOMPARE(printing_->currentPrinter(), kQueueB);
        const QString pdf = waitForPdf();
        QVERIFY2(!pdf.isEmpty(), qPrintable(u"no PDF came out of the queue:\n"_s + queueReport()));
        QCOMPARE(pageCount(pdf), 1);
        // The 1025 x 769 picture, wider than tall, lies turned on the upright sheet: landscape.
        const QRect ink = inkBox(firstPage(pdf));
        QVERIFY2(ink.height() > ink.width() * 5 / 4, qPrintable(u"picture %1 x %2"_s.arg(ink.width()).arg(ink.height())));
        QVERIFY(!panel_.menuEnabled(Menu::PrintFrame));
    }

    void screenBlackOnWhite()
    {
        drawScreen(1);
        printing_->printScreenBlackOnWhite();
        const QString pdf = waitForPdf();
        QVERIFY2(!pdf.isEmpty(), qPrintable(queueReport()));
        const QImage page = firstPage(pdf, 100);  // a null page fails below: no white paper
        int white = 0, dark = 0;
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x) {
                const int g = qGray(page.pixel(x, y));
                white += g > 200;
                dark += g < 160;
            }
        const int total = page.width() * page.height();
        QVERIFY2(white > total * 8 / 10, "the paper stays white");
        QVERIFY2(dark > total / 400, qPrintable(u"the traces print dark: %1 of %2"_s.arg(dark).arg(total)));
    }

    void errorLog()
    {
        panel_.setStatusText(u" CORVANE QV7700 SCOPE\n1:  06/12 08:01:59 GAMUT - CHROMA\n-------- End of Log --------"_s);
        printing_->printLog();
        const QString pdf = waitForPdf();
        QVERIFY2(!pdf.isEmpty(), qPrintable(queueReport()));
        QCOMPARE(pageCount(pdf), 1);
        // Portrait: the lines run across the upright sheet.
        const QRect ink = inkBox(firstPage(pdf));
        QVERIFY2(ink.width() > ink.height(), qPrintable(u"text %1 x %2"_s.arg(ink.width()).arg(ink.height())));
        const QString text = run(u"pdftotext"_s, {pdf, u"-"_s}).out;
        QVERIFY2(text.contains(u"Corvane QV Scope 7700 Error Logger"_s), qPrintable(text));
        QVERIFY(text.contains(u"GAMUT - CHROMA"_s));
        QVERIFY(text.contains(u"End of Log"_s));
    }
};

QTEST_MAIN(TestPrintCups)
#include "test_print_cups.moc"
