// The watch's parts over simulated time: alarm rules as a state machine, the journal's crash repair and day
// files, what counts as a new error-log record, retention, hooks as real processes, and the whole watch on the
// simulated instrument over hours of a manual clock.

#include "session/session.h"
#include "logger/error_log.h"
#include "sim/sim_device.h"
#include "watch/clock.h"
#include "watch/hook_runner.h"
#include "watch/journal.h"
#include "watch/log_keeper.h"
#include "watch/report.h"
#include "watch/retention.h"
#include "watch/watch.h"

#include "test_rigs.h"

#include <QElapsedTimer>
#include <QImage>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QTest>

using namespace qv;
using namespace Qt::StringLiterals;
using qv::test::journalEvents;
using qv::test::readFile;
using qv::test::writeFile;

namespace {
const QDateTime kStart(QDate(2026, 6, 12), QTime(22, 30), QTimeZone(7200));

// One status a second from a script, one character a second:
//   o instrument present, signal, lamps off   g GAMUT+ red   m GAMUT- red   n no signal   a absent
//   L a log fetch with new records (and a good poll)        l a log fetch with none
//   B the wall clock is set back an hour (and the instrument is absent)
// Each change is listed with the second of the script it came at.
// flapLimit: more raises than this are flapping, quiet after 10 s (0: the defaults).
QString runRules(const QString& script, const QString& alarms, int flapLimit = 0)
{
    AlarmRuleSet set;
    for (AlarmTuning& t : set.alarms)
        if (flapLimit > 0)
            t = {t.raisePolls, t.raiseWindow, t.raiseAfterMs, t.clearHoldMs, flapLimit, t.flapWindowMs, 10000, 0};
    AlarmRules rules(*parseAlarmList(alarms), set);
    QStringList out;
    qint64 wallStep = 0;
    for (qsizetype i = 0; i < script.size(); ++i) {
        const QChar c = script.at(i);
        if (c == u'B')
            wallStep -= 3600;
        InstrumentStatus st;
        st.time = kStart.addSecs(i + wallStep);
        st.monotonicMs = i * 1000;
        st.present = c != u'a' && c != u'B';
        st.signal = c != u'n';
        st.lamps[7] = c == u'g' ? LampColour::Red : LampColour::Off;
        st.lamps[8] = c == u'm' ? LampColour::Red : LampColour::Off;
        std::vector<AlarmChange> changes = rules.poll(st);
        if (c == u'L' || c == u'l')
            for (AlarmChange& ch : rules.logFetched(c == u'L' ? 2 : 0, st.time, st.monotonicMs))
                changes.push_back(ch);
        for (const AlarmChange& ch : changes)
            out << QString::number(i) + (ch.raised ? u"+"_s : u"-"_s) + alarmNameText(ch.name) +
                       (ch.flapping ? u"(flapping)"_s : QString());
    }
    return out.join(u' ');
}
}  // namespace

