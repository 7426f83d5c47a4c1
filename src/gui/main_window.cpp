#include "gui/main_window.h"

#include "gui/about_window.h"
#include "gui/download_window.h"
#include "gui/instrument_choice.h"
#include "gui/knob_button.h"
#include "gui/knob_icons.h"
#include "gui/network_dialog.h"
#include "session/session.h"
#include "gui/watch_window.h"
#include "files/printer_dialog.h"
#include "files/printing.h"
#include "files/screen_files.h"
#include "state/twips.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QPlainTextEdit>
#include <QPushButton>

namespace qv {

using namespace Qt::StringLiterals;

namespace {

struct KeyLayout {
    Key key;
    const char16_t* caption;
    int left, top, width, height;
    const char16_t* tooltip;
};

// Mode keys 975 x 375, left column 615 x 375, soft keys 495 x 375. Tooltips are the instrument maker's,
// including the blank after "Select Waveform Mode".
const KeyLayout kKeyLayouts[] = {
    {Key::Wfm, u"WFM", 2160, 360, 975, 375, u"Select Waveform Mode "},
    {Key::Vect, u"VECT", 3240, 360, 975, 375, u"Select Vector Mode"},
    {Key::Audio, u"AUDIO", 4320, 360, 975, 375, u"Select Audio Mode"},
    {Key::Curs, u"CURS", 2160, 960, 975, 375, u"Select Cursor Mode"},
    {Key::Logger, u"LOGGER", 3240, 960, 975, 375, u"Select Logger Mode"},
    {Key::Alarm, u"ALARM", 4320, 960, 975, 375, u"Select Alarms"},
    {Key::Data, u"DATA", 2160, 1560, 975, 375, u"Select Data Mode"},
    {Key::Display, u"DISPLAY", 3240, 1560, 975, 375, u"Select Display Mode"},
    {Key::Pix, u"PICTURE", 4320, 1560, 975, 375, u"Select Picture Mode"},
    {Key::CH1, u"CH1", 720, 360, 615, 375, u"Select Input from Channel 1"},
    {Key::CH2, u"CH2", 720, 960, 615, 375, u"Select Input from Channel 2"},
    {Key::Eye, u"EYE", 720, 1560, 615, 375, nullptr},
    {Key::Rec, u"REC", 720, 3360, 615, 375, u"Recall Settings"},
    {Key::Sto, u"STO", 720, 3960, 615, 375, u"Store Settings"},
};

constexpr int kSoftLeft[3] = {2400, 3480, 4560};
constexpr int kSoftTop[3] = {3000, 3720, 4440};

const char16_t* const kKnobTips[6] = {u"Move Left", u"Move Right", u"Move Up", u"Move Down", u"Decrease Volume",
                                      u"Increase Volume"};
constexpr int kKnobLeft[6] = {360, 1200, 2520, 3360, 4680, 5520};

constexpr QPoint kLampPos[9] = {{1080, 5400}, {3240, 5400}, {5400, 5400}, {360, 480},  {360, 1080},
                                {360, 1680},  {360, 2280},  {5640, 840},  {5640, 1200}};

void setHighlightFont(QWidget* w, bool on)
{
    QFont f = w->font();
    if (f.bold() == on && f.underline() == on)
        return;
    f.setBold(on);
    f.setUnderline(on);
    w->setFont(f);
}

QLabel* fixedLabel(QWidget* parent, const QString& text, QRect geometry, const QString& tip = {})
{
    auto* l = new QLabel(text, parent);
    l->setGeometry(geometry);
    l->setToolTip(tip);
    return l;
}
}  // namespace

MainWindow::MainWindow(Session& session, QWidget* parent) : QMainWindow(parent), session_(session)
{
    setWindowTitle(u"Corvane QV7700  Session Control   Ver 1.1"_s);
    setWindowIcon(appIcon());
    buildPanel();
    buildMenus();
    // Progress of the transfers goes below the panel, so that nothing on the panel moves.
    progress_ = new QLabel(this);
    statusBar()->addWidget(progress_, 1);
    instrument_ = new QLabel(instrumentCaption(session_), this);
    instrument_->setContentsMargins(0, 0, 8, 0);
    statusBar()->addPermanentWidget(instrument_);
    statusBar()->setSizeGripEnabled(false);
    ScreenFetch& fetch = session_.screenFetch();
    connect(&fetch, &ScreenFetch::showDownload, this, [this] {
        DownloadWindow* w = screenWindow();
        w->show();
        w->raise();
    });
    connect(&fetch, &ScreenFetch::progress, this, [this](int blocks, int total) {
        progress_->setText(u"Screen: %1 of %2 blocks"_s.arg(blocks).arg(total));
        progress_->repaint();
    });
    connect(&fetch, &ScreenFetch::finished, this, [this] { progress_->clear(); });
    ErrorLog& log = session_.errorLog();
    connect(&log, &ErrorLog::progress, this, [this](int records) {
        progress_->setText(u"Log: %1 records received"_s.arg(records));
    });
    connect(&log, &ErrorLog::finished, this, [this] { progress_->clear(); });
    printing_ = new Printing(session_.panel(), session_.picture(), std::make_shared<PrintTarget>(), this);
    printing_->hideDownload = [this] {
        if (download_)
            download_->hide();
    };
    printing_->warn = [this](const QString& title, const QString& text) {
        QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, this);
        box.exec();
    };
    printing_->rowInverted = [this](int row) {
        // The user sees the black-on-white pass run down the picture.
        if (download_ && download_->isVisible())
            download_->view()->repaintPicture(QRect(0, row, download_->view()->sizeHint().width(), 1));
    };
    connect(&log, &ErrorLog::usbError, this, [this](int number) {
        QMessageBox box(QMessageBox::NoIcon, u"USB Error"_s, QString::number(number), QMessageBox::Ok, this);
        box.exec();
    });
    connect(&session_.panel(), &PanelModel::changed, this, &MainWindow::mirror);
    connect(&session_, &Session::exitRequested, qApp, &QCoreApplication::quit);
    mirror();
}

