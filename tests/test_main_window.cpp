// The main window under the offscreen platform: every control where the panel drawing puts it, the menus as
// start-up leaves them, Clear, About, the screen window, and the mirrored panel state.

#include "app/about_window.h"
#include "app/download_window.h"
#include "app/knob_button.h"
#include "app/main_window.h"
#include "app/remote.h"
#include "files/printing.h"
#include "files/screen_files.h"
#include "render/pixel_decoder.h"
#include "render/screen_picture.h"
#include "scripted_device.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace qv;
using namespace qv::test;
using namespace Qt::StringLiterals;

namespace {
struct Rig {
    ScriptedDevice* dev = new ScriptedDevice;
    Remote remote{std::unique_ptr<D2xx>(dev)};
    MainWindow window{remote};
    Rig()
    {
        remote.Form_Load();
        remote.timer3().stop();  // these tests drive the poll themselves
        window.show();
    }
};

QByteArray logRecord(const QByteArray& lead, const QByteArray& text)
{
    return (lead + ' ' + text).leftJustified(39, ' ') + '\n';
}

// A screen of type 1 and its blocks, and a log: four header records and an entry, then the end of the log
// unless the log is to go on for as long as the instrument keeps any.
void scriptTransfers(Rig& r, bool endlessLog)
{
    r.remote.state().SignalPresent = true;
    r.dev->replyTo(0xB0, QByteArray("\x01\x10\x20\x30\x40", 5));
    r.dev->replyTo(0xB2, QByteArray(kBlockBytes, char(0x99)));
    QList<QByteArray> records;
    for (int i = 1; i <= 5; ++i)
        records << logRecord("00" + QByteArray::number(i), "FAULT");  // a text starting with E ends the log
    if (!endlessLog)
        records << logRecord("0000", "END OF LOG");
    r.dev->replyTo(0xB4, records);
}

// Runs a screen or log fetch and, at the first pause for events after the given number of messages to the
// instrument, the user's command.
void duringTransfer(Rig& r, bool screen, const std::function<void()>& command, int afterWrites = 1)
{
    bool armed = false;
    r.dev->onCall = [&](const QString& op) {
        if (op == u"Write"_s && !armed && r.dev->count(u"Write"_s) == afterWrites) {
            armed = true;
            QTimer::singleShot(0, &r.window, command);
        }
    };
    if (screen)
        r.remote.screenFetch().mnuGet1Frame_Click();
    else
        r.remote.errorLog().mnuGetLog_Click();
    r.dev->onCall = nullptr;
    QVERIFY(armed);
}

enum Command { Clear, PrintLog, PrintFrame, Reverse, DisplayStored };
}  // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void titleAndClientArea()
    {
        Rig r;
        QCOMPARE(r.window.windowTitle(), u"Corvane QV7700  Remote Control   Ver 1.1"_s);
        QCOMPARE(r.window.panelArea()->size(), QSize(715, 457));
        QVERIFY(!r.window.windowIcon().isNull());
    }

    void keyGeometryCaptionsAndTooltips()
    {
        Rig r;
        const struct {
            Key key;
            QRect rect;
            QString caption, tip;
        } rows[] = {
            {Key::Wfm, {144, 24, 65, 25}, u"WFM"_s, u"Select Waveform Mode "_s},
            {Key::Alarm, {288, 64, 65, 25}, u"ALARM"_s, u"Select Alarms"_s},
            {Key::Pix, {288, 104, 65, 25}, u"PICTURE"_s, u"Select Picture Mode"_s},
            {Key::CH1, {48, 24, 41, 25}, u"CH1"_s, u"Select Input from Channel 1"_s},
            {Key::Eye, {48, 104, 41, 25}, u"EYE"_s, QString()},
            {Key::Rec, {48, 224, 41, 25}, u"REC"_s, u"Recall Settings"_s},
            {Key::Sto, {48, 264, 41, 25}, u"STO"_s, u"Store Settings"_s},
            {Key::Soft1, {160, 200, 33, 25}, u"1"_s, QString()},
            {Key::Soft3, {304, 200, 33, 25}, u"3"_s, QString()},
            {Key::Soft7, {160, 296, 33, 25}, u"7"_s, QString()},
            {Key::Soft9, {304, 296, 33, 25}, u"9"_s, QString()},
        };
        for (const auto& row : rows) {
            QPushButton* b = r.window.keyButton(row.key);
            QCOMPARE(b->geometry(), row.rect);
            QCOMPARE(b->text(), row.caption);
            QCOMPARE(b->toolTip(), row.tip);
        }
        QCOMPARE(r.window.softKeyLabel(1)->geometry(), QRect(160, 224, 49, 17));
        QCOMPARE(r.window.softKeyLabel(7)->geometry().width(), 57);
        QCOMPARE(r.window.softKeyLabel(8)->geometry().width(), 57);
        QCOMPARE(r.window.softKeyLabel(1)->text(), QString());
        QCOMPARE(r.window.softKeyLabel(2)->text(), u" "_s);
        QCOMPARE(r.window.knob(1)->geometry(), QRect(24, 368, 48, 48));
        QCOMPARE(r.window.knob(6)->geometry(), QRect(368, 368, 48, 48));
        QCOMPARE(r.window.knob(5)->toolTip(), u"Decrease Volume"_s);
        QCOMPARE(r.window.lamp(1)->geometry(), QRect(72, 360, 9, 9));
        QCOMPARE(r.window.lamp(9)->geometry(), QRect(376, 80, 9, 9));
        QCOMPARE(r.window.statusBox()->geometry(), QRect(448, 24, 249, 353));
        QCOMPARE(r.window.exitButton()->geometry(), QRect(640, 416, 49, 25));
        QCOMPARE(r.window.exitButton()->toolTip(), u"Exit the Remote Control utility"_s);
        const QList<QLabel*> labels = r.window.panelArea()->findChildren<QLabel*>();
        QStringList fixed;
        for (QLabel* l : labels)
            if (!l->text().trimmed().isEmpty())
                fixed << l->text();
        fixed.sort();
        QCOMPARE(fixed, QStringList({u"AUDIO"_s, u"GAMUT +"_s, u"GAMUT-"_s, u"Valid"_s}));
    }

    void tabOrderFollowsThePanel()
    {
        Rig r;
        QList<QWidget*> expected = {r.window.exitButton(), r.window.statusBox()};
        for (int n : {1, 3, 5, 7, 9, 2, 4, 6, 8})
            expected << r.window.keyButton(Key(int(Key::Soft1) + n - 1));
        for (Key k : {Key::Wfm, Key::Vect, Key::Audio, Key::Curs, Key::Logger, Key::Data, Key::Alarm, Key::Display,
                      Key::Pix, Key::CH1, Key::CH2, Key::Eye, Key::Rec, Key::Sto})
            expected << r.window.keyButton(k);
        QWidget* w = expected.first();
        for (int i = 1; i < expected.size(); ++i) {
            w = w->nextInFocusChain();
            while (!(w->focusPolicy() & Qt::TabFocus))
                w = w->nextInFocusChain();
            QCOMPARE(w, expected.at(i));
        }
    }

    void menusAfterStartClearAndAbout()
    {
        Rig r;
        const QStringList menus = [&] {
            QStringList t;
            for (QAction* a : r.window.menuBar()->actions())
                t << a->text();
            return t;
        }();
        QCOMPARE(menus, QStringList({u"Logger"_s, u"DownLoad"_s, u"Help"_s}));
        for (Menu m : {Menu::PrintFrame, Menu::Reverse, Menu::PrintLog})
            QVERIFY(!r.window.menuAction(m)->isEnabled());
        for (Menu m : {Menu::GetLog, Menu::EraseLog, Menu::Clear, Menu::Select, Menu::Get1Frame, Menu::Files,
                       Menu::Select1, Menu::About})
            QVERIFY(r.window.menuAction(m)->isEnabled());
        QCOMPARE(r.window.menuAction(Menu::Get1Frame)->text(), u"Get Screen from QV7700"_s);
        QCOMPARE(r.window.menuAction(Menu::EraseLog)->text(), u"Erase QV7700 Log"_s);
        QCOMPARE(r.remote.state().PrinterIndex, 0);
        QVERIFY(r.dev->log.isEmpty());  // start-up leaves the device alone

        r.remote.panel().setMenuEnabled(Menu::PrintLog, true);
        r.window.menuAction(Menu::Clear)->trigger();
        QCOMPARE(r.window.statusBox()->toPlainText(), u" "_s);
        QCOMPARE(r.remote.state().StatusLog, u" "_s);
        QVERIFY(!r.window.menuAction(Menu::PrintLog)->isEnabled());

        r.window.menuAction(Menu::About)->trigger();
        AboutWindow* about = r.window.frmAbout();
        const QString first = about->lblVersion()->text();
        r.window.menuAction(Menu::About)->trigger();
        QCOMPARE(r.window.frmAbout(), about);
        QCOMPARE(about->lblVersion()->text(), first);
        QVERIFY(first.startsWith(u"Version 1.1 for Windows.\n"_s));
        QCOMPARE(first.count(u'\n'), 3);
        QCOMPARE(about->lblCopyright()->text().count(u'\n'), 2);
        QCOMPARE(about->windowTitle(), u"Help"_s);
        QVERIFY(about->isVisible());
        QVERIFY(r.window.isVisible());  // modeless
    }

    void closingTheScreenWindowGreysPrinting()
    {
        Rig r;
        DownloadWindow* w = r.window.frmDownload();
        QCOMPARE(w->windowTitle(), u"Corvane"_s);
        QCOMPARE(w->view()->size(), QSize(1025, 769));
        r.remote.panel().setMenuEnabled(Menu::PrintFrame, true);
        r.remote.panel().setMenuEnabled(Menu::Reverse, true);
        w->show();
        w->close();
        QVERIFY(!r.window.menuAction(Menu::PrintFrame)->isEnabled());
        QVERIFY(!r.window.menuAction(Menu::Reverse)->isEnabled());
        QCOMPARE(r.window.frmDownload(), w);
    }

    void screenWindowMenuCopiesAndScales()
    {
        Rig r;
        r.remote.picture().surface().fillBox(10, 10, 20, 20, qb::Red);
        r.remote.picture().surface().fillBox(1000, 740, 1024, 768, qb::Red);  // beyond the designed window
        DownloadWindow* w = r.window.frmDownload();
        w->resize(600, 500);
        w->show();
        const auto byShortcut = [w](const QKeySequence& keys) -> QAction* {
            for (QAction* a : w->actions())
                if (a->shortcut() == keys)
                    return a;
            return nullptr;
        };
        QAction* copy = byShortcut(QKeySequence::Copy);
        QAction* fit = byShortcut(QKeySequence(u"Ctrl+0"_s));
        QAction* actual = byShortcut(QKeySequence(u"Ctrl+9"_s));
        QVERIFY(copy && fit && actual);
        QCOMPARE(w->contextMenuPolicy(), Qt::ActionsContextMenu);
        copy->trigger();
        const QImage copied = QGuiApplication::clipboard()->image();
        QCOMPARE(copied.size(), QSize(1025, 769));
        QCOMPARE(copied.pixel(15, 15) & 0xffffff, 0xff0000u);

        QCOMPARE(w->view()->size(), QSize(1025, 769));  // actual size, scrolling, until asked otherwise
        fit->trigger();
        QVERIFY(w->view()->width() <= 600 && w->view()->height() <= 500);
        // The picture fills the width of the window, its far corner in view at the right edge.
        const QImage fitted = w->view()->grab().toImage();
        bool cornerShown = false;
        for (int y = 0; y < fitted.height(); ++y)
            cornerShown |= (fitted.pixel(fitted.width() - 3, y) & 0xffffff) == 0xff0000u;
        QVERIFY(cornerShown);
        actual->trigger();
        QCOMPARE(w->view()->size(), QSize(1025, 769));
    }

    void fittedPictureKeepsItsProportions_data()
    {
        QTest::addColumn<QSize>("viewport");
        QTest::addColumn<QRect>("expected");
        QTest::newRow("window of the picture's size") << QSize(1025, 769) << QRect(0, 0, 1025, 769);
        QTest::newRow("square window: bands above and below") << QSize(600, 600) << QRect(0, 75, 600, 450);
        QTest::newRow("large wide window: enlarged, bands at the sides") << QSize(1600, 900) << QRect(200, 0, 1199, 900);
        QTest::newRow("window shrunk to nothing") << QSize(0, 300) << QRect();
    }

    void fittedPictureKeepsItsProportions()
    {
        QFETCH(QSize, viewport);
        QFETCH(QRect, expected);
        QCOMPARE(fittedRect(QSize(1025, 769), viewport), expected);
    }

    void windowMirrorsThePanel()
    {
        Rig r;
        r.dev->replyTo(0xB6, QByteArray("\x88\x0d\x02", 3));
        r.remote.poll().Timer3_Timer();
        QPushButton* audio = r.window.keyButton(Key::Audio);
        QVERIFY(audio->font().bold() && audio->font().underline());
        QVERIFY(!r.window.keyButton(Key::Wfm)->font().bold());
        QCOMPARE(r.window.lamp(3)->palette().color(QPalette::Window), QColor(0, 255, 0));
        QCOMPARE(r.window.lamp(4)->palette().color(QPalette::Window), QColor(0, 0, 255));
        QCOMPARE(r.window.lamp(8)->palette().color(QPalette::Window), QColor(255, 0, 0));
        QCOMPARE(r.window.softKeyLabel(1)->text(), u" OFF"_s);  // page 13, the peak-hold page
        r.dev->failOn(u"Close"_s);
        r.remote.poll().Timer3_Timer();
        QCOMPARE(r.window.statusBox()->toPlainText(), u"  No QV7700 found, \nCheck Power & USB Connectors"_s);
        QVERIFY(r.window.statusBox()->font().bold());
        QCOMPARE(r.window.statusBox()->palette().color(QPalette::Text), QColor(255, 0, 0));
    }

    void clickingAKeySendsIt()
    {
        Rig r;
        QTest::mouseClick(r.window.keyButton(Key::Logger), Qt::LeftButton);
        QCOMPARE(r.dev->written, QByteArray("\x8e\xf0"));
        QVERIFY(r.window.keyButton(Key::Logger)->font().underline());
        QCOMPARE(r.window.softKeyLabel(1)->text(), u"CLOCK"_s);
    }

    void rightButtonAndKeyboardHoldAKnob()
    {
        Rig r;
        KnobButton* up = r.window.knob(3);
        QTimer::singleShot(300, up, [up] { QTest::mouseRelease(up, Qt::RightButton); });
        QTest::mousePress(up, Qt::RightButton);
        QVERIFY(r.dev->written.count("\x9c\xf0") >= 2);
        QCOMPARE(r.dev->count(u"Close"_s), 1);

        r.dev->written.clear();
        KnobButton* vol = r.window.knob(5);
        vol->setFocus();
        QTimer::singleShot(300, vol, [vol] { QTest::keyRelease(vol, Qt::Key_Space); });
        QTest::keyPress(vol, Qt::Key_Space);
        QVERIFY(r.dev->written.count("\x9e\xf0") >= 2);
        QCOMPARE(r.dev->count(u"Close"_s), 2);
    }

    // A hold whose release never reaches the knob must still end: otherwise the device stays open, the loop
    // keeps sending and the poll and every other exchange are shut out for good.
    void heldKnobEndsWhenTheReleaseCannotCome_data()
    {
        QTest::addColumn<bool>("byKey");
        QTest::addColumn<int>("ending");
        QTest::newRow("Space released on the widget that took the focus") << true << 0;
        QTest::newRow("knob hidden") << false << 1;
        QTest::newRow("knob disabled") << false << 2;
        QTest::newRow("window deactivated") << true << 3;
        QTest::newRow("window minimised") << false << 4;
        QTest::newRow("mouse grab lost") << false << 5;
    }

    void heldKnobEndsWhenTheReleaseCannotCome()
    {
        QFETCH(bool, byKey);
        QFETCH(int, ending);
        Rig r;
        KnobButton* knob = r.window.knob(4);
        qsizetype writtenAtEnd = -1;
        bool rescued = false;
        QTimer::singleShot(150, knob, [&] {
            switch (ending) {
            case 0:
                r.window.exitButton()->setFocus();
                QTest::keyRelease(r.window.exitButton(), Qt::Key_Space);
                break;
            case 1: knob->hide(); break;
            case 2: knob->setEnabled(false); break;
            case 3: {
                QEvent deactivate(QEvent::WindowDeactivate);
                QCoreApplication::sendEvent(&r.window, &deactivate);
                break;
            }
            case 4: r.window.setWindowState(Qt::WindowMinimized); break;
            case 5: {
                QEvent ungrab(QEvent::UngrabMouse);
                QCoreApplication::sendEvent(knob, &ungrab);
                break;
            }
            }
            writtenAtEnd = r.dev->written.size();
        });
        // A watchdog, so that a hold that does not end fails the test instead of hanging it.
        QTimer::singleShot(3000, knob, [&] {
            rescued = true;
            r.remote.keys().knobUp(4);
        });
        knob->setFocus();
        if (byKey)
            QTest::keyPress(knob, Qt::Key_Space);
        else
            QTest::mousePress(knob, Qt::LeftButton);
        QVERIFY(!rescued);
        QVERIFY(r.dev->written.count("\x9d\xf0") >= 1);
        QCOMPARE(r.dev->written.size(), writtenAtEnd);  // nothing sent after the event
        QCOMPARE(r.dev->count(u"Close"_s), 1);
        QVERIFY(!r.dev->isOpen());
        if (byKey) {
            // The next press of the key starts a new hold: the knob has not kept the old one in mind.
            QTimer::singleShot(100, knob, [knob] { QTest::keyRelease(knob, Qt::Key_Space); });
            knob->setFocus();
            QTest::keyPress(knob, Qt::Key_Space);
            QCOMPARE(r.dev->count(u"Close"_s), 2);
        }
    }

    // A command that would write into the status box or the picture while a transfer fills it waits for the
    // transfer, then runs.
    void commandDuringATransferRunsAfterIt_data()
    {
        QTest::addColumn<bool>("screen");
        QTest::addColumn<int>("command");
        QTest::newRow("Clear during a log fetch") << false << int(Clear);
        QTest::newRow("Print Log during a log fetch") << false << int(PrintLog);
        QTest::newRow("Print Screen during a screen fetch") << true << int(PrintFrame);
        QTest::newRow("Black on White during a screen fetch") << true << int(Reverse);
        QTest::newRow("stored screen shown during a screen fetch") << true << int(DisplayStored);
    }

    void commandDuringATransferRunsAfterIt()
    {
        QFETCH(bool, screen);
        QFETCH(int, command);
        Rig r;
        scriptTransfers(r, false);
        QStringList order;
        const auto ran = [&] {
            if (!order.contains(u"command"_s))
                order << u"command"_s;
        };
        connect(&r.remote.screenFetch(), &ScreenFetch::finished, this, [&] { order << u"transfer"_s; });
        connect(&r.remote.errorLog(), &ErrorLog::finished, this, [&] { order << u"transfer"_s; });
        connect(&r.remote.panel(), &PanelModel::statusTextWritten, this, [&](const QString& text) {
            if (text == u" "_s)
                ran();
        });
        // No printer at this index: every printout ends in the printer warning.
        r.remote.state().PrinterIndex = 99;
        r.window.printing().warn = [&](const QString&, const QString&) { ran(); };
        r.window.printing().rowInverted = [&](int) { ran(); };
        for (Menu m : {Menu::PrintLog, Menu::PrintFrame, Menu::Reverse})
            r.remote.panel().setMenuEnabled(m, true);
        QTemporaryDir dir;
        ScreenFilesDialog* files = r.window.frmFiles();
        QVERIFY(QImage(16, 16, QImage::Format_RGB32).save(dir.filePath(u"stored.bmp"_s)));
        files->setFolder(dir.path());
        files->files()->setCurrentRow(0);
        files->showDownload = ran;

        duringTransfer(r, screen, [&] {
            switch (command) {
            case Clear: r.window.menuAction(Menu::Clear)->trigger(); break;
            case PrintLog: r.window.menuAction(Menu::PrintLog)->trigger(); break;
            case PrintFrame: r.window.menuAction(Menu::PrintFrame)->trigger(); break;
            case Reverse: r.window.menuAction(Menu::Reverse)->trigger(); break;
            case DisplayStored: files->displayButton()->click(); break;
            }
        });
        QTRY_COMPARE(order, QStringList({u"transfer"_s, u"command"_s}));
    }

    // Closing the window or Exit ends the program: a transfer under way stops at its next pause and closes
    // the device instead of running on to the end of a long log.
    void closingDuringATransferEndsIt_data()
    {
        QTest::addColumn<bool>("screen");
        QTest::addColumn<bool>("exit");
        QTest::addColumn<int>("afterWrites");
        QTest::newRow("window closed in the pause before the blocks") << true << false << 1;
        QTest::newRow("Exit in the pause before the blocks") << true << true << 1;
        QTest::newRow("window closed between blocks") << true << false << 4;
        QTest::newRow("Exit between blocks") << true << true << 4;
        QTest::newRow("window closed during a log fetch") << false << false << 3;
        QTest::newRow("Exit during a log fetch") << false << true << 3;
    }

    void closingDuringATransferEndsIt()
    {
        QFETCH(bool, screen);
        QFETCH(bool, exit);
        QFETCH(int, afterWrites);
        Rig r;
        scriptTransfers(r, true);
        QObject::disconnect(&r.remote, &Remote::exitRequested, qApp, nullptr);  // this test process goes on
        QSignalSpy ending(&r.remote, &Remote::exitRequested);
        const QByteArray next = screen ? "\xb2\xf0" : "\xb4\xf0";
        qsizetype requestsBefore = -1;
        duringTransfer(r, screen, [&] {
            requestsBefore = r.dev->written.count(next);
            if (exit)
                r.window.exitButton()->click();
            else
                r.window.close();
        }, afterWrites);
        QCOMPARE(ending.count(), 1);
        QCOMPARE(r.dev->written.count(next), requestsBefore);
        QVERIFY(!r.dev->isOpen());
        QVERIFY(!r.remote.state().TransferBusy);
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