class TestWatch : public QObject {
    Q_OBJECT
private slots:
    void alarmRules_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("alarms");
        QTest::addColumn<QString>("changes");
        QTest::addColumn<int>("flapLimit");
        QTest::newRow("gamut raised on 2 red of 3 polls, cleared 5 s after") << u"ggoooooooo"_s << u"all"_s << u"1+gamut 7-gamut"_s << 0;
        QTest::newRow("GAMUT- counts too") << u"mgoooooo"_s << u"all"_s << u"1+gamut 7-gamut"_s << 0;
        QTest::newRow("one red poll is a flicker") << u"ooogoooooo"_s << u"all"_s << QString() << 0;
        QTest::newRow("a flickering lamp is one episode") << u"gogoogooooooooo"_s << u"all"_s << u"2+gamut 11-gamut"_s << 0;
        QTest::newRow("past the flap limit it stays until quiet")
            << u"ggooooooggooooooggoooooooooooo"_s << u"all"_s
            << u"1+gamut 7-gamut 9+gamut 15-gamut 17+gamut(flapping) 28-gamut"_s << 2;
        QTest::newRow("signal after 3 good polls") << u"onnonnnoooooooo"_s << u"all"_s << u"6+signal 12-signal"_s << 0;
        QTest::newRow("absent after 5 s") << u"oaaaaaaoooooooo"_s << u"all"_s << u"6+absent 12-absent"_s << 0;
        QTest::newRow("absent 4 s is nothing") << u"oaaaaoooooo"_s << u"all"_s << QString() << 0;
        // Delays are timed on the monotonic clock: a wall clock set back neither delays nor hastens them.
        QTest::newRow("absent on time across a clock set back") << u"oaaBaaaoooooo"_s << u"all"_s << u"6+absent 12-absent"_s << 0;
        QTest::newRow("cleared on time across a clock set back") << u"ggoBoooooooo"_s << u"all"_s << u"1+gamut 7-gamut"_s << 0;
        QTest::newRow("absence says nothing of gamut")
            << u"ggaaaaaaaaoooooo"_s << u"all"_s << u"1+gamut 7+absent 15-gamut 15-absent"_s << 0;
        QTest::newRow("absent polls do not end a no-signal run") << u"nnannooooooo"_s << u"all"_s << u"3+signal 10-signal"_s << 0;
        QTest::newRow("new log records") << u"Loolooooo"_s << u"all"_s << u"0+log 8-log"_s << 0;
        QTest::newRow("only the alarms asked for") << u"ggnnnnoooooooo"_s << u"signal,log"_s << u"4+signal 11-signal"_s << 0;
    }
    void alarmRules()
    {
        QFETCH(QString, script);
        QFETCH(QString, alarms);
        QFETCH(int, flapLimit);
        QTEST(runRules(script, alarms, flapLimit), "changes");
    }

    // A plant's rules file: [all] first, then one alarm's section over it; a wrong word or number is refused.
    void alarmRulesFile_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("error");  // the start of why it was refused; empty: read
        QTest::newRow("all, then gamut") << QByteArray("[gamut]\nraise-polls=3\nraise-window=4\n[all]\nclear-hold-seconds=2.5\n")
                                         << QString();
        QTest::newRow("unknown alarm") << QByteArray("[gamma]\nraise-polls=1\n") << u"no alarm named [gamma]"_s;
        QTest::newRow("unknown key") << QByteArray("[log]\nraise-poll=1\n") << u"[log] has no setting raise-poll"_s;
        QTest::newRow("out of range") << QByteArray("[signal]\nflap-raises=0\n") << u"[signal] flap-raises takes 1"_s;
        QTest::newRow("more polls than the window") << QByteArray("[gamut]\nraise-polls=4\n") << u"[gamut] raise-polls is more"_s;
    }
    void alarmRulesFile()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"rules.ini"_s);
        QVERIFY(writeFile(path, ini));
        QString why;
        const std::optional<AlarmRuleSet> rules = readAlarmRules(path, &why);
        QCOMPARE(bool(rules), error.isEmpty());
        QVERIFY2(why.contains(error), qPrintable(why));
        if (rules) {
            const AlarmTuning& gamut = (*rules)[AlarmName::Gamut];
            QCOMPARE(std::make_tuple(gamut.raisePolls, gamut.raiseWindow, gamut.clearHoldMs), std::make_tuple(3, 4, qint64(2500)));
            QCOMPARE((*rules)[AlarmName::Absent].clearHoldMs, qint64(2500));
            QCOMPARE((*rules)[AlarmName::Absent].raiseAfterMs, AlarmRuleSet::defaults()[size_t(AlarmName::Absent)].raiseAfterMs);
        }
    }

    // After a crash the journal may end in a cut line: it stays as it was, and new lines start on a fresh one.
    void journalAppendsAfterACrash_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<int>("validBefore");
        QTest::newRow("new file") << QByteArray() << 0;
        QTest::newRow("whole lines") << QByteArray("{\"t\":\"x\",\"event\":\"start\"}\n") << 1;
        QTest::newRow("cut line") << QByteArray("{\"t\":\"x\",\"event\":\"start\"}\n{\"t\":\"2026-06-12T2") << 1;
    }
    void journalAppendsAfterACrash()
    {
        QFETCH(QByteArray, before);
        QFETCH(int, validBefore);
        QTemporaryDir dir;
        ManualClock clock(kStart);
        Journal journal(dir.path(), clock);
        const QString file = journal.fileFor(kStart.date());
        if (!before.isEmpty())
            QVERIFY(writeFile(file, before));
        journal.write(u"start"_s, {{u"serial"_s, u"QV7700SIM"_s}});
        journal.write(u"log"_s, {{u"n"_s, 3}, {u"text"_s, u"quote \" and\nline feed"_s}});
        QVERIFY(readFile(file).startsWith(before));  // nothing rewritten
        const QList<QJsonObject> lines = readJournal(dir.path(), kStart.date(), kStart.date());
        QCOMPARE(lines.size(), validBefore + 2);
        QCOMPARE(lines.last().value(u"text"_s).toString(), u"quote \" and\nline feed"_s);
    }

    void newLogRecords_data()
    {
        QTest::addColumn<QStringList>("previous");
        QTest::addColumn<QStringList>("current");
        QTest::addColumn<bool>("erased");
        QTest::addColumn<int>("firstNew");
        const QStringList ab{u"a"_s, u"b"_s};
        QTest::newRow("nothing new") << ab << ab << false << 2;
        QTest::newRow("two more") << ab << QStringList{u"a"_s, u"b"_s, u"c"_s, u"d"_s} << false << 2;
        QTest::newRow("erased, empty") << ab << QStringList() << true << 0;
        QTest::newRow("same count, new content") << ab << QStringList{u"b"_s, u"c"_s} << true << 1;
        QTest::newRow("oldest dropped") << QStringList{u"a"_s, u"b"_s, u"c"_s} << QStringList{u"b"_s, u"c"_s, u"d"_s, u"e"_s} << true << 2;
        QTest::newRow("first record changed") << ab << QStringList{u"z"_s, u"b"_s, u"c"_s} << true << 0;
    }
    void newLogRecords()
    {
        QFETCH(QStringList, previous);
        QFETCH(QStringList, current);
        const LogDiff d = diffLog(previous, current);
        QTEST(d.erased, "erased");
        QTEST(d.firstNew, "firstNew");
    }

    // Retention deletes only what the watch wrote: by its own file names, and never anything else in DIR.
    void retention_data()
    {
        QTest::addColumn<int>("keepDays");
        QTest::addColumn<int>("keepKb");
        QTest::addColumn<int>("daysAhead");
        QTest::addColumn<QStringList>("deleted");
        QTest::newRow("by age") << 30 << 100000 << 0
                                << QStringList{u"captures/2026-05-01/101500-timed.png"_s, u"journal/2026-05-01.jsonl"_s};
        QTest::newRow("by size, oldest captures first")
            << 60 << 45 << 0
            << QStringList{u"captures/2026-05-01/101500-timed.png"_s, u"captures/2026-06-11/090000-gamut.png"_s};
        // A date 40 days ahead makes every file old; the newest day that holds data stays all the same.
        QTest::newRow("clock 40 days ahead") << 30 << 100000 << 40
                                             << QStringList{u"captures/2026-05-01/101500-timed.png"_s,
                                                            u"journal/2026-05-01.jsonl"_s,
                                                            u"captures/2026-06-11/090000-gamut.png"_s};
    }
    void retention()
    {
        QFETCH(int, keepDays);
        QFETCH(int, keepKb);
        QFETCH(int, daysAhead);
        QTemporaryDir dir;
        const QByteArray tenKb(10 * 1024, 'x');
        for (const char* name : {"journal/2026-05-01.jsonl", "journal/2026-06-12.jsonl", "captures/2026-05-01/101500-timed.png",
                                 "captures/2026-06-11/090000-gamut.png", "captures/2026-06-12/080000-timed.png",
                                 "captures/2026-06-12/080000-timed-2.png", "notes.txt", "journal/2026-05-01.jsonl.bak",
                                 "captures/2026-05-01/holiday.png", "captures/old/101500-timed.png"})
            QVERIFY(writeFile(dir.filePath(QString::fromLatin1(name)), tenKb));
        QStringList planned;
        const QDate today = QDate(2026, 6, 12).addDays(daysAhead);
        for (const Deletion& d : retentionPlan(watchFiles(dir.path()), today, {keepDays, keepKb * 1024ll}).deletions)
            planned << QDir(dir.path()).relativeFilePath(d.path);
        QTEST(planned, "deleted");
    }

    // Hooks are real processes, one at a time per alarm: the next call waits until the last one has exited (its
    // code reported) or has been killed at the time limit.
    void hooks_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("limitMs");
        QTest::addColumn<int>("exit");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("exit code, in turns")
            << u"echo start $QV_STATE >> \"$0\"; sleep 0.2; echo end $QV_STATE >> \"$0\"; exit 3"_s << 30000 << 3
            << QByteArray("start raised\nend raised\nstart cleared\nend cleared\n");
        QTest::newRow("killed at the limit") << u"echo start $QV_STATE >> \"$0\"; exec sleep 30"_s << 500 << -1
                                             << QByteArray("start raised\nstart cleared\n");
        // A hook that reads its standard input (cat, a bare mail) gets nothing and ends, long before the kill.
        QTest::newRow("standard input is empty") << u"cat; echo read $QV_STATE >> \"$0\""_s << 30000 << 0
                                                 << QByteArray("read raised\nread cleared\n");
    }
    void hooks()
    {
        QFETCH(QString, script);
        QFETCH(int, limitMs);
        QFETCH(int, exit);
        QTemporaryDir dir;
        HookRunner hooks(u"/bin/sh -c '%1' \"%2\""_s.arg(script, dir.filePath(u"out with space"_s)));
        hooks.timeLimitMs = limitMs;
        QSignalSpy done(&hooks, &HookRunner::finished);
        QElapsedTimer took;
        took.start();
        hooks.run({u"signal"_s, u"raised"_s, {}, {}, {}, {}, {}});
        hooks.run({u"signal"_s, u"cleared"_s, {}, {}, {}, {}, {}});
        QTRY_COMPARE_WITH_TIMEOUT(done.size(), 2, 20000);
        QVERIFY2(took.elapsed() < 5000, qPrintable(QString::number(took.elapsed())));
        for (const QList<QVariant>& result : done) {
            QCOMPARE(result.first().value<HookResult>().exit, exit);
            QCOMPARE(result.first().value<HookResult>().killed, exit == -1);
        }
        QTEST(readFile(dir.filePath(u"out with space"_s)), "written");
    }

    // At the stop, waiting calls get the time left to run; a hook that never ends is killed at that bound, the
    // calls behind it are journaled as not run, and calls beyond the queue's bound are counted as they are dropped.
    void hooksAtStop_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("calls");
        QTest::addColumn<QString>("results");
        QTest::addColumn<int>("dropped");
        QTest::newRow("waiting calls run") << u"true"_s << 3 << u"3 ran, 0 killed, 0 not run"_s << 0;
        QTest::newRow("a hook that never ends") << u"sleep 30"_s << 20 << u"0 ran, 1 killed, 16 not run"_s << 3;
    }
    void hooksAtStop()
    {
        QFETCH(QString, command);
        QFETCH(int, calls);
        HookRunner hooks(command);
        QSignalSpy done(&hooks, &HookRunner::finished);
        QSignalSpy dropped(&hooks, &HookRunner::dropped);
        for (int i = 0; i < calls; ++i)
            hooks.run({u"gamut"_s, i % 2 ? u"cleared"_s : u"raised"_s, {}, {}, {}, {}, {}});
        QTEST(int(dropped.size()), "dropped");
        if (!dropped.isEmpty())
            QTEST(dropped.last().at(1).toInt(), "dropped");
        QElapsedTimer took;
        took.start();
        hooks.finishAll(1000);
        QVERIFY(took.elapsed() < 3000);
        int ranNormally = 0, killed = 0, notRun = 0;
        for (const QList<QVariant>& result : done) {
            const HookResult r = result.first().value<HookResult>();
            ranNormally += r.run && r.exit == 0;
            killed += r.killed;
            notRun += !r.run;
        }
        QTEST(u"%1 ran, %2 killed, %3 not run"_s.arg(ranNormally).arg(killed).arg(notRun), "results");
        QCOMPARE(hooks.running(), 0);
    }

    void retentionWithTheClockAhead();
    void watchOverSimulatedHours();
    void report();
};