MainWindow::~MainWindow()
{
    delete download_;
    delete about_;
    delete files_;
    delete select_;
}

void MainWindow::buildPanel()
{
    auto* panel = new QWidget(this);
    panel->setFixedSize(twipsToPixels(10725), twipsToPixels(6855));  // client area 715 x 457 below the menu bar
    setCentralWidget(panel);

    for (const auto& key : kKeyLayouts) {
        auto* b = new QPushButton(QString::fromUtf16(key.caption), panel);
        b->setGeometry(twipRect(key.left, key.top, key.width, key.height));
        if (key.tooltip)
            b->setToolTip(QString::fromUtf16(key.tooltip));
        b->setAutoDefault(false);
        keys_[size_t(key.key)] = b;
    }
    for (int n = 1; n <= 9; ++n) {
        const int left = kSoftLeft[(n - 1) % 3], top = kSoftTop[(n - 1) / 3];
        auto* b = new QPushButton(QString::number(n), panel);
        b->setGeometry(twipRect(left, top, 495, 375));
        b->setAutoDefault(false);
        keys_[size_t(int(Key::Soft1) + n - 1)] = b;
        const int width = (n == 7 || n == 8) ? 855 : 735;
        captions_[size_t(n - 1)] = fixedLabel(panel, {}, twipRect(left, top + 360, width, 255));
    }
    for (int k = 0; k < kKeyCount; ++k) {
        const Key key = Key(k);
        connect(keys_[size_t(k)], &QPushButton::clicked, this, [this, key] { session_.keys().click(key); });
    }

    for (int n = 1; n <= 6; ++n) {
        auto* knob = new KnobButton(knobIcon(n), panel);
        knob->setGeometry(twipRect(kKnobLeft[n - 1], 5520, 720, 720));
        knob->setToolTip(QString::fromUtf16(kKnobTips[n - 1]));
        connect(knob, &KnobButton::pressed, this, [this, n] { session_.keys().knobDown(n); });
        connect(knob, &KnobButton::released, this, [this, n] { session_.keys().knobUp(n); });
        knobs_[size_t(n - 1)] = knob;
    }

    for (int n = 1; n <= 9; ++n) {
        auto* lamp = new QFrame(panel);
        lamp->setGeometry(twipRect(kLampPos[n - 1].x(), kLampPos[n - 1].y(), 135, 135));
        lamp->setFrameShape(QFrame::Box);
        lamp->setLineWidth(1);
        lamp->setAutoFillBackground(true);
        lamps_[size_t(n - 1)] = lamp;
    }

    buildStatusBoxAndExit(panel);
    setPanelTabOrder();
}

