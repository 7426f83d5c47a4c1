// The main window under the offscreen platform: start-up and Clear, the screen window, the mirrored panel
// state, the knob holds and every way they end, and commands and closing during a transfer. Then the Logger
// menu's windows on the simulated instrument: Watch... (Start journals and shows the journal or why it cannot;
// alarms active-first with an Acknowledge that journals once; settings outlive the window) and Network... (serving
// starts and stops from the dialog, and what the window's own keys do is what a viewer reads over the network).
// No test touches the user's settings, configuration or desktop session.

#include "gui/about_window.h"
#include "gui/alarm_list.h"
#include "gui/download_window.h"
#include "gui/knob_button.h"
#include "gui/main_window.h"
#include "gui/network_dialog.h"
#include "gui/watch_settings_form.h"
#include "gui/watch_window.h"
#include "session/session.h"
#include "files/printing.h"
#include "files/screen_files.h"
#include "render/pixel_decoder.h"
#include "render/screen_picture.h"
#include "sim/sim_device.h"
#include "session_rig.h"
#include "test_rigs.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QTimer>

using namespace qv;
using namespace qv::test;
using namespace Qt::StringLiterals;

namespace {
struct Rig : SessionRig {
    MainWindow window{session};
    Rig() : SessionRig(0)
    {
        session.start();
        session.pollSchedule().stop();  // these tests drive the poll themselves
        window.show();
    }
};

// A screen of type 1 and its blocks, and a log: four header records and an entry, then the end of the log
// unless the log is to go on for as long as the instrument keeps any.
void scriptTransfers(Rig& r, bool endlessLog)
{
    r.session.poll().setSignalPresent(true);
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
        r.session.screenFetch().captureWithWindow();
    else
        r.session.errorLog().requestFetch();
    r.dev->onCall = nullptr;
    QVERIFY(armed);
}

enum Hold { LeftButton, RightButton, SpaceKey };
enum Ending { Release, FocusElsewhere, Hidden, Disabled, Deactivated, Minimised, GrabLost };

const QDateTime kStart(QDate(2026, 6, 12), QTime(22, 30), QTimeZone(7200));

// The window on the simulated instrument, its pauses cut to nothing, and a folder for a watch.
struct SimRig {
    SimDevice* sim = new SimDevice;
    Session session{std::unique_ptr<D2xx>(sim)};
    MainWindow window{session};
    QTemporaryDir dir;
    SimRig()
    {
        session.poll().absencePauseMs = session.screenFetch().pauseBeforeBlocksMs = session.errorLog().startPauseMs = 0;
        session.start();
        window.show();
    }
    // Logger > item, as the user chooses it; the window it opens.
    template <typename W>
    W* open(const QString& item)
    {
        for (QAction* menu : window.menuBar()->actions())
            for (QAction* a : menu->text() == u"Logger" ? menu->menu()->actions() : QList<QAction*>())
                if (a->text() == item)
                    a->trigger();
        return window.findChild<W*>();
    }
    WatchWindow* openWatch() { return open<WatchWindow>(u"Watch..."_s); }
    QByteArray journal(const QDate& day) const
    {
        return readFile(dir.filePath(u"watch/journal/%1.jsonl"_s.arg(day.toString(Qt::ISODate))));
    }
};

QString listed(AlarmList* list)
{
    QStringList rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = list->topLevelItem(i);
        rows << item->text(AlarmList::Name) + (item->text(AlarmList::Cleared) == u"active" ? u" active"_s : u" ended"_s);
    }
    return rows.join(u", "_s);
}

QByteArray get(quint16 port, const QByteArray& path)
{
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    if (!s.waitForConnected(3000))
        return {};
    s.write("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) + "\r\nConnection: close\r\n\r\n");
    QByteArray got;
    while (s.waitForReadyRead(3000))
        got += s.readAll();
    return got;
}
}  // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
public:
    // Before the application exists: no session bus, and settings and configuration in a folder of the test's own.
    static void initMain()
    {
        static QTemporaryDir home;
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/qv7700-test-bus");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));  // the network token file lands here
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home.path());
        QCoreApplication::setOrganizationName(u"qv7700-remote-test"_s);
    }

