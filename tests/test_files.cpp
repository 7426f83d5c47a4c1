// Screen files and printing: the path rule, store and display round trips, failures that must not lose the
// picture, the menu states, the black-on-white rule and the printer choice. Printers are PDF files here; the
// real print service has its own test.

#include "files/printer_dialog.h"
#include "files/printing.h"
#include "files/screen_files.h"
#include "render/screen_picture.h"
#include "state/panel_model.h"

#include <QFileInfo>
#include <QLineEdit>
#include <QComboBox>
#include <QListWidget>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTest>

using namespace qv;
using namespace Qt::StringLiterals;

namespace {
class PdfTarget : public PrintTarget {
public:
    QStringList names;
    QString dir;
    QStringList printers() const override { return names; }
    std::unique_ptr<QPrinter> open(const QString& name, QPageLayout::Orientation orientation) const override
    {
        if (!names.contains(name))
            return nullptr;
        auto p = std::make_unique<QPrinter>(QPrinter::ScreenResolution);
        p->setOutputFormat(QPrinter::PdfFormat);
        p->setOutputFileName(dir + u'/' + name + (orientation == QPageLayout::Landscape ? u"-landscape.pdf"_s : u"-portrait.pdf"_s));
        p->setPageOrientation(orientation);
        return p;
    }
};

struct Rig {
    QTemporaryDir dir;
    PanelModel panel;
    ScreenPicture picture;
    std::shared_ptr<PdfTarget> target = std::make_shared<PdfTarget>();
    Printing printing{panel, picture, target};
    // Each message box as "title: text", with " (!)" when it carries the exclamation icon.
    QStringList messages;
    int downloadShown = 0, downloadHidden = 0;
    explicit Rig(const QStringList& printers = {})
    {
        target->names = printers;
        target->dir = dir.path();
        printing.tempFolder = dir.path();
        printing.warn = [this](const QString& t, const QString& m) { messages.append(t + u": "_s + m + u" (!)"_s); };
        printing.hideDownload = [this] { ++downloadHidden; };
        // A picture with a trace: green lines, a white dot, a near-black pixel.
        picture.surface().foreColor = palette::Green;
        picture.surface().line(0, 100, 1024, 100);
        picture.surface().pset(500, 300, palette::White);
        picture.surface().pset(501, 300, 0xff010101);
        picture.touch();
    }
    std::unique_ptr<ScreenFilesDialog> files()
    {
        auto d = std::make_unique<ScreenFilesDialog>(panel, picture);
        d->message = [this](const QString& t, const QString& m, bool e) {
            messages.append(t + u": "_s + m + (e ? u" (!)"_s : QString()));
        };
        d->showDownload = [this] { ++downloadShown; };
        d->hideDownload = [this] { ++downloadHidden; };
        d->setFolder(dir.path());
        return d;
    }
    bool printed(const QString& name) const { return QFileInfo(dir.filePath(name)).size() > 0; }
};
}  // namespace

