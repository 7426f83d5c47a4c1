// The report over a week of a flickering gamut lamp, as a manager would ask for it on a Monday.
// The week is written as the watch writes it: a poll a second, the simulated instrument's own flicker (GAMUT+
// red one poll in seven) all week, and every 20 minutes a minute of red every other poll, judged by the watch's
// own alarm rules; each raise journals its capture (a real picture of the simulated instrument, a file of its
// own) and its hook run; an alive line an hour. Then --report's work for the whole week, timed, with the PDF's
// size and the process's peak memory, against the targets (60 s, 20 MB).

#include "session/session.h"
#include "sim/sim_device.h"
#include "watch/alarm_rules.h"
#include "watch/clock.h"
#include "watch/journal.h"
#include "watch/report.h"
#include "watch/watch.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QTemporaryDir>

#include <cstdio>

using namespace qv;
using namespace Qt::StringLiterals;

namespace {
long statusKb(const char* field)
{
    QFile f(u"/proc/self/status"_s);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toLong();
    return -1;
}

struct Week {
    qint64 lines = 0, bytes = 0, raises = 0;
};

// One real alarm capture of the simulated instrument, and its status with GAMUT+ red and without.
struct Seed {
    QString picture;
    InstrumentStatus red, clear;
};

Seed seed(const QString& dir)
{
    auto* sim = new SimDevice;
    Session session{std::unique_ptr<D2xx>(sim)};
    session.poll().absencePauseMs = 0;
    session.screenFetch().pauseBeforeBlocksMs = 0;
    session.errorLog().startPauseMs = 0;
    session.errorLog().recordPauseMs = 0;
    ManualClock clock(QDateTime(QDate(2026, 6, 1), QTime(8, 0)));
    WatchSettings settings;
    settings.dir = dir;
    Watch watch(session, u"sim"_s, settings, clock);
    watch.start();
    Seed s;
    for (int i = 0; i < 8; ++i) {
        sim->instrument().setGamut(i >= 2 && i < 5, false);
        clock.advance(1000);
        session.pollOnce();
        QCoreApplication::processEvents();
        (i >= 2 && i < 5 ? s.red : s.clear) = session.status();
    }
    for (int i = 0; i < 200 && s.picture.isEmpty(); ++i) {
        QCoreApplication::processEvents();
        QDirIterator it(dir + u"/captures"_s, {u"*.png"_s}, QDir::Files, QDirIterator::Subdirectories);
        if (it.hasNext())
            s.picture = it.next();
    }
    watch.stop();
    return s;
}

Week writeWeek(const QString& dir, const QDateTime& start, const Seed& s)
{
    Week w;
    QDir().mkpath(dir + u"/journal"_s);
    QFile file;
    QDate fileDay;
    const auto write = [&](const QDateTime& t, const QString& event, const QJsonObject& fields) {
        if (t.date() != fileDay) {
            file.close();
            file.setFileName(dir + u"/journal/"_s + t.date().toString(u"yyyy-MM-dd"_s) + u".jsonl"_s);
            if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
                std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
            fileDay = t.date();
        }
        const QByteArray line = Journal::formatLine(t, event, fields) + '\n';
        file.write(line);
        ++w.lines;
        w.bytes += line.size();
    };
    write(start, u"start"_s, {{u"serial"_s, s.clear.serial}, {u"device"_s, u"sim"_s}, {u"open"_s, QJsonArray()}});
    AlarmRules rules;
    bool lastRed = false;
    constexpr int kWeek = 7 * 86400;
    for (int i = 1; i < kWeek; ++i) {
        const QDateTime t = start.addSecs(i);
        const bool burst = i % 1200 < 60;  // a minute of flicker every 20 minutes
        const bool red = burst ? i % 2 == 0 : i % 7 == 3;
        InstrumentStatus st = red ? s.red : s.clear;
        st.time = t;
        st.monotonicMs = qint64(i) * 1000;
        if (red != lastRed)
            write(t, u"status"_s, {{u"status"_s, toJson(st, st.monotonicMs)}});
        lastRed = red;
        for (const AlarmChange& c : rules.poll(st)) {
            const QString name = alarmNameText(c.name);
            const QString id = name + u'-' + QString::number(c.time.toMSecsSinceEpoch());
            if (!c.raised) {
                write(t, u"alarm"_s, {{u"name"_s, name}, {u"state"_s, u"cleared"_s}, {u"detail"_s, c.detail},
                                      {u"ended"_s, isoTimestamp(c.time)}});
                continue;
            }
            ++w.raises;
            write(t, u"alarm"_s, {{u"name"_s, name}, {u"state"_s, u"raised"_s}, {u"detail"_s, c.detail}, {u"id"_s, id},
                                  {u"flapping"_s, c.flapping}});
            const QString file = u"captures/%1/%2-%3.png"_s.arg(t.date().toString(u"yyyy-MM-dd"_s),
                                                                 t.time().toString(u"HHmmss"_s), name);
            QDir().mkpath(QFileInfo(dir + u'/' + file).path());
            QFile::copy(s.picture, dir + u'/' + file);
            write(t.addSecs(1), u"capture"_s, {{u"file"_s, file}, {u"reason"_s, u"alarm"_s}, {u"alarm"_s, name}});
            write(t.addSecs(1), u"hook"_s, {{u"alarm"_s, name}, {u"state"_s, u"raised"_s}, {u"exit"_s, 0}, {u"ms"_s, 40}});
        }
        if (i % 3600 == 0)
            write(t, u"alive"_s, {});
    }
    write(start.addSecs(kWeek), u"stop"_s, {{u"open"_s, QJsonArray()}});
    return w;
}
}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTemporaryDir tmp(QCoreApplication::applicationDirPath() + u"/report-bench-XXXXXX"_s);
    tmp.setAutoRemove(!qEnvironmentVariableIsSet("QV_BENCH_KEEP_REPORT"));  // and the week's folder with it
    const Seed s = seed(tmp.filePath(u"seed"_s));
    if (s.picture.isEmpty()) {
        std::fprintf(stderr, "the simulated watch made no alarm picture\n");
        return 1;
    }
    const QDateTime start(QDate(2026, 6, 1), QTime(0, 0));
    const QString dir = tmp.filePath(u"week"_s);
    QElapsedTimer timer;
    timer.start();
    const Week w = writeWeek(dir, start, s);
    std::printf("a week of flicker: %lld journal lines in %lld files, %.1f MB, %lld episodes with a picture each "
                "(%.1f s to write)\n",
                w.lines, qint64(QDir(dir + u"/journal"_s).entryList(QDir::Files).size()), double(w.bytes) / 1e6,
                w.raises, double(timer.elapsed()) / 1000.0);

    // Peak memory from here on: the kernel's high-water mark, reset.
    QFile refs(u"/proc/self/clear_refs"_s);
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
    refs.close();
    const long before = statusKb("VmRSS:");
    timer.restart();
    QString error;
    const QString pdf = tmp.filePath(u"week.pdf"_s);
    if (!writeReport(dir, start, start.addDays(7), pdf, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const double seconds = double(timer.elapsed()) / 1000.0;
    const double mb = double(QFileInfo(pdf).size()) / 1e6;
    const long peak = statusKb("VmHWM:");
    std::printf("%-60s %10s %12s %8s\n", "", "measured", "target", "ratio");
    std::printf("%-60s %8.1f s %10.0f s %8.2f\n", "report of the week: time", seconds, 60.0, seconds / 60.0);
    std::printf("%-60s %7.1f MB %9.0f MB %8.2f\n", "report of the week: PDF size", mb, 20.0, mb / 20.0);
    std::printf("%-60s %7.1f MB %12s\n", "report of the week: peak memory above the start", double(peak - before) / 1024.0,
                "-");
    if (qEnvironmentVariableIsSet("QV_BENCH_KEEP_REPORT"))
        QFile::copy(pdf, qEnvironmentVariable("QV_BENCH_KEEP_REPORT"));
    return 0;
}