void MainWindow::buildStatusBoxAndExit(QWidget* panel)
{
    fixedLabel(panel, u"Valid"_s, twipRect(240, 120, 495, 255));
    fixedLabel(panel, u"AUDIO"_s, twipRect(840, 2280, 615, 255));
    fixedLabel(panel, u"GAMUT +"_s, twipRect(5880, 840, 735, 255), u"Displays +ve Gamut"_s);
    fixedLabel(panel, u"GAMUT-"_s, twipRect(5880, 1200, 735, 255), u"Displays -ve Gamut"_s);

    text1_ = new QPlainTextEdit(panel);
    text1_->setGeometry(twipRect(6720, 360, 3735, 5295));
    text1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    text1_->setReadOnly(true);
    text1_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    text1_->setFocusPolicy(Qt::TabFocus);

    cmdExit_ = new QPushButton(u"Exit"_s, panel);
    cmdExit_->setGeometry(twipRect(9600, 6240, 735, 375));
    cmdExit_->setToolTip(u"Exit the Session Control utility"_s);
    cmdExit_->setAutoDefault(false);
    connect(cmdExit_, &QPushButton::clicked, this, [this] { session_.exitAfterPause(); });
}

void MainWindow::setPanelTabOrder()
{
    // Keyboard order of the instrument maker's panel; the knobs, which it left out, come last.
    QList<QWidget*> order = {cmdExit_, text1_};
    for (int n : {1, 3, 5, 7, 9, 2, 4, 6, 8})
        order.append(keys_[size_t(int(Key::Soft1) + n - 1)]);
    for (Key k : {Key::Wfm, Key::Vect, Key::Audio, Key::Curs, Key::Logger, Key::Data, Key::Alarm, Key::Display,
                  Key::Pix, Key::CH1, Key::CH2, Key::Eye, Key::Rec, Key::Sto})
        order.append(keys_[size_t(k)]);
    for (auto* knob : knobs_)
        order.append(knob);
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
    cmdExit_->setFocus();
}

void MainWindow::buildMenus()
{
    auto add = [this](QMenu* menu, Menu id, const QString& caption) {
        QAction* a = menu->addAction(caption);
        menus_[size_t(id)] = a;
        return a;
    };
    QMenu* logger = menuBar()->addMenu(u"Logger"_s);
    connect(add(logger, Menu::GetLog, u"Get Log from QV7700"_s), &QAction::triggered, this,
            [this] { session_.errorLog().requestFetch(); });
    // The printouts read the status box and the picture, which a transfer may be filling: they wait for it.
    connect(add(logger, Menu::PrintLog, u"Print Log"_s), &QAction::triggered, this,
            [this] { session_.link().whenFree([this] { printing_->printLog(); }); });
    connect(add(logger, Menu::EraseLog, u"Erase QV7700 Log"_s), &QAction::triggered, this,
            [this] { session_.errorLog().requestErase(); });
    connect(add(logger, Menu::Clear, u"Clear"_s), &QAction::triggered, this, [this] { session_.clearStatusBox(); });
    connect(add(logger, Menu::Select, u"Select Printer to Use"_s), &QAction::triggered, this,
            [this] { printerDialog(); });
    logger->addSeparator();
    connect(logger->addAction(u"Watch..."_s), &QAction::triggered, this, [this] { showWatchWindow(this, session_); });

    connect(logger->addAction(u"Network..."_s), &QAction::triggered, this, [this] { showNetworkDialog(this, session_); });

    QMenu* download = menuBar()->addMenu(u"DownLoad"_s);
    connect(add(download, Menu::Get1Frame, u"Get Screen from QV7700"_s), &QAction::triggered, this,
            [this] { session_.screenFetch().captureWithWindow(); });
    connect(add(download, Menu::Files, u"Store/Display Screen Files"_s), &QAction::triggered, this,
            [this] { screenFilesDialog(); });
    connect(add(download, Menu::PrintFrame, u"Print Screen Normally"_s), &QAction::triggered, this,
            [this] { session_.link().whenFree([this] { printing_->printScreen(); }); });
    connect(add(download, Menu::Reverse, u"Print as Black on White"_s), &QAction::triggered, this,
            [this] { session_.link().whenFree([this] { printing_->printScreenBlackOnWhite(); }); });
    connect(add(download, Menu::Select1, u"Select Printer to Use"_s), &QAction::triggered, this,
            [this] { printerDialog(); });
    connect(download->addAction(u"Select Instrument..."_s), &QAction::triggered, this, [this] {
        if (chooseInstrument(this, session_))
            instrument_->setText(instrumentCaption(session_));
    });

    QMenu* help = menuBar()->addMenu(u"Help"_s);
    connect(add(help, Menu::About, u"About"_s), &QAction::triggered, this, &MainWindow::showAbout);
}