// A wall clock 40 days ahead when the watch starts: every file from before would be past --keep-days. The pass
// is refused and says why; nothing of the folder's last day, nor anything else, is deleted.
void TestWatch::retentionWithTheClockAhead()
{
    QTemporaryDir dir;
    const QStringList before{u"journal/2026-05-01.jsonl"_s, u"journal/2026-06-12.jsonl"_s,
                             u"captures/2026-06-11/090000-gamut.png"_s, u"captures/2026-06-12/080000-timed.png"_s};
    for (const QString& name : before)
        QVERIFY(writeFile(dir.filePath(name), "{}\n"));
    Session session{std::unique_ptr<D2xx>(new SimDevice)};
    ManualClock clock(kStart.addDays(40));
    WatchSettings settings;
    settings.dir = dir.path();
    Watch watch(session, u"sim"_s, settings, clock);
    QVERIFY(watch.start());
    watch.stop();
    for (const QString& name : before)
        QVERIFY2(QFile::exists(dir.filePath(name)), qPrintable(name));
    const QStringList events = journalEvents(readJournal(dir.path(), clock.now().date(), clock.now().date()));
    QCOMPARE(events, (QStringList{u"start"_s, u"error"_s, u"stop"_s}));
    QVERIFY(readFile(dir.filePath(u"journal/2026-07-22.jsonl"_s)).contains("retention deleted nothing"));
}

