#pragma once
// The printer dialog: the system's printers; the one chosen prints screens and the log.

#include <QWidget>

class QListWidget;
class QPushButton;

namespace qv {

class Printing;

class PrinterDialog : public QWidget {
    Q_OBJECT
public:
    PrinterDialog(Printing& printing, QWidget* parent = nullptr);
    QListWidget* list() const { return list_; }
    void start();  // fills the list once; it is not rebuilt when the dialog is shown again
    void selectPrinter();

private:
    int printerCount_ = 0;
    Printing& printing_;
    QListWidget* list_;
    QPushButton* select_;
};

}  // namespace qv