private slots:
    void init() { QSettings().clear(); }

    // Start-up greys the printouts, there being nothing to print, and leaves the device alone; Clear empties the
    // status box and greys Print Log, whose text it was; closing the screen window greys the screen printouts.
    void printoutsGreyWithNothingToPrint()
    {
        Rig r;
        QVERIFY(r.dev->log.isEmpty());
        for (Menu m : {Menu::PrintFrame, Menu::Reverse, Menu::PrintLog})
            QVERIFY(!r.window.menuAction(m)->isEnabled());
        r.session.panel().statusLog() = u"a log"_s;
        r.session.panel().setStatusText(r.session.panel().statusLog());
        r.session.panel().setMenuEnabled(Menu::PrintLog, true);
        r.window.menuAction(Menu::Clear)->trigger();
        QCOMPARE(r.window.statusBox()->toPlainText(), u" "_s);
        QCOMPARE(r.session.panel().statusLog(), u" "_s);
        QVERIFY(!r.window.menuAction(Menu::PrintLog)->isEnabled());

        DownloadWindow* w = r.window.screenWindow();
        r.session.panel().setMenuEnabled(Menu::PrintFrame, true);
        r.session.panel().setMenuEnabled(Menu::Reverse, true);
        w->show();
        w->close();
        QVERIFY(!r.window.menuAction(Menu::PrintFrame)->isEnabled());
        QVERIFY(!r.window.menuAction(Menu::Reverse)->isEnabled());
    }

    // About shows its one window again rather than a second one, its text as it was.
    void aboutOpensOnce()
    {
        Rig r;
        r.window.menuAction(Menu::About)->trigger();
        AboutWindow* about = r.window.aboutWindow();
        const QString first = about->lblVersion()->text();
        r.window.menuAction(Menu::About)->trigger();
        QCOMPARE(r.window.aboutWindow(), about);
        QCOMPARE(about->lblVersion()->text(), first);
        QVERIFY(about->isVisible());
    }

    void screenWindowMenuCopiesAndScales()
    {
        Rig r;
        r.session.picture().surface().fillBox(10, 10, 20, 20, palette::Red);
        r.session.picture().surface().fillBox(1000, 740, 1024, 768, palette::Red);  // beyond the designed window
        DownloadWindow* w = r.window.screenWindow();
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

    // A key clicked goes to the instrument and lights at once; a poll's reply shows as the lit key, the lamps
    // and the captions, and an absence in bold red in the status box.
    void windowMirrorsThePanel()
    {
        Rig r;
        QTest::mouseClick(r.window.keyButton(Key::Logger), Qt::LeftButton);
        QCOMPARE(r.dev->written, QByteArray("\x8e\xf0"));
        QVERIFY(r.window.keyButton(Key::Logger)->font().underline());
        QCOMPARE(r.window.softKeyLabel(1)->text(), u"CLOCK"_s);
        r.dev->replyTo(0xB6, QByteArray("\x88\x0d\x02", 3));
        r.session.pollOnce();
        QPushButton* audio = r.window.keyButton(Key::Audio);
        QVERIFY(audio->font().bold() && audio->font().underline());
        QVERIFY(!r.window.keyButton(Key::Logger)->font().bold());
        QCOMPARE(r.window.lamp(3)->palette().color(QPalette::Window), QColor(0, 255, 0));
        QCOMPARE(r.window.lamp(4)->palette().color(QPalette::Window), QColor(0, 0, 255));
        QCOMPARE(r.window.lamp(8)->palette().color(QPalette::Window), QColor(255, 0, 0));
        QCOMPARE(r.window.softKeyLabel(1)->text(), u" OFF"_s);  // page 13, the peak-hold page
        r.dev->failOn(u"Close"_s);
        r.session.pollOnce();
        QCOMPARE(r.window.statusBox()->toPlainText(), u"  No QV7700 found, \nCheck Power & USB Connectors"_s);
        QVERIFY(r.window.statusBox()->font().bold());
        QCOMPARE(r.window.statusBox()->palette().color(QPalette::Text), QColor(255, 0, 0));
    }

    // A hold ends on its release, whichever button or key made it, and on every event after which the release
    // cannot reach the knob: otherwise the device stays open, the loop keeps sending and the poll and every
    // other exchange are shut out for good.
    void heldKnobEnds_data()
    {
        QTest::addColumn<int>("hold");
        QTest::addColumn<int>("ending");
        QTest::newRow("right button released") << int(RightButton) << int(Release);
        QTest::newRow("Space released") << int(SpaceKey) << int(Release);
        QTest::newRow("Space released on the widget that took the focus") << int(SpaceKey) << int(FocusElsewhere);
        QTest::newRow("knob hidden") << int(LeftButton) << int(Hidden);
        QTest::newRow("knob disabled") << int(LeftButton) << int(Disabled);
        QTest::newRow("window deactivated") << int(SpaceKey) << int(Deactivated);
        QTest::newRow("window minimised") << int(LeftButton) << int(Minimised);
        QTest::newRow("mouse grab lost") << int(LeftButton) << int(GrabLost);
    }

    void heldKnobEnds()
    {
        QFETCH(int, hold);
        QFETCH(int, ending);
        Rig r;
        KnobButton* knob = r.window.knob(4);
        const Qt::MouseButton button = hold == RightButton ? Qt::RightButton : Qt::LeftButton;
        qsizetype writtenAtEnd = -1;
        bool rescued = false;
        QTimer::singleShot(150, knob, [&] {
            switch (ending) {
            case Release:
                if (hold == SpaceKey)
                    QTest::keyRelease(knob, Qt::Key_Space);
                else
                    QTest::mouseRelease(knob, button);
                break;
            case FocusElsewhere:
                r.window.exitButton()->setFocus();
                QTest::keyRelease(r.window.exitButton(), Qt::Key_Space);
                break;
            case Hidden: knob->hide(); break;
            case Disabled: knob->setEnabled(false); break;
            case Deactivated: {
                QEvent deactivate(QEvent::WindowDeactivate);
                QCoreApplication::sendEvent(&r.window, &deactivate);
                break;
            }
            case Minimised: r.window.setWindowState(Qt::WindowMinimized); break;
            case GrabLost: {
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
            r.session.keys().knobUp(4);
        });
        knob->setFocus();
        if (hold == SpaceKey)
            QTest::keyPress(knob, Qt::Key_Space);
        else
            QTest::mousePress(knob, button);
        QVERIFY(!rescued);
        QVERIFY(r.dev->written.count("\x9d\xf0") >= 1);
        QCOMPARE(r.dev->written.size(), writtenAtEnd);  // nothing sent after the event
        QCOMPARE(r.dev->count(u"Close"_s), 1);
        QVERIFY(!r.dev->isOpen());
        if (hold == SpaceKey) {
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
        QTest::addColumn<int>("menu");  // -1: the stored screen's Display button
        QTest::newRow("Clear during a log fetch") << false << int(Menu::Clear);
        QTest::newRow("Print Log during a log fetch") << false << int(Menu::PrintLog);
        QTest::newRow("Print Screen during a screen fetch") << true << int(Menu::PrintFrame);
        QTest::newRow("Black on White during a screen fetch") << true << int(Menu::Reverse);
        QTest::newRow("stored screen shown during a screen fetch") << true << -1;
    }

    void commandDuringATransferRunsAfterIt()
    {
        QFETCH(bool, screen);
        QFETCH(int, menu);
        Rig r;
        scriptTransfers(r, false);
        QStringList order;
        const auto ran = [&] {
            if (!order.contains(u"command"_s))
                order << u"command"_s;
        };
        connect(&r.session.screenFetch(), &ScreenFetch::finished, this, [&] { order << u"transfer"_s; });
        connect(&r.session.errorLog(), &ErrorLog::finished, this, [&] { order << u"transfer"_s; });
        connect(&r.session.panel(), &PanelModel::statusTextWritten, this, [&](const QString& text) {
            if (text == u" "_s)
                ran();
        });
        // No printer at this index: every printout ends in the printer warning.
        r.window.printing().setPrinterIndex(99);
        r.window.printing().warn = [&](const QString&, const QString&) { ran(); };
        r.window.printing().rowInverted = [&](int) { ran(); };
        for (Menu m : {Menu::PrintLog, Menu::PrintFrame, Menu::Reverse})
            r.session.panel().setMenuEnabled(m, true);
        QTemporaryDir dir;
        ScreenFilesDialog* files = r.window.screenFilesDialog();
        QVERIFY(QImage(16, 16, QImage::Format_RGB32).save(dir.filePath(u"stored.bmp"_s)));
        files->setFolder(dir.path());
        files->files()->setCurrentRow(0);
        files->showDownload = ran;

        duringTransfer(r, screen, [&] {
            if (menu < 0)
                files->displayButton()->click();
            else
                r.window.menuAction(Menu(menu))->trigger();
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
        QObject::disconnect(&r.session, &Session::exitRequested, qApp, nullptr);  // this test process goes on
        QSignalSpy ending(&r.session, &Session::exitRequested);
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
        QVERIFY(!r.session.link().transferBusy());
    }

    void startJournalsAndShows_data()
    {
        QTest::addColumn<bool>("blocked");
        QTest::newRow("writable folder") << false;
        QTest::newRow("folder below a plain file") << true;
    }
    void startJournalsAndShows()
    {
        QFETCH(bool, blocked);
        SimRig r;
        r.session.pollSchedule().setInterval(10);  // the window's own poll, sooner
        WatchWindow* w = r.openWatch();
        QVERIFY(w && w->isVisible());
        QFile plain(r.dir.filePath(u"file"_s));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        w->form()->folder()->setText(r.dir.filePath(blocked ? u"file/watch"_s : u"watch"_s));
        QCOMPARE(w->banner()->text(), u"Not watching"_s);
        QTest::mouseClick(w->startStop(), Qt::LeftButton);
        // A folder that cannot be written is refused before anything starts, and says why.
        QCOMPARE(w->watching(), !blocked);
        QCOMPARE(w->problem()->isHidden(), !blocked);
        QCOMPARE(w->problem()->text().contains(u"cannot be written (cannot create the folder of "_s), blocked);
        QCOMPARE(w->banner()->text(), blocked ? u"Not watching"_s : u"OK"_s);
        QCOMPARE(w->settingsPanel()->isHidden(), !blocked);  // folded while watching
        QCOMPARE(w->journal()->toPlainText().contains(u"  start  "_s), !blocked);
        QCOMPARE(r.journal(QDate::currentDate()).contains("\"event\":\"start\""), !blocked);
        if (blocked)
            return;
        // The watch follows the window's own poll ticks: a status line after one of them.
        QTRY_VERIFY(w->journal()->toPlainText().contains(u"  status  "_s));
    }

    // One character a poll, one poll a second: o all well, g GAMUT+ red, n no signal, b both.
    void alarmsActiveOnTopAndAcknowledged_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("list");
        QTest::addColumn<QString>("banner");
        QTest::newRow("older active above newer ended") << u"gbbbgggggggggg"_s << u"gamut active, signal ended"_s
                                                        << u"ALARM: gamut"_s;
        QTest::newRow("two active, newest first") << u"ggggbbbbbb"_s << u"signal active, gamut active"_s
                                                  << u"ALARM: gamut, signal"_s;
    }
    void alarmsActiveOnTopAndAcknowledged()
    {
        QFETCH(QString, script);
        QFETCH(QString, list);
        QFETCH(QString, banner);
        ManualClock clock(kStart);  // outlives the window: its watch writes "stop" by this clock when destroyed
        SimRig r;
        r.session.pollSchedule().stop();  // the test ticks by a manual clock
        WatchWindow* w = r.openWatch();
        w->setClock(clock);
        w->form()->folder()->setText(r.dir.filePath(u"watch"_s));
        w->start();
        for (qsizetype i = 0; i < script.size(); ++i) {
            clock.set(kStart.addSecs(i));
            r.sim->instrument().setGamut(script[i] == u'g' || script[i] == u'b', false);
            r.sim->instrument().setSignalPresent(script[i] != u'n' && script[i] != u'b');
            r.session.pollOnce();
            QCoreApplication::processEvents();
        }
        QTRY_COMPARE(listed(w->alarms()), list);
        // Each raise notified a desktop that has no session bus here: nothing said, nothing broken.
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(w->alarms()->acknowledgeButton(0)->isEnabled());
        QTest::mouseClick(w->alarms()->acknowledgeButton(0), Qt::LeftButton);
        QVERIFY(r.journal(kStart.date()).contains("\"name\":\"" + list.section(u' ', 0, 0).toLatin1() +
                                                  "\",\"state\":\"acknowledged\""));
        QTRY_VERIFY(!w->alarms()->acknowledgeButton(0)->isEnabled());
        QCOMPARE(listed(w->alarms()), list);
        QCOMPARE(r.journal(kStart.date()).count("acknowledged"), 1);
        QCOMPARE(w->banner()->text(), banner);
        // Watching again: the list comes back from the journal, acknowledgement and all.
        w->stop();
        w->start();
        QTRY_COMPARE(listed(w->alarms()), list);
        QVERIFY(!w->alarms()->acknowledgeButton(0)->isEnabled());
        QCOMPARE(w->banner()->text(), banner);
    }

    void settingsSurviveReopen_data()
    {
        QTest::addColumn<QString>("alarms");
        QTest::newRow("some alarms") << u"gamut,log"_s;
        QTest::newRow("no alarm at all") << QString();
    }
    void settingsSurviveReopen()
    {
        QFETCH(QString, alarms);
        const WatchSettings s{u"/srv/qv7700/watch"_s, 2.5, 0, *parseAlarmList(alarms), {},
                              u"logger -t 'qv7700 watch' alarm"_s, {7, 300ll * 1024 * 1024}, u"/var/agentx/master"_s, {}};
        {
            SimRig r;
            r.openWatch()->form()->setSettings(s);
            r.openWatch()->close();
        }
        SimRig r;
        QVERIFY(r.openWatch()->form()->settings() == s);
    }

    void serveFromTheDialog()
    {
        SimRig r;
        auto* dialog = r.open<NetworkDialog>(u"Network..."_s);
        QVERIFY(dialog && dialog->isVisible());
        dialog->addressEdit()->setText(u"127.0.0.1:0"_s);
        dialog->startStopButton()->click();
        const QString url = dialog->urlLabel()->text();
        const qsizetype at = url.indexOf(u"http://127.0.0.1:"_s);
        QVERIFY2(at >= 0, qPrintable(url));
        const quint16 port = quint16(url.sliced(at + 17).section(u'/', 0, 0).toUInt());

        QTest::mouseClick(r.window.keyButton(Key::Vect), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(get(port, "/api/status").contains("\"lit_keys\":[\"VECT\""), 5000);

        dialog->startStopButton()->click();
        QCOMPARE(get(port, "/api/status"), QByteArray());  // nobody listens any more
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