void MainWindow::mirror()
{
    const PanelModel& m = session_.panel();
    for (int k = 0; k < kKeyCount; ++k)
        setHighlightFont(keys_[size_t(k)], m.highlighted(Key(k)));
    for (int n = 1; n <= 9; ++n) {
        QFrame* lamp = lamps_[size_t(n - 1)];
        QPalette pal = lamp->palette();
        const auto colour = m.lamp(n);
        const QColor want = colour ? QColor::fromRgb(*colour) : QApplication::palette(lamp).color(QPalette::Window);
        if (pal.color(QPalette::Window) != want) {
            pal.setColor(QPalette::Window, want);
            lamp->setPalette(pal);
        }
        if (captions_[size_t(n - 1)]->text() != m.caption(n))
            captions_[size_t(n - 1)]->setText(m.caption(n));
    }
    QFont f = text1_->font();
    if (f.bold() != m.statusBold()) {
        f.setBold(m.statusBold());
        text1_->setFont(f);
    }
    QPalette pal = text1_->palette();
    if (pal.color(QPalette::Text) != QColor::fromRgb(m.statusColour())) {
        pal.setColor(QPalette::Text, QColor::fromRgb(m.statusColour()));
        text1_->setPalette(pal);
    }
    if (shownText_ != m.statusText()) {
        shownText_ = m.statusText();
        QString shown = shownText_;
        shown.replace(u"\r\n"_s, u"\n"_s);
        text1_->setPlainText(shown);
    }
    for (int i = 0; i < kMenuCount; ++i)
        menus_[size_t(i)]->setEnabled(m.menuEnabled(Menu(i)));
    if (m.busyPointer(PointerOwner::MainWindow))
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
    if (download_) {
        if (m.busyPointer(PointerOwner::Download))
            download_->setCursor(Qt::WaitCursor);
        else
            download_->unsetCursor();
    }
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Closing the panel ends the program, and every window with it; a transfer under way stops first.
    event->accept();
    session_.endProgram();
}

DownloadWindow* MainWindow::screenWindow()
{
    if (!download_) {
        download_ = new DownloadWindow(session_.picture(), &session_.live());
        download_->setWindowIcon(windowIcon());
        connect(download_, &DownloadWindow::unloaded, this, [this] { session_.screenWindowClosed(); });
    }
    return download_;
}

AboutWindow* MainWindow::aboutWindow()
{
    if (!about_) {
        about_ = new AboutWindow;
        about_->setWindowIcon(windowIcon());
    }
    return about_;
}

ScreenFilesDialog* MainWindow::screenFilesDialog()
{
    if (!files_) {
        files_ = new ScreenFilesDialog(session_.panel(), session_.picture());
        files_->setWindowIcon(windowIcon());
        files_->showDownload = [this] {
            screenWindow()->show();
            screenWindow()->raise();
        };
        files_->hideDownload = [this] {
            if (download_)
                download_->hide();
        };
        files_->whenFree = [this](std::function<void()> action) { session_.link().whenFree(std::move(action)); };
    }
    files_->show();
    files_->raise();
    return files_;
}

PrinterDialog* MainWindow::printerDialog()
{
    if (!select_) {
        select_ = new PrinterDialog(*printing_);
        select_->setWindowIcon(windowIcon());
    }
    select_->show();
    select_->raise();
    return select_;
}

void MainWindow::showAbout()
{
    AboutWindow* about = aboutWindow();
    about->fill();
    about->show();
    about->raise();
}

}  // namespace qv
