#pragma once
// Printing screens and the error log on the printer the user chose, through the system's print service
// (CUPS on Linux), and the black-on-white pass that turns light traces on black into dark traces on paper.

#include <QImage>
#include <QObject>
#include <QList>
#include <QPageLayout>
#include <QSizeF>
#include <QStringList>

#include <functional>
#include <memory>

class QPrinter;

namespace qv {

class PanelModel;
class ScreenPicture;

// Where printouts go. The default is the system's printers; tests put PDF files in their place.
class PrintTarget {
public:
    virtual ~PrintTarget() = default;
    virtual QStringList printers() const;  // in the system's order
    // A printer ready for a job on the named printer, or nullptr when it cannot be had.
    virtual std::unique_ptr<QPrinter> open(const QString& name, QPageLayout::Orientation orientation) const;
};

// Exactly black becomes white, every other colour black, in the rectangle the printout covers.
void blackOnWhiteRow(QImage& image, int y);

// One printed line of the log printout: its page (from 0), the top of the line on that page, and its text.
struct PrintedLine {
    int page = 0;
    double top = 0;
    QString text;
};
// Lays the log's lines out down the pages, starting at `top` of the first page. A line wider than the page is
// wrapped at the last blank that fits, or cut when a single word is wider than the page; the blanks at a
// break are dropped. A line that would run past the bottom of a page starts the next one.
QList<PrintedLine> layOutLog(const QStringList& lines, double top, double lineHeight, QSizeF page,
                             const std::function<double(const QString&)>& width);

class Printing : public QObject {
    Q_OBJECT
public:
    Printing(PanelModel& panel, ScreenPicture& picture,
             std::shared_ptr<PrintTarget> target = std::make_shared<PrintTarget>(), QObject* parent = nullptr);

    const PrintTarget& target() const { return *target_; }
    QString currentPrinter() const { return current_; }
    // The choice in the printer dialog: the index in the list of printers (the first at start) and its name.
    void choose(int index);
    int printerIndex() const { return printerIndex_; }
    // A choice restored as it was (an index that names no printer any more makes the next printout warn).
    void setPrinterIndex(int index) { printerIndex_ = index; }

    void printScreen();
    void printScreenBlackOnWhite();
    void printLog();

    // The folder where each screen printout leaves "temp.bmp": the program's current folder.
    QString tempFolder;

    // Hooks to the windows.
    std::function<void()> hideDownload;
    std::function<void(const QString& title, const QString& text)> warn;  // exclamation box, OK only
    std::function<void(int row)> rowInverted;                            // after each row of the sweep

signals:
    void printed();

private:
    bool makeCurrent();  // the printer at the chosen index, or the "Can't find a Printer" box
    void printPicture();
    void cantFindPrinter();

    int printerIndex_ = 0;
    PanelModel& panel_;
    ScreenPicture& picture_;
    std::shared_ptr<PrintTarget> target_;
    QString current_;
};

}  // namespace qv
