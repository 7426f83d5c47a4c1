// The watch window on the simulated instrument: Logger > Watch... opens it; Start journals and shows the journal
// or why it cannot; alarms active-first with an Acknowledge that journals once; settings outlive the window.

#include "gui/alarm_list.h"
#include "gui/main_window.h"
#include "session/session.h"
#include "gui/watch_settings_form.h"
#include "gui/watch_window.h"
#include "sim/sim_device.h"

#include "test_rigs.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using namespace qv;
using namespace Qt::StringLiterals;

namespace {
const QDateTime kStart(QDate(2026, 6, 12), QTime(22, 30), QTimeZone(7200));

struct Rig {
    SimDevice* sim = new SimDevice;
    Session session{std::unique_ptr<D2xx>(sim)};
    MainWindow window{session};
    QTemporaryDir dir;
    Rig()
    {
        session.poll().absencePauseMs = session.screenFetch().pauseBeforeBlocksMs = session.errorLog().startPauseMs = 0;
        session.start();
        window.show();
    }
    WatchWindow* open()
    {
        for (QAction* menu : window.menuBar()->actions())
            for (QAction* item : menu->text() == u"Logger" ? menu->menu()->actions() : QList<QAction*>())
                if (item->text() == u"Watch...")
                    item->trigger();
        return window.findChild<WatchWindow*>();
    }
    QByteArray journal(const QDate& day) const
    {
        return qv::test::readFile(dir.filePath(u"watch/journal/%1.jsonl"_s.arg(day.toString(Qt::ISODate))));
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
}  // namespace

class TestWatchWindow : public QObject {
    Q_OBJECT
private slots:
    void init() { QSettings().clear(); }

    void startJournalsAndShows_data()
    {
        QTest::addColumn<bool>("blocked");
        QTest::newRow("writable folder") << false;
        QTest::newRow("folder below a plain file") << true;
    }
    void startJournalsAndShows()
    {
        QFETCH(bool, blocked);
        Rig r;
        r.session.pollSchedule().setInterval(10);  // the window's own poll, sooner
        WatchWindow* w = r.open();
        QVERIFY(w && w->isVisible());
        QFile plain(r.dir.filePath(u"file"_s));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        w->form()->folder()->setText(r.dir.filePath(blocked ? u"file/watch"_s : u"watch"_s));
        QTest::mouseClick(w->startStop(), Qt::LeftButton);
        QVERIFY(w->watching());
        QCOMPARE(w->problem()->isHidden(), !blocked);
        QVERIFY(w->journal()->toPlainText().contains(u"  start  "_s));  // held back or written, it is shown
        QCOMPARE(r.journal(QDate::currentDate()).contains("\"event\":\"start\""), !blocked);
        // The watch follows the window's own poll ticks: a status line after one of them.
        QTRY_VERIFY(w->journal()->toPlainText().contains(u"  status  "_s));
    }

    // One character a poll, one poll a second: o all well, g GAMUT+ red, n no signal, b both.
    void alarmsActiveOnTopAndAcknowledged_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("list");
        QTest::newRow("older active above newer ended") << u"gbbbgggggggggg"_s << u"gamut active, signal ended"_s;
        QTest::newRow("two active, newest first") << u"ggggbbbbbb"_s << u"signal active, gamut active"_s;
    }
    void alarmsActiveOnTopAndAcknowledged()
    {
        QFETCH(QString, script);
        QFETCH(QString, list);
        ManualClock clock(kStart);  // outlives the window: its watch writes "stop" by this clock when destroyed
        Rig r;
        r.session.pollSchedule().stop();  // the test ticks by a manual clock
        WatchWindow* w = r.open();
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
        const WatchSettings s{u"/srv/qv7700/watch"_s, 2.5, 0, *parseAlarmList(alarms),
                              u"logger -t 'qv7700 watch' alarm"_s, {7, 300ll * 1024 * 1024}};
        {
            Rig r;
            r.open()->form()->setSettings(s);
            r.open()->close();
        }
        Rig r;
        QVERIFY(r.open()->form()->settings() == s);
    }
};

int main(int argc, char** argv)
{
    // No session bus, and settings in a folder of the test's own: the user's stay untouched.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/qv7700-test-bus");
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(u"qv7700-remote-test"_s);
    TestWatchWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_watch_window.moc"
