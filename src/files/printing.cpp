#include "files/printing.h"

#include "render/screen_picture.h"
#include "state/panel_model.h"
#include "render/fonts.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

namespace qv {

using namespace Qt::StringLiterals;

namespace {
constexpr int kInvertRows = 766;     // rows 0..765
constexpr int kInvertColumns = 1022;  // columns 0..1021
}  // namespace

QStringList PrintTarget::printers() const
{
    return QPrinterInfo::availablePrinterNames();
}

std::unique_ptr<QPrinter> PrintTarget::open(const QString& name, QPageLayout::Orientation orientation) const
{
    const QPrinterInfo info = QPrinterInfo::printerInfo(name);
    if (info.isNull())
        return nullptr;
    auto printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    printer->setPageOrientation(orientation);
    printer->setDocName(u"qv7700-remote"_s);
    return printer;
}

void blackOnWhiteRow(QImage& image, int y)
{
    if (y < 0 || y >= image.height() || image.format() != QImage::Format_RGB32)
        return;
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    const int n = std::min(kInvertColumns, image.width());
    for (int x = 0; x < n; ++x)
        row[x] = (row[x] & 0xffffff) == 0 ? 0xffffffffu : 0xff000000u;
}

namespace {
// Splits one line into pieces no wider than maxWidth.
QStringList wrapLine(const QString& line, double maxWidth, const std::function<double(const QString&)>& width)
{
    QStringList pieces;
    QString rest = line;
    while (maxWidth > 0 && width(rest) > maxWidth) {
        // The longest start of the rest that fits (widths only grow as characters are added); at least one
        // character, so that a page narrower than a letter still moves on.
        qsizetype lo = 1, hi = rest.size() - 1;
        while (lo < hi) {
            const qsizetype mid = (lo + hi + 1) / 2;
            if (width(rest.left(mid)) <= maxWidth)
                lo = mid;
            else
                hi = mid - 1;
        }
        qsizetype cut = lo;
        // Break at the last blank that fits, unless the blank is all there is before it.
        const qsizetype blank = rest.left(cut + 1).lastIndexOf(u' ');
        if (blank > 0 && !rest.left(blank).trimmed().isEmpty())
            cut = blank;
        QString piece = rest.left(cut);
        while (piece.endsWith(u' '))
            piece.chop(1);
        pieces << piece;
        qsizetype next = cut;
        while (next < rest.size() && rest.at(next) == u' ')
            ++next;
        rest = rest.mid(next);
    }
    pieces << rest;
    return pieces;
}
}  // namespace

QList<PrintedLine> layOutLog(const QStringList& lines, double top, double lineHeight, QSizeF page,
                             const std::function<double(const QString&)>& width)
{
    QList<PrintedLine> out;
    int pageIndex = 0;
    double y = top;
    for (const QString& line : lines) {
        for (const QString& piece : wrapLine(line, page.width(), width)) {
            if (y + lineHeight > page.height() && y > 0) {
                ++pageIndex;
                y = 0;
            }
            out.append({pageIndex, y, piece});
            y += lineHeight;
        }
    }
    return out;
}

Printing::Printing(PanelModel& panel, ScreenPicture& picture, std::shared_ptr<PrintTarget> target, QObject* parent)
    : QObject(parent), panel_(panel), picture_(picture), target_(std::move(target))
{
    tempFolder = QDir::currentPath();
}

void Printing::choose(int index)
{
    const QStringList names = target_->printers();
    // "(No printer installed)" or no choice at all leaves the printer as it was.
    if (index < 0 || index >= names.size())
        return;
    printerIndex_ = index;
    current_ = names.at(index);
}

void Printing::cantFindPrinter()
{
    if (warn)
        warn(u"Print Error"_s, u"Can't find a Printer"_s);
}

bool Printing::makeCurrent()
{
    const QStringList names = target_->printers();
    if (printerIndex_ < 0 || printerIndex_ >= names.size()) {
        cantFindPrinter();
        return false;
    }
    current_ = names.at(printerIndex_);
    return true;
}

void Printing::printPicture()
{
    // No printer, or one that has gone: nothing is printed and both print items stay, so the screen is kept.
    if (!makeCurrent())
        return;
    auto printer = target_->open(current_, QPageLayout::Landscape);
    if (!printer) {
        cantFindPrinter();
        return;
    }
    // "temp.bmp" keeps a copy of what was printed. If it cannot be written the printout still goes ahead from
    // the picture itself, and the user is told.
    const QString temp = QDir(tempFolder).filePath(u"temp.bmp"_s);
    QImage page = picture_.image();
    if (!page.save(temp, "BMP")) {
        panel_.setStatusText(u"Could not write %1: printed from the screen picture"_s.arg(QDir::toNativeSeparators(temp)));
    } else {
        const QImage reloaded(temp);
        if (!reloaded.isNull())
            page = reloaded;
    }
    QPainter p;
    if (!p.begin(printer.get())) {
        cantFindPrinter();
        return;
    }
    // The whole picture on one page, as large as the page allows, square pixels.
    const QRect area = p.viewport();
    const QSize size = page.size().scaled(area.size(), Qt::KeepAspectRatio);
    p.drawImage(QRect(area.topLeft(), size), page);
    p.end();
    if (hideDownload)
        hideDownload();
    panel_.setMenuEnabled(Menu::PrintFrame, false);
    panel_.setMenuEnabled(Menu::Reverse, false);
    emit printed();
}

void Printing::printScreen()
{
    printPicture();
}

void Printing::printScreenBlackOnWhite()
{
    panel_.setBusyPointer(PointerOwner::MainWindow, true);
    picture_.surface().finish();
    QImage& image = picture_.surface().image();
    const int rows = std::min(kInvertRows, image.height());
    for (int y = 0; y < rows; ++y) {
        blackOnWhiteRow(image, y);
        if (rowInverted)
            rowInverted(y);
    }
    picture_.touch();
    panel_.setBusyPointer(PointerOwner::MainWindow, false);
    printPicture();
}

void Printing::printLog()
{
    if (!makeCurrent())
        return;
    auto printer = target_->open(current_, QPageLayout::Portrait);
    QPainter p;
    if (!printer || !p.begin(printer.get())) {
        cantFindPrinter();
        return;
    }
    const QRect page = p.viewport();
    double y = 0;
    const auto line = [&](const QString& text) {
        const QFontMetricsF m(p.font(), printer.get());
        if (y + m.height() > page.height() && y > 0) {
            printer->newPage();
            y = 0;
        }
        p.drawText(QPointF(0, y + m.ascent()), text);
        y += m.height();
    };
    p.setFont(QFont(kPrintFont, 12));
    line(QString());
    QFont heading(kPrintFont, 18);
    heading.setBold(true);
    p.setFont(heading);
    line(u"Corvane QV Scope 7700 Error Logger"_s);
    QFont body(kPrintFont, 12);
    body.setBold(false);
    p.setFont(body);
    // The box's own line breaks break the lines; a record's lone line feed does too. A line wider than the
    // paper goes on in the next line rather than off the edge.
    QString text = panel_.statusText();
    text.replace(u"\r\n"_s, u"\n"_s);
    const QFontMetricsF m(body, printer.get());
    const auto pieces = layOutLog(text.split(u'\n'), y, m.height(), page.size(),
                                  [&m](const QString& s) { return m.horizontalAdvance(s); });
    int pageIndex = 0;
    for (const PrintedLine& l : pieces) {
        for (; pageIndex < l.page; ++pageIndex)
            printer->newPage();
        p.drawText(QPointF(0, l.top + m.ascent()), l.text);
    }
    p.end();
    emit printed();
}

}  // namespace qv