// The PDF report from a journal: the period's episodes with their times and duration, the alarm picture, the
// new log records, page numbers; what lies outside the period stays out. Read back with poppler's pdftotext.
void TestWatch::report()
{
    if (QStandardPaths::findExecutable(u"pdftotext"_s).isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
    QTemporaryDir dir;
    ManualClock clock(kStart.addDays(-1));
    Journal journal(dir.path(), clock);
    journal.write(u"alarm"_s, {{u"name"_s, u"signal"_s}, {u"state"_s, u"raised"_s}});  // the day before
    clock.set(kStart);
    journal.write(u"start"_s, {{u"serial"_s, u"QV7700SIM"_s}});
    journal.write(u"alarm"_s, {{u"name"_s, u"gamut"_s}, {u"state"_s, u"raised"_s}, {u"detail"_s, u"GAMUT+ red"_s}});
    QImage picture(1025, 769, QImage::Format_RGB32);
    picture.fill(Qt::green);
    QVERIFY(QDir().mkpath(dir.filePath(u"captures/2026-06-12"_s)));
    QVERIFY(picture.save(dir.filePath(u"captures/2026-06-12/223000-gamut.png"_s)));
    journal.write(u"capture"_s, {{u"file"_s, u"captures/2026-06-12/223000-gamut.png"_s}, {u"reason"_s, u"alarm"_s}, {u"alarm"_s, u"gamut"_s}});
    clock.advance(20000);
    journal.write(u"alarm"_s, {{u"name"_s, u"gamut"_s}, {u"state"_s, u"acknowledged"_s}});
    clock.advance(45000);
    journal.write(u"alarm"_s, {{u"name"_s, u"gamut"_s}, {u"state"_s, u"cleared"_s}});
    journal.write(u"log"_s, {{u"n"_s, 34}, {u"text"_s, u"06/12 22:31:00 REF UNLOCKED"_s}});
    const QString pdf = dir.filePath(u"report.pdf"_s);
    QString error;
    QVERIFY(writeReport(dir.path(), kStart.date().startOfDay(kStart.timeZone()), kStart.date().addDays(1).startOfDay(kStart.timeZone()), pdf, &error));
    QByteArray text;
    QCOMPARE(qv::test::Process({u"-layout"_s, pdf, u"-"_s}, u"pdftotext"_s).finish(&text), 0);
    const QString out = QString::fromUtf8(text).simplified();
    for (const QString& expected : {u"Instrument serial: QV7700SIM"_s, u"Alarm episodes (1)"_s,
                                    u"gamut 2026-06-12 22:30:00 2026-06-12 22:31:05 1 min 5 s 2026-06-12 22:30:20"_s,
                                    u"Alarm captures (1)"_s, u"captures/2026-06-12/223000-gamut.png"_s,
                                    u"2026-06-12 22:31:05 06/12 22:31:00 REF UNLOCKED"_s,
                                    // Watched from the start to the last line: no stop, and an hour and more of
                                    // silence after it is not a watch that ran on.
                                    u"Watched: 1 min 5 s (0.1 %) Not watched: 23 h 58 min"_s,
                                    u"gamut 1 1 min 5 s 1 min 5 s"_s, u"page 3 of 3"_s,
                                    // The signal alarm raised the day before by a watch that never came back is
                                    // not carried into this day by the next start, which did not go on with it.
                                    u"signal 0"_s})
        QVERIFY2(out.contains(expected), qPrintable(out + u"\nlacks: "_s + expected));
}

// Two hours on the simulated instrument by a manual clock, across midnight: time-lapse captures, log fetches,
// the gamut and log alarms with their pictures, and no traffic beyond the poll and what the watch asks for.
void TestWatch::watchOverSimulatedHours()
{
    QTemporaryDir dir;
    auto* sim = new SimDevice;
    Session session{std::unique_ptr<D2xx>(sim)};
    session.poll().absencePauseMs = 0;
    session.screenFetch().pauseBeforeBlocksMs = 0;
    session.errorLog().startPauseMs = 0;
    session.errorLog().recordPauseMs = 0;
    ManualClock clock(kStart);
    WatchSettings settings;
    settings.dir = dir.path();
    settings.captureEveryMinutes = 10;
    Watch watch(session, u"sim"_s, settings, clock);
    watch.start();
    for (int i = 0; i <= 7200; ++i) {
        clock.set(kStart.addSecs(i));
        if (i == 1800 || i == 1810)
            sim->instrument().setGamut(i == 1800, false);
        if (i == 3000)
            sim->instrument().addLogEntry("06/12 23:20:00 REF UNLOCKED");
        session.pollOnce();
        QCoreApplication::processEvents();
    }
    watch.stop();

    const QList<QJsonObject> lines = readJournal(dir.path(), kStart.date(), kStart.date().addDays(1));
    const QStringList all = journalEvents(lines);
    QCOMPARE(all.filter(u"alarm "_s), (QStringList{u"alarm gamut raised"_s, u"alarm gamut cleared"_s,
                                                   u"alarm log raised"_s, u"alarm log cleared"_s}));
    QCOMPARE(all.first(), u"start"_s);
    QCOMPARE(all.last(), u"stop"_s);
    QCOMPARE(all.count(u"alive"_s), 2);
    QCOMPARE(all.count(u"log"_s), 1);
    // Lines go to the file of their own day: the next day's file begins at midnight.
    QCOMPARE(readJournal(dir.path(), kStart.date().addDays(1), kStart.date().addDays(1)).value(0).value(u"t"_s).toString(),
             u"2026-06-13T00:00:00.000+02:00"_s);
    // The log alarm's picture is taken on the tick after the fetch that found the record.
    for (const char* name : {"2026-06-12/224000-timed", "2026-06-12/230001-gamut", "2026-06-12/230000-timed",
                             "2026-06-12/233001-log", "2026-06-13/000000-timed", "2026-06-13/003000-timed"})
        QVERIFY2(QImage(dir.filePath(u"captures/%1.png"_s.arg(QLatin1String(name)))).size() == QSize(1025, 769),
                 name);
    QVERIFY(readFile(dir.filePath(u"errorlog.txt"_s))
                .endsWith("2026-06-12T23:30:00.000+02:00\t06/12 23:20:00 REF UNLOCKED\n"));
    // Traffic: one status request per poll, and only the captures and log fetches the watch asked for: twelve
    // time-lapse pictures, the gamut alarm's (raised on its second red poll) and the log alarm's; one log fetch
    // at start and then every 15 minutes.
    const QList<uint8_t> keys = sim->instrument().keysReceived();
    QCOMPARE(keys.count(0xB6), 7201);
    QCOMPARE(keys.count(0xB0), 14);
    QCOMPARE(keys.count(0xB3), 9);
}

QTEST_MAIN(TestWatch)
#include "test_watch.moc"
