#include "files/printer_dialog.h"

#include "files/printing.h"

#include <QFontMetrics>
#include <QListWidget>
#include <QPushButton>

namespace qv {

using namespace Qt::StringLiterals;

PrinterDialog::PrinterDialog(Printing& printing, QWidget* parent)
    : QWidget(parent), printing_(printing)
{
    setWindowTitle(u"Select a Printer to Use"_s);
    setFixedSize(4680 / 15, 3090 / 15);
    list_ = new QListWidget(this);
    list_->setGeometry(1080 / 15, 480 / 15, 2655 / 15, 1425 / 15);
    select_ = new QPushButton(u"Select Printer"_s, this);
    select_->setGeometry(1920 / 15, 2280 / 15, 975 / 15, 495 / 15);
    select_->setAutoDefault(false);
    // The button keeps its designed size; a substituted font that runs wider is made to fit.
    QFont f = select_->font();
    while (f.pointSizeF() > 6 && QFontMetrics(f).horizontalAdvance(select_->text()) > select_->width() - 8)
        f.setPointSizeF(f.pointSizeF() - 0.5);
    select_->setFont(f);
    connect(select_, &QPushButton::clicked, this, &PrinterDialog::selectPrinter);
    connect(list_, &QListWidget::itemDoubleClicked, this, &PrinterDialog::selectPrinter);
    start();
}

void PrinterDialog::start()
{
    list_->clear();
    const QStringList names = printing_.target().printers();
    printerCount_ = int(names.size());
    if (names.isEmpty())
        list_->addItem(u"(No printer installed)"_s);
    else
        list_->addItems(names);
}

void PrinterDialog::selectPrinter()
{
    // "(No printer installed)", or no entry chosen, leaves the choice as it was.
    if (printerCount_ > 0)
        printing_.choose(list_->currentRow());
    hide();
}

}  // namespace qv
