#pragma once
// frmSelect: the system's printers; the one chosen prints screens and the log.

#include <QWidget>

class QListWidget;
class QPushButton;

namespace qv {

class Printing;
struct SharedState;

class PrinterDialog : public QWidget {
    Q_OBJECT
public:
    PrinterDialog(SharedState& state, Printing& printing, QWidget* parent = nullptr);
    QListWidget* list() const { return list_; }
    void start();  // fills the list once; it is not rebuilt when the dialog is shown again
    void selectPrinter();

private:
    SharedState& state_;
    Printing& printing_;
    QListWidget* list_;
    QPushButton* select_;
};

}  // namespace qv
