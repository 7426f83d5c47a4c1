#pragma once
// The main window: a drawing of the instrument's front panel with the status box, Exit, and three menus.
// It holds no logic of its own: it forwards clicks to the remote control and mirrors its panel model.

#include "state/panel_model.h"

#include <QMainWindow>

#include <array>

class QAction;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QFrame;

namespace qv {

class Session;
class KnobButton;
class DownloadWindow;
class AboutWindow;
class ScreenFilesDialog;
class PrinterDialog;
class Printing;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(Session& session, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Controls by their names, for tests and for the secondary windows.
    QPushButton* keyButton(Key k) const { return keys_[size_t(k)]; }
    QFrame* lamp(int n) const { return lamps_.at(size_t(n - 1)); }
    QLabel* softKeyLabel(int n) const { return captions_.at(size_t(n - 1)); }
    KnobButton* knob(int n) const { return knobs_.at(size_t(n - 1)); }
    QPlainTextEdit* statusBox() const { return text1_; }
    QPushButton* exitButton() const { return cmdExit_; }
    QAction* menuAction(Menu m) const { return menus_[size_t(m)]; }
    QWidget* panelArea() const { return centralWidget(); }

    DownloadWindow* screenWindow();
    AboutWindow* aboutWindow();
    ScreenFilesDialog* screenFilesDialog();
    PrinterDialog* printerDialog();
    Printing& printing() { return *printing_; }

    void showAbout();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildPanel();
    void buildStatusBoxAndExit(QWidget* panel);
    void setPanelTabOrder();
    void buildMenus();
    void mirror();

    Session& session_;
    QLabel* progress_ = nullptr;
    QLabel* instrument_ = nullptr;  // the chosen instrument, in the status bar
    std::array<QPushButton*, kKeyCount> keys_{};
    std::array<QFrame*, 9> lamps_{};
    std::array<QLabel*, 9> captions_{};
    std::array<KnobButton*, 6> knobs_{};
    QPlainTextEdit* text1_ = nullptr;
    QPushButton* cmdExit_ = nullptr;
    std::array<QAction*, kMenuCount> menus_{};
    QString shownText_;

    DownloadWindow* download_ = nullptr;
    AboutWindow* about_ = nullptr;
    ScreenFilesDialog* files_ = nullptr;
    PrinterDialog* select_ = nullptr;
    Printing* printing_ = nullptr;
};

}  // namespace qv