class TestFiles : public QObject {
    Q_OBJECT
private slots:
    void pathRule_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("expected");
        const QString sep = QDir::separator();
        QTest::newRow("drive root") << u"C:\\"_s << u"C:\\mypic.bmp"_s;
        QTest::newRow("unix root") << u"/"_s << u"/mypic.bmp"_s;
        QTest::newRow("deep folder") << u"/home/eng/screens"_s << u"/home/eng/screens"_s + sep + u"mypic.bmp"_s;
        QTest::newRow("short folder") << u"/a"_s << u"/a"_s + sep + u"mypic.bmp"_s;  // not glued to the name
        QTest::newRow("trailing separator") << u"/tmp/"_s << u"/tmp/mypic.bmp"_s;
    }

    void pathRule()
    {
        QFETCH(QString, folder);
        QTEST(fullPicturePath(folder, u"mypic.bmp"_s), "expected");
    }

    void storeThenDisplayRoundTrip_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("bmp") << u"mypic.bmp"_s;
        QTest::newRow("png") << u"shot.png"_s;
        QTest::newRow("no extension") << u"plain"_s;  // stored as typed, as a bitmap
    }

    void storeThenDisplayRoundTrip()
    {
        QFETCH(QString, name);
        Rig r;
        auto d = r.files();
        const QImage original = r.picture.image().copy();
        d->show();
        QCOMPARE(d->nameBox()->text(), u"mypic.bmp"_s);  // the name offered first
        d->nameBox()->setText(name);
        d->storeFile();
        QVERIFY(r.messages.isEmpty());
        QVERIFY(!d->isVisible());
        QVERIFY(QFile::exists(r.dir.filePath(name)));
        r.picture.surface().clear();
        d->show();
        const auto found = d->files()->findItems(name, Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        d->files()->setCurrentItem(found.first());
        r.panel.setMenuEnabled(Menu::Reverse, true);
        d->showFile();
        QVERIFY(r.picture.image() == original);
        QCOMPARE(r.downloadShown, 1);
        QVERIFY(!d->isVisible());
        QVERIFY(!r.panel.menuEnabled(Menu::Reverse));
        QVERIFY(r.panel.menuEnabled(Menu::PrintFrame));
        // Hidden, not destroyed: folder and name are there next time.
        d->show();
        QCOMPARE(d->folder(), QDir::cleanPath(r.dir.path()));
        QCOMPARE(d->nameBox()->text(), name);
    }

    void displayOfNothingOrNotAPicture()
    {
        Rig r;
        QFile junk(r.dir.filePath(u"notes.txt"_s));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("not a picture");
        junk.close();
        auto d = r.files();
        d->show();
        d->files()->setCurrentRow(-1);
        d->showFile();
        d->files()->setCurrentItem(d->files()->findItems(u"notes.txt"_s, Qt::MatchExactly).value(0));
        d->showFile();
        QCOMPARE(r.messages, QStringList(2, u"File Directory Error: No .BMP file is selected"_s));
        QCOMPARE(r.downloadHidden, 2);
        QCOMPARE(r.downloadShown, 0);
    }

    void driveNotReady()
    {
        Rig r;
        auto d = r.files();
        const QString before = d->folder();
        d->drive()->addItem(u"X:"_s, u"/nonexistent-volume"_s);
        d->Drive1_Change(d->drive()->count() - 1);
        QCOMPARE(r.messages, QStringList{u"Drive Error: Selected Drive not ready (!)"_s});
        QCOMPARE(d->folder(), before);
        QVERIFY(d->drive()->currentIndex() != d->drive()->count() - 1);  // back on the drive in use
    }

    void storeFailureKeepsTheDialog()
    {
        Rig r;
        auto d = r.files();
        d->show();
        d->nameBox()->setText(u"no/such/folder/x.bmp"_s);
        d->storeFile();
        QCOMPARE(r.messages.size(), 1);
        QVERIFY(r.messages[0].startsWith(u"File Store Error: "_s) && r.messages[0].endsWith(u" (!)"_s));
        QVERIFY(d->isVisible());
        QCOMPARE(d->nameBox()->text(), u"no/such/folder/x.bmp"_s);
    }

    void blackOnWhiteRule()
    {
        Rig r({u"A"_s});
        int rows = 0;
        r.printing.rowInverted = [&](int) { ++rows; };
        r.printing.printScreenBlackOnWhite();
        // Only true black turns white; everything else, even a near-black, prints black.
        QCOMPARE(r.picture.surface().point(10, 10), palette::White);
        QCOMPARE(r.picture.surface().point(10, 100), palette::Black);  // the green trace
        QCOMPARE(r.picture.surface().point(500, 300), palette::Black);  // the white dot
        QCOMPARE(r.picture.surface().point(501, 300), palette::Black);  // the near-black pixel
        // Only columns 0..1021 of rows 0..765 are turned: the rest of the picture stays as it was.
        QCOMPARE(rows, 766);
        QCOMPARE(r.picture.surface().point(1023, 10), palette::Black);  // outside the pass: untouched
        QCOMPARE(r.picture.surface().point(10, 767), palette::Black);
        QVERIFY(r.printed(u"A-landscape.pdf"_s));
        QVERIFY(!r.panel.busyPointer(PointerOwner::MainWindow));
    }

    // Ten characters to the line and three lines to the page; the log starts on the second line of the first
    // page, under the heading. Each printed line reads page/top/text.
    void logLayout_data()
    {
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<QStringList>("printed");
        QTest::newRow("a line that fits") << QStringList{u"ABC"_s} << QStringList{u"0/10/ABC"_s};
        QTest::newRow("wrapped at the last blank that fits")
            << QStringList{u"ONE TWO THREE FOUR"_s} << QStringList{u"0/10/ONE TWO"_s, u"0/20/THREE FOUR"_s};
        QTest::newRow("a word wider than the page is cut")
            << QStringList{u"ABCDEFGHIJKLMNO"_s} << QStringList{u"0/10/ABCDEFGHIJ"_s, u"0/20/KLMNO"_s};
        QTest::newRow("leading blanks kept, blanks at the break dropped")
            << QStringList{u" 7:  XNTRY   ABCDE"_s} << QStringList{u"0/10/ 7:  XNTRY"_s, u"0/20/ABCDE"_s};
        QTest::newRow("new page before a line that would run past the bottom")
            << QStringList{u"A"_s, u"B"_s, u"C"_s} << QStringList{u"0/10/A"_s, u"0/20/B"_s, u"1/0/C"_s};
        QTest::newRow("a wrapped line goes on over the page break")
            << QStringList{u"X"_s, u"ONE TWO THREE"_s} << QStringList{u"0/10/X"_s, u"0/20/ONE TWO"_s, u"1/0/THREE"_s};
        QTest::newRow("empty lines keep their place") << QStringList{QString(), u"A"_s}
                                                      << QStringList{u"0/10/"_s, u"0/20/A"_s};
    }

    void logLayout()
    {
        QFETCH(QStringList, log);
        const auto width = [](const QString& s) { return 10.0 * double(s.size()); };
        QStringList got;
        for (const PrintedLine& l : layOutLog(log, 10, 10, QSizeF(100, 30), width))
            got << u"%1/%2/%3"_s.arg(l.page).arg(l.top).arg(l.text);
        QTEST(got, "printed");
    }

    void printScreenAndMenus()
    {
        Rig r({u"A"_s});
        r.panel.setMenuEnabled(Menu::PrintFrame, true);
        r.panel.setMenuEnabled(Menu::Reverse, true);
        r.printing.printScreen();
        QVERIFY(r.printed(u"A-landscape.pdf"_s));
        QVERIFY(!r.panel.menuEnabled(Menu::PrintFrame) && !r.panel.menuEnabled(Menu::Reverse));
        QCOMPARE(r.downloadHidden, 1);
        QVERIFY(QImage(r.dir.filePath(u"temp.bmp"_s)) == r.picture.image());
        QVERIFY(r.messages.isEmpty());
    }

    void noPrinterOrStaleIndexKeepsTheScreen()
    {
        for (int index : {0, 3}) {
            Rig r(index == 0 ? QStringList() : QStringList{u"A"_s, u"B"_s});
            r.printing.setPrinterIndex(index);
            r.panel.setMenuEnabled(Menu::PrintFrame, true);
            r.panel.setMenuEnabled(Menu::Reverse, true);
            r.printing.printScreen();
            const QString noPrinter = u"Print Error: Can't find a Printer (!)"_s;
            QCOMPARE(r.messages, QStringList{noPrinter});
            QVERIFY(r.panel.menuEnabled(Menu::PrintFrame) && r.panel.menuEnabled(Menu::Reverse));
            QCOMPARE(QDir(r.dir.path()).entryList(QDir::Files).size(), 0);
            r.printing.printLog();
            QCOMPARE(r.messages, QStringList(2, noPrinter));
        }
    }

    void unwritableTempStillPrints()
    {
        Rig r({u"A"_s});
        r.printing.tempFolder = r.dir.filePath(u"missing/folder"_s);
        r.printing.printScreen();
        QVERIFY(r.printed(u"A-landscape.pdf"_s));
        QVERIFY(r.panel.statusText().startsWith(u"Could not write"_s));
    }

    void printerChoice()
    {
        Rig r;
        {
            PrinterDialog none(r.printing);
            QCOMPARE(none.list()->count(), 1);
            QCOMPARE(none.list()->item(0)->text(), u"(No printer installed)"_s);
            none.list()->setCurrentRow(0);
            none.selectPrinter();  // not a printer: nothing changes
            QVERIFY(r.printing.currentPrinter().isEmpty());
        }
        r.target->names = {u"First"_s, u"Second"_s};
        PrinterDialog dialog(r.printing);
        QCOMPARE(dialog.list()->count(), 2);
        QCOMPARE(r.printing.printerIndex(), 0);  // filling the list changes nothing
        dialog.list()->setCurrentRow(-1);
        dialog.selectPrinter();  // nothing chosen
        QCOMPARE(r.printing.printerIndex(), 0);
        dialog.list()->setCurrentRow(1);
        dialog.selectPrinter();
        QCOMPARE(r.printing.printerIndex(), 1);
        QCOMPARE(r.printing.currentPrinter(), u"Second"_s);
        r.printing.printScreen();
        r.panel.setStatusText(u"1:  a log line\n-------- End of Log --------"_s);
        r.printing.printLog();
        QVERIFY(r.printed(u"Second-landscape.pdf"_s));
        QVERIFY(r.printed(u"Second-portrait.pdf"_s));
        QVERIFY(!r.printed(u"First-landscape.pdf"_s) && !r.printed(u"First-portrait.pdf"_s));
    }
};

QTEST_MAIN(TestFiles)
#include "test_files.moc"
