// What SNMP costs, measured side by side in one run and printed as differences and ratios:
//   a poll tick alone against a tick that also feeds the SNMP row (the subagent connected to a real snmpd);
//   the subagent's own work for one walk of the whole subtree with four instruments (the tree built for every
//   GETNEXT, as the request handler does) against a walk of one object;
//   a real snmpwalk of that subtree through snmpd against a walk of the single version object, the process
//   start and the master agent's share being the same in both.
// snmpd and snmpwalk come from Debian's snmpd and snmp packages; without them only the in-process rows run.

#include "session/session.h"
#include "sim/sim_device.h"
#include "snmp/snmp_feed.h"

#include "bench_reporter.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <map>

using namespace qv;
using namespace Qt::StringLiterals;

namespace {

QTemporaryDir& benchDir()
{
    static QTemporaryDir dir;
    return dir;
}

QString agentxSocket() { return benchDir().path() + u"/agentx"_s; }
int snmpPort() { return 17161; }

// snmpd as master agent on a loopback port and a socket of the benchmark's own; stopped with the process.
bool startMaster(QProcess& snmpd)
{
    if (QStandardPaths::findExecutable(u"snmpd"_s).isEmpty())
        return false;
    QFile conf(benchDir().path() + u"/snmpd.conf"_s);
    if (!conf.open(QIODevice::WriteOnly))
        return false;
    conf.write(u"agentaddress udp:127.0.0.1:%1\nmaster agentx\nagentXSocket %2\nrocommunity public 127.0.0.1\n"_s
                   .arg(snmpPort())
                   .arg(agentxSocket())
                   .toUtf8());
    conf.close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"SNMP_PERSISTENT_DIR"_s, benchDir().path());
    env.insert(u"MIBS"_s, QString());
    snmpd.setProcessEnvironment(env);
    snmpd.start(u"snmpd"_s, {u"-f"_s, u"-Lf"_s, benchDir().path() + u"/snmpd.log"_s, u"-C"_s, u"-c"_s, conf.fileName()});
    for (int i = 0; i < 50 && !QFile::exists(agentxSocket()); ++i)
        QThread::msleep(100);
    return QFile::exists(agentxSocket());
}

struct Rig {
    SimDevice* sim = new SimDevice;
    Session session{std::unique_ptr<D2xx>(sim)};
    Rig() { session.poll().absencePauseMs = 0; }
};

snmp::Model fourInstruments()
{
    Rig rig;
    rig.session.pollOnce();
    snmp::Model model;
    model.version = u"bench"_s;
    for (int i = 0; i < 4; ++i) {
        snmp::InstrumentRow row;
        row.id = u"dev%1"_s.arg(i + 1);
        row.status = rig.session.status();
        row.alarms.push_back({AlarmName::Gamut, true, false, row.status.time, {}, false, u"GAMUT+ red"_s});
        model.instruments.push_back(row);
    }
    return model;
}

void BM_PollTick(benchmark::State& state)
{
    Rig rig;
    std::unique_ptr<snmp::Feed> feed;
    if (state.range(0)) {
        QString error;
        feed = snmp::startFeed(rig.session, agentxSocket(), {}, &error);
        if (!feed) {
            state.SkipWithError(qPrintable(error));
            return;
        }
    }
    for (auto _ : state) {
        rig.session.pollOnce();
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_PollTick)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The subagent's side of a walk: one GETNEXT per object, as the request handler answers it, after the four
// instruments' rows changed (the tree is built again once, as after a poll).
void BM_HandlerWalk(benchmark::State& state)
{
    const snmp::Model model = fourInstruments();
    snmp::Agent& agent = snmp::Agent::instance();
    size_t objects = 0;
    for (auto _ : state) {
        for (size_t i = 0; i < model.instruments.size(); ++i)
            agent.setInstrument(i, model.instruments[i]);
        snmp::Oid at = agent.base();
        objects = 0;
        while (true) {
            const std::shared_ptr<const snmp::Tree> tree = agent.currentTree();
            const snmp::Entry* e = snmp::findNext(*tree, at);
            if (!e || (state.range(0) == 0 && objects == 1))
                break;
            benchmark::DoNotOptimize(snmp::answered(e->value, monotonicNowMs()));
            at = e->oid;
            ++objects;
        }
    }
    state.counters["objects"] = double(objects);
}
BENCHMARK(BM_HandlerWalk)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// snmpwalk through snmpd: 0 walks the version object alone, 1 the whole subtree with four instruments.
void BM_SnmpWalk(benchmark::State& state)
{
    if (QStandardPaths::findExecutable(u"snmpwalk"_s).isEmpty() || !snmp::Agent::instance().connected()) {
        state.SkipWithError("no snmpwalk, or the subagent is not connected to snmpd");
        return;
    }
    const snmp::Model four = fourInstruments();
    for (size_t i = 0; i < four.instruments.size(); ++i)
        snmp::Agent::instance().setInstrument(i, four.instruments[i]);
    const QString oid = snmp::oidText(snmp::kDefaultBase) + (state.range(0) ? QString() : u".1.1"_s);
    int lines = 0;
    for (auto _ : state) {
        QProcess walk;
        walk.start(u"snmpwalk"_s, {u"-v2c"_s, u"-c"_s, u"public"_s, u"-On"_s,
                                   u"127.0.0.1:%1"_s.arg(snmpPort()), oid});
        walk.waitForFinished(10000);
        lines = int(walk.readAllStandardOutput().count('\n'));
    }
    state.counters["objects"] = lines;
}
BENCHMARK(BM_SnmpWalk)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    QProcess snmpd;
    const bool master = startMaster(snmpd);
    if (!master)
        std::printf("snmpd could not start: the rows through it are skipped\n");
    TimesReporter c;
    benchmark::RunSpecifiedBenchmarks(&c);  // BM_PollTick/1 starts the agent
    const auto row = [](const char* what, double v, const char* unit, const char* target) {
        std::printf("%-64s %10.3f %-3s %12s\n", what, v, unit, target);
    };
    std::printf("\n%-64s %14s %12s\n", "comparison (same run)", "measured", "target");
    row("poll tick alone, simulator", c.us["BM_PollTick/0"], "us", "");
    row("  the SNMP feed's own work per poll", c.us["BM_PollTick/1"] - c.us["BM_PollTick/0"], "us", "< 100 us");
    row("subagent's work for a walk of four instruments", c.us["BM_HandlerWalk/1"], "us", "");
    row("  against a walk of one object (the tree built in both)", c.us["BM_HandlerWalk/1"] / c.us["BM_HandlerWalk/0"], "x", "");
    if (c.us.count("BM_SnmpWalk/1")) {
        row("snmpwalk of the subtree through snmpd", c.us["BM_SnmpWalk/1"] / 1000, "ms", "");
        row("  less a walk of the version object alone", (c.us["BM_SnmpWalk/1"] - c.us["BM_SnmpWalk/0"]) / 1000,
            "ms", "< 100 ms");
    }
    snmp::Agent::instance().stop();
    snmpd.terminate();
    snmpd.waitForFinished(5000);
    return 0;
}
