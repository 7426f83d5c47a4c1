// The watch's own cost, measured side by side in one run and printed as differences and ratios:
//   a poll tick alone against a tick plus the watch's work after it (no journal line, and a status line each
//   poll), on the simulated instrument and a journal on the real disk;
//   a journal line flushed with fdatasync against the same line left to the kernel;
//   the process's memory after 1,000 and after 100,000 polls on the instant simulated link.

#include "session/session.h"
#include "sim/sim_device.h"
#include "watch/append_file.h"
#include "watch/clock.h"
#include "watch/watch.h"

#include "bench_reporter.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <map>

using namespace qv;
using namespace Qt::StringLiterals;

namespace {
// On the disk the build lives on, not in a memory filesystem: fdatasync must cost what it costs.
QString benchDir()
{
    static QTemporaryDir dir(QCoreApplication::applicationDirPath() + u"/watch-bench-XXXXXX"_s);
    return dir.path();
}

struct Rig {
    SimDevice* sim = new SimDevice;
    Session session{std::unique_ptr<D2xx>(sim)};
    ManualClock clock{QDateTime(QDate(2026, 6, 12), QTime(8, 0))};
    Watch watch;
    explicit Rig(const QString& dir, double captureEvery = 0)
        : watch(session, u"sim"_s,
                [&] {
                    WatchSettings s;
                    s.dir = dir;
                    s.captureEveryMinutes = captureEvery;
                    return s;
                }(),
                clock)
    {
        session.poll().absencePauseMs = 0;
        session.screenFetch().pauseBeforeBlocksMs = 0;
        session.errorLog().startPauseMs = 0;
        session.errorLog().recordPauseMs = 0;
        watch.start();
    }
    void poll(bool flipGamut, int i)
    {
        if (flipGamut)
            sim->instrument().setGamut(i % 2, false);
        clock.advance(1000);
        session.pollOnce();  // the watch follows the session's poll
        QCoreApplication::processEvents();
    }
};

void BM_PollAlone(benchmark::State& state)
{
    Rig rig(benchDir() + u"/alone"_s);
    rig.watch.stop();
    int i = 0;
    for (auto _ : state) {
        rig.sim->instrument().setGamut(++i % 2 && state.range(0), false);
        rig.session.pollOnce();
    }
}
BENCHMARK(BM_PollAlone)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_PollWithWatch(benchmark::State& state)
{
    Rig rig(benchDir() + u"/watched-%1"_s.arg(state.range(0)));
    for (int i = 0; i < 10; ++i)  // past the start-up log fetch
        rig.poll(false, i);
    int i = 0;
    for (auto _ : state)
        rig.poll(state.range(0), ++i);
}
BENCHMARK(BM_PollWithWatch)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_JournalLine(benchmark::State& state)
{
    AppendFile f;
    f.open(benchDir() + u"/line-%1.jsonl"_s.arg(state.range(0)));
    f.setSyncEachLine(state.range(0));
    const QByteArray line(700, 'x');  // about a status line
    for (auto _ : state)
        f.append(line);
}
BENCHMARK(BM_JournalLine)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

long rssKb()
{
    QFile f(u"/proc/self/status"_s);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

// A day and more of polls: a gamut alarm every ten minutes, a picture every ten, the log every fifteen.
void BM_MemoryOverPolls(benchmark::State& state)
{
    for (auto _ : state) {
        Rig rig(benchDir() + u"/memory"_s, 10);
        long after1k = 0;
        for (int i = 1; i <= 100000; ++i) {
            rig.sim->instrument().setGamut(i % 600 < 3, false);
            rig.poll(false, i);
            if (i == 1000)
                after1k = rssKb();
        }
        state.counters["rss_1k_kB"] = double(after1k);
        state.counters["rss_100k_kB"] = double(rssKb());
    }
}
BENCHMARK(BM_MemoryOverPolls)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    TimesReporter c;
    benchmark::RunSpecifiedBenchmarks(&c);
    const auto row = [](const char* what, double v, const char* unit, const char* target) {
        std::printf("%-60s %10.3f %-3s %12s\n", what, v, unit, target);
    };
    std::printf("\n%-60s %14s %12s\n", "comparison (same run)", "measured", "target");
    row("poll tick alone, simulator", c.us["BM_PollAlone/0"], "us", "");
    row("  watch's own work per poll, status unchanged (no line)", c.us["BM_PollWithWatch/0"] - c.us["BM_PollAlone/0"], "us", "< 1000 us");
    row("  watch's own work per poll, a status line each poll", c.us["BM_PollWithWatch/1"] - c.us["BM_PollAlone/1"], "us", "< 20000 us");
    row("journal line left to the kernel (write only)", c.us["BM_JournalLine/0"], "us", "");
    row("journal line flushed to the disk (write + fdatasync)", c.us["BM_JournalLine/1"], "us", "");
    row("  flush cost per line: fdatasync / write alone", c.us["BM_JournalLine/1"] / c.us["BM_JournalLine/0"], "x", "");
    const double kb1 = c.counters["rss_1k_kB"], kb100 = c.counters["rss_100k_kB"];
    row("memory after 1,000 polls", kb1 / 1024, "MB", "");
    row("memory after 100,000 polls", kb100 / 1024, "MB", "");
    row("  growth from 1,000 to 100,000 polls", (kb100 - kb1) / 1024, "MB", "< 1 MB");
    return 0;
}
