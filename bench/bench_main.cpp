// Speed of the program's own work, measured side by side in one run and printed as ratios:
//   screen decode straight into scan lines against one painter call per pixel; each graticule;
//   one poll tick against the bare three-byte exchange on the same link (simulator and pseudo-terminal);
//   a whole capture over a pseudo-terminal against the bare transfer of the same bytes plus the fixed pause;
//   the error log fetched alone and straight after a capture.

#include "gui/download_window.h"
#include "session/session.h"
#include "files/printing.h"
#include "link/serial_device.h"
#include "render/graticule_dispatch.h"
#include "render/pixel_decoder.h"
#include "render/screen_picture.h"
#include "sim/sim_device.h"
#include "sim/sim_instrument.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QPainter>

#include <atomic>
#include <cstring>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace qv;

namespace {

// An instrument on the far end of a pseudo-terminal that answers at once.
class PtyPeer {
public:
    PtyPeer()
    {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(master_);
        unlockpt(master_);
        termios t{};
        tcgetattr(master_, &t);
        cfmakeraw(&t);
        tcsetattr(master_, TCSANOW, &t);
        path_ = ptsname(master_);
        keep_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY);
        thread_ = std::thread([this] { loop(); });
    }
    ~PtyPeer()
    {
        stop_ = true;
        thread_.join();
        ::close(keep_);
        ::close(master_);
    }
    const std::string& path() const { return path_; }

private:
    void loop()
    {
        SimInstrument sim;
        uint8_t buf[512];
        while (!stop_) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0 || !(p.revents & POLLIN))
                continue;
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0)
                continue;
            const QByteArray reply = sim.receive(buf, size_t(n));
            for (qsizetype off = 0; off < reply.size();) {
                const ssize_t w = ::write(master_, reply.constData() + off, size_t(reply.size() - off));
                if (w > 0)
                    off += w;
                else
                    std::this_thread::sleep_for(std::chrono::microseconds(100));
            }
        }
    }
    int master_ = -1, keep_ = -1;
    std::string path_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
};

PtyPeer& peer()
{
    static PtyPeer p;
    return p;
}

std::vector<uint8_t> busyScreen()
{
    // Every nibble non-zero: the worst case for the decoder.
    std::vector<uint8_t> bytes(size_t(kBlockBytes) * kBlockCount);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = uint8_t(0x11 + (i * 7) % 0xEE) | 0x11;
    return bytes;
}

void BM_DecodeScreen(benchmark::State& state)
{
    const auto bytes = busyScreen();
    ScreenPicture picture;
    for (auto _ : state) {
        for (int b = 0; b < kBlockCount; ++b)
            decodeBlock(picture.surface().image(), b, bytes.data() + size_t(b) * kBlockBytes, kBlockBytes);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_DecodeScreen)->Unit(benchmark::kMillisecond);

void BM_DecodeScreenPerPoint(benchmark::State& state)
{
    const auto bytes = busyScreen();
    QImage image(kPictureWidth, kPictureHeight, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter p(&image);
        for (int b = 0; b < kBlockCount; ++b)
            for (int i = 0; i < kBlockBytes; ++i) {
                const uint8_t v = bytes[size_t(b) * kBlockBytes + size_t(i)];
                const int x = 2 * (i % kRowBytes) + 2, y = 16 * b + i / kRowBytes;
                if (y <= 15)
                    continue;
                if (v >> 4) {
                    p.setPen(QColor::fromRgb(greyOf(v >> 4)));
                    p.drawPoint(x, y);
                }
                if (v & 15) {
                    p.setPen(QColor::fromRgb(greyOf(v & 15)));
                    p.drawPoint(x + 1, y);
                }
            }
    }
}
BENCHMARK(BM_DecodeScreenPerPoint)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Graticule(benchmark::State& state)
{
    ScreenPicture picture;
    const int code = int(state.range(0));
    const QDateTime now = QDateTime::currentDateTime();
    for (auto _ : state) {
        DrawGraticule(picture.surface(), code, true, now);
        picture.surface().finish();
    }
}
BENCHMARK(BM_Graticule)->DenseRange(1, 9)->DenseRange(11, 17)->DenseRange(20, 33)->Unit(benchmark::kMicrosecond);

void BM_PollTickSim(benchmark::State& state)
{
    Session session(std::make_unique<SimDevice>());
    for (auto _ : state)
        session.pollOnce();
}
BENCHMARK(BM_PollTickSim)->Unit(benchmark::kMicrosecond);

void BM_BareExchangeSim(benchmark::State& state)
{
    SimDevice dev;
    char serial[100] = "QV7700SIM";
    FtHandle h = 0;
    dev.OpenEx(serial, ft::OPEN_BY_SERIAL_NUMBER, &h);
    uint8_t reply[3];
    for (auto _ : state) {
        uint32_t n = 0;
        dev.Write(h, "\xb6\xf0", 2, &n);
        dev.Read(h, reply, 3, &n);
    }
    dev.Close(h);
}
BENCHMARK(BM_BareExchangeSim)->Unit(benchmark::kMicrosecond);

void BM_PollTickPty(benchmark::State& state)
{
    Session session(std::make_unique<SerialDevice>(QString::fromStdString(peer().path())));
    for (auto _ : state)
        session.pollOnce();
    if (!session.poll().instrumentPresent())
        state.SkipWithError("the pty peer did not answer");
}
BENCHMARK(BM_PollTickPty)->Unit(benchmark::kMicrosecond);

int openRaw(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
    return fd;
}

bool readFully(int fd, uint8_t* buf, size_t n)
{
    size_t got = 0;
    while (got < n) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 1000) <= 0)
            return false;
        const ssize_t r = ::read(fd, buf + got, n - got);
        if (r <= 0)
            return false;
        got += size_t(r);
    }
    return true;
}

void BM_BareExchangePty(benchmark::State& state)
{
    const int fd = openRaw(peer().path());
    uint8_t reply[3];
    for (auto _ : state) {
        if (::write(fd, "\xb6\xf0", 2) != 2 || !readFully(fd, reply, 3))
            state.SkipWithError("the pty peer did not answer");
    }
    ::close(fd);
}
BENCHMARK(BM_BareExchangePty)->Unit(benchmark::kMicrosecond);

void BM_CapturePty(benchmark::State& state)
{
    Session session(std::make_unique<SerialDevice>(QString::fromStdString(peer().path())));
    session.poll().setSignalPresent(true);
    for (auto _ : state) {
        session.screenFetch().captureWithWindow();
        if (!session.screenFetch().lastFetchClean())
            state.SkipWithError(qPrintable(session.panel().statusText()));
    }
}
BENCHMARK(BM_CapturePty)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_BareTransferPty(benchmark::State& state)
{
    std::vector<uint8_t> buf(kBlockBytes);
    for (auto _ : state) {
        const int fd = openRaw(peer().path());
        bool ok = ::write(fd, "\xb0\xf0", 2) == 2 && readFully(fd, buf.data(), 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the fixed pause before the blocks
        for (int b = 0; ok && b < kBlockCount; ++b)
            ok = ::write(fd, "\xb2\xf0", 2) == 2 && readFully(fd, buf.data(), kBlockBytes);
        ok = ok && ::write(fd, "\xb1\xf0", 2) == 2;
        ::close(fd);
        if (!ok)
            state.SkipWithError("bare transfer failed");
    }
}
BENCHMARK(BM_BareTransferPty)->Unit(benchmark::kMillisecond)->Iterations(5);

QImage tracePicture()
{
    ScreenPicture picture;
    DrawGraticule(picture.surface(), 4, true, QDateTime::currentDateTime());
    return picture.image().copy();
}

void BM_BlackOnWhite(benchmark::State& state)
{
    const QImage original = tracePicture();
    for (auto _ : state) {
        state.PauseTiming();
        QImage image = original.copy();
        state.ResumeTiming();
        for (int y = 0; y < 766; ++y)
            blackOnWhiteRow(image, y);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_BlackOnWhite)->Unit(benchmark::kMillisecond);

void BM_BlackOnWhitePerPoint(benchmark::State& state)
{
    // The per-point way: read each point and set it again through the painter.
    const QImage original = tracePicture();
    for (auto _ : state) {
        QImage image = original.copy();
        QPainter p(&image);
        for (int y = 0; y <= 765; ++y)
            for (int x = 0; x <= 1021; ++x) {
                p.setPen((image.pixel(x, y) & 0xffffff) == 0 ? Qt::white : Qt::black);
                p.drawPoint(x, y);
            }
    }
}
BENCHMARK(BM_BlackOnWhitePerPoint)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_BlackOnWhiteVisibleSweep(benchmark::State& state)
{
    // The pass as the user sees it: the screen window repainted after every row.
    ScreenPicture picture;
    DownloadWindow window(picture);
    window.show();
    for (auto _ : state) {
        state.PauseTiming();
        picture.show(tracePicture());
        state.ResumeTiming();
        QImage& image = picture.surface().image();
        for (int y = 0; y < 766; ++y) {
            blackOnWhiteRow(image, y);
            window.view()->repaint(0, y, kPictureWidth, 1);
        }
    }
}
BENCHMARK(BM_BlackOnWhiteVisibleSweep)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_CaptureSimLatency(benchmark::State& state)
{
    // A link of 1 MB/s whose converter holds each reply for its latency timer: 16 ms (the default) or 2 ms.
    auto* dev = new SimDevice;
    dev->setLink(int(state.range(0)), 1000000);
    Session session{std::unique_ptr<D2xx>(dev)};
    session.poll().setSignalPresent(true);
    for (auto _ : state)
        session.screenFetch().captureWithWindow();
}
BENCHMARK(BM_CaptureSimLatency)->Arg(16)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_LogFetch981(benchmark::State& state)
{
    auto* dev = new SimDevice;
    dev->instrument().fillLog(976);  // 4 header records + 976 entries + the end record: 981 requests
    Session session{std::unique_ptr<D2xx>(dev)};
    for (auto _ : state) {
        session.errorLog().requestFetch();
        if (dev->instrument().logEntryCount() != 976 || !session.errorLog().lastFetchNormal())
            state.SkipWithError("log fetch did not run out normally");
    }
    state.counters["records"] = 981;
}
BENCHMARK(BM_LogFetch981)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_LogFetchAfterCapturePty(benchmark::State& state)
{
    // The error log over a pty, alone and straight after a capture, in turns so that both see the same machine.
    // A capture leaves a whole block's queue count behind; only the log's first record may go by it.
    Session session(std::make_unique<SerialDevice>(QString::fromStdString(peer().path())));
    session.poll().setSignalPresent(true);
    double aloneMs = 0, afterMs = 0;
    const auto fetchLog = [&] {
        QElapsedTimer t;
        t.start();
        session.errorLog().requestFetch();
        if (!session.errorLog().lastFetchNormal())
            state.SkipWithError("log fetch did not run out normally");
        return double(t.nsecsElapsed()) / 1e6;
    };
    for (auto _ : state) {
        session.link().queuedBytes() = 0;  // as a program that has fetched nothing yet
        aloneMs += fetchLog();
        session.screenFetch().captureWithWindow();
        if (!session.screenFetch().lastFetchClean())
            state.SkipWithError(qPrintable(session.panel().statusText()));
        afterMs += fetchLog();
    }
    state.counters["alone_ms"] = aloneMs / double(state.iterations());
    state.counters["after_ms"] = afterMs / double(state.iterations());
}
BENCHMARK(BM_LogFetchAfterCapturePty)->Unit(benchmark::kMillisecond)->Iterations(3);

// Runs the program itself; returns milliseconds from process start to its first paint, and the peak memory.
struct ProcessFigures {
    double paintMs = -1;
    long peakKb = -1;
};
ProcessFigures runProgram(bool capture)
{
    QProcess p;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QV7700_PROBE"), capture ? QStringLiteral("capture") : QStringLiteral("startup"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    ProcessFigures f;
    QElapsedTimer t;
    t.start();
    p.start(QCoreApplication::applicationDirPath() + QStringLiteral("/qv7700-remote"), {QStringLiteral("--device"), QStringLiteral("sim")});
    while (p.waitForReadyRead(10000)) {
        while (p.canReadLine()) {
            const QByteArray line = p.readLine().trimmed();
            if (line == "painted")
                f.paintMs = t.nsecsElapsed() / 1e6;
            if (line.startsWith("peak-rss-kb "))
                f.peakKb = line.mid(12).toLong();
        }
        if (p.state() == QProcess::NotRunning)
            break;
    }
    p.waitForFinished(10000);
    return f;
}

void BM_StartupToFirstPaint(benchmark::State& state)
{
    for (auto _ : state) {
        const ProcessFigures f = runProgram(false);
        if (f.paintMs < 0)
            state.SkipWithError("the program did not paint");
        state.SetIterationTime(f.paintMs / 1000);
    }
}
BENCHMARK(BM_StartupToFirstPaint)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_PeakMemoryWithCapture(benchmark::State& state)
{
    long peak = 0;
    for (auto _ : state) {
        const ProcessFigures f = runProgram(true);
        if (f.peakKb < 0)
            state.SkipWithError("the program did not report its memory");
        peak = std::max(peak, f.peakKb);
    }
    state.counters["peak_MB"] = double(peak) / 1024;
}
BENCHMARK(BM_PeakMemoryWithCapture)->Unit(benchmark::kMillisecond)->Iterations(1);

// Collects each benchmark's mean time so that the ratios can be printed after the usual table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> ms;
    std::map<std::string, double> counters;
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs) {
            if (r.error_occurred || r.iterations <= 0)
                continue;
            ms[r.benchmark_name()] = r.real_accumulated_time / double(r.iterations) * 1e3;
            for (const auto& [name, c] : r.counters)
                counters[r.benchmark_name() + "." + name] = c.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    // Names carry suffixes such as "/iterations:5".
    const auto get = [&](const char* name) {
        const std::string key(name);
        for (const auto& [n, t] : reporter.ms)
            if (n == key || n.rfind(key + "/iterations", 0) == 0)
                return t;
        return -1.0;
    };
    double slowest = 0;
    std::string slowestName;
    for (const auto& [name, t] : reporter.ms)
        if (name.rfind("BM_Graticule/", 0) == 0 && t > slowest) {
            slowest = t;
            slowestName = name;
        }
    std::printf("\n%-56s %12s %12s\n", "comparison (same run)", "measured", "target");
    std::printf("%-56s %9.3f ms %12s\n", "full 48-block screen, decoded into scan lines", get("BM_DecodeScreen"), "< 1.5 ms");
    std::printf("%-56s %10.1f x %12s\n", "  per-point painter way / scan-line way",
                get("BM_DecodeScreenPerPoint") / get("BM_DecodeScreen"), ">= 50 x");
    std::printf("%-56s %9.3f ms %12s\n", ("slowest graticule (" + slowestName + ")").c_str(), slowest, "< 1 ms");
    std::printf("%-56s %9.3f ms %12s\n", "black-on-white pass over the picture", get("BM_BlackOnWhite"), "");
    std::printf("%-56s %10.1f x %12s\n", "  per-point painter way / scan-line way",
                get("BM_BlackOnWhitePerPoint") / get("BM_BlackOnWhite"), ">= 50 x");
    std::printf("%-56s %9.1f ms %12s\n", "  the visible sweep (window repainted every row)", get("BM_BlackOnWhiteVisibleSweep"),
                "< 500 ms");
    std::printf("%-56s %9.3f ms %12s\n", "poll tick, simulator", get("BM_PollTickSim"), "< 2 ms");
    std::printf("%-56s %10.1f x %12s\n", "  poll tick / bare 3-byte exchange, simulator",
                get("BM_PollTickSim") / get("BM_BareExchangeSim"), "");
    std::printf("%-56s %9.3f ms %12s\n", "poll tick over a pty (open, request, read, close)", get("BM_PollTickPty"), "");
    std::printf("%-56s %9.3f ms %12s\n", "  program's own work: tick - bare exchange, pty",
                get("BM_PollTickPty") - get("BM_BareExchangePty"), "< 2 ms");
    std::printf("%-56s %10.1f x %12s\n", "  poll tick / bare 3-byte exchange, pty",
                get("BM_PollTickPty") / get("BM_BareExchangePty"), "");
    std::printf("%-56s %9.1f ms %12s\n", "capture over a pty (391,680 bytes + 100 ms pause)", get("BM_CapturePty"), "");
    std::printf("%-56s %9.1f ms %12s\n", "  bare transfer of the same bytes + 100 ms pause", get("BM_BareTransferPty"), "");
    std::printf("%-56s %9.1f ms %12s\n", "  added by the program", get("BM_CapturePty") - get("BM_BareTransferPty"),
                "< 30 ms");
    const auto counter = [&](const std::string& prefix, const char* name) {
        for (const auto& [n, v] : reporter.counters)
            if (n.rfind(prefix, 0) == 0 && n.size() > strlen(name) && n.compare(n.size() - strlen(name), strlen(name), name) == 0)
                return v;
        return -1.0;
    };
    std::printf("%-56s %9.1f ms %12s\n", "capture, 1 MB/s link, converter latency 16 ms", get("BM_CaptureSimLatency/16"), "");
    std::printf("%-56s %9.1f ms %12s\n", "capture, 1 MB/s link, converter latency 2 ms", get("BM_CaptureSimLatency/2"), "");
    std::printf("%-56s %10.1f x %12s\n", "  faster with the 2 ms latency the program asks for",
                get("BM_CaptureSimLatency/16") / get("BM_CaptureSimLatency/2"), "");
    std::printf("%-56s %9.1f ms %12s\n", "log fetch of 981 records (instant instrument)", get("BM_LogFetch981"), "");
    std::printf("%-56s %9.1f ms %12s\n", "  of which the instrument's own pauses (981 x 10 + 200)", 981 * 10.0 + 200, "");
    std::printf("%-56s %9.1f ms %12s\n", "  added by the program", get("BM_LogFetch981") - (981 * 10.0 + 200), "");
    const double logAlone = counter("BM_LogFetchAfterCapturePty", "alone_ms");
    const double logAfter = counter("BM_LogFetchAfterCapturePty", "after_ms");
    std::printf("%-56s %9.1f ms %12s\n", "log fetch over a pty, alone", logAlone, "");
    std::printf("%-56s %9.1f ms %12s\n", "log fetch over a pty, straight after a capture", logAfter, "");
    std::printf("%-56s %10.2f x %12s\n", "  log fetch after a capture / log fetch alone", logAfter / logAlone, "<= 1.1 x");
    std::printf("%-56s %9.1f ms %12s\n", "start-up: process start to first paint", get("BM_StartupToFirstPaint"), "< 300 ms");
    std::printf("%-56s %9.1f MB %12s\n", "peak memory with a captured screen", counter("BM_PeakMemoryWithCapture", "peak_MB"), "< 80 MB");
    std::printf("%-56s %9.3f ms %12s\n", "poll tick + snapshot, web server without viewers", get("BM_PollTickWithViewers/0"), "< 2 ms");
    std::printf("%-56s %9.3f ms %12s\n", "  with 50 viewers streaming", get("BM_PollTickWithViewers/50"), "< 2 ms");
    std::printf("%-56s %10.2f x %12s\n", "  50 viewers / none", get("BM_PollTickWithViewers/50") / get("BM_PollTickWithViewers/0"), "");
    std::printf("%-56s %9.3f ms %12s\n", "view change to its event at a viewer", get("BM_ChangeToEvent/manual_time"), "");
    std::printf("%-56s %9.0f /s %12s\n", "GET /api/status, 2 keep-alive clients",
                counter("BM_StatusRequestsPerSecond", "requests_per_s"), "");
    // The poll's beat while the server is attacked, beside the same beat unattacked (8 s each).
    const char* attacks[] = {"unattacked", "pipelining, answers never read", "64 idle connections, 1 address",
                             "slowloris, 64 connections", "wrong-token POSTs, 4 clients"};
    for (int a = 0; a < 5; ++a) {
        const std::string name = "BM_PollPeriodUnderAttack/" + std::to_string(a);
        std::printf("%-56s %5.0f/%4.0f ms %11s\n", ("poll period mean/longest, " + std::string(attacks[a])).c_str(),
                    counter(name, "mean_period_ms"), counter(name, "max_period_ms"), "1000 ms");
    }
    const double beat = counter("BM_PollPeriodUnderAttack/0", "mean_period_ms");
    for (int a = 1; a < 5; ++a)
        std::printf("%-56s %10.3f x %12s\n", ("  " + std::string(attacks[a]) + " / unattacked").c_str(),
                    counter("BM_PollPeriodUnderAttack/" + std::to_string(a), "mean_period_ms") / beat, "1.0 x");
    std::printf("%-56s %9.1f MB %12s\n", "memory growth, pipelining, answers never read",
                counter("BM_PollPeriodUnderAttack/1", "rss_growth_MB"), "< 40 MB");
    std::printf("%-56s %9.1f MB %12s\n", "memory growth, unattacked, same 8 s", counter("BM_PollPeriodUnderAttack/0", "rss_growth_MB"), "");
    std::printf("%-56s %9.0f %12s\n", "  screen requests the flood got into the server's socket",
                counter("BM_PollPeriodUnderAttack/1", "attack_requests"), "");
    std::printf("%-56s %9.0f B %12s\n", "  each answered with", counter("BM_PollPeriodUnderAttack/1", "screen_answer_bytes"), "");
    std::printf("%-56s %9.0f %12s\n", "  wrong-token POSTs answered (401) in 8 s",
                counter("BM_PollPeriodUnderAttack/4", "attack_requests"), "");
    std::printf("%-56s %9.2f /s %12s\n", "live screen every 1 s, 1 MB/s link: frames to 1 viewer",
                counter("BM_LiveViewers/1/", "frames_per_s_each"), "");
    std::printf("%-56s %9.2f /s %12s\n", "  frames to each of 4 viewers", counter("BM_LiveViewers/4/", "frames_per_s_each"), "");
    std::printf("%-56s %10.2f x %12s\n", "  4 viewers / 1 (one copy serves all)",
                counter("BM_LiveViewers/4/", "frames_per_s_each") / counter("BM_LiveViewers/1/", "frames_per_s_each"), "1 x");
    for (const char* n : {"1", "4"}) {
        const std::string prefix = std::string("BM_LiveViewers/") + n + "/";
        std::printf("%-56s %9.0f ms %12s\n", (std::string("  poll period meanwhile, ") + n + " viewer(s): mean").c_str(),
                    counter(prefix, "poll_period_ms"), "1000 ms");
        std::printf("%-56s %9.0f ms %12s\n", "    largest gap between polls", counter(prefix, "poll_gap_max_ms"), "< 2000 ms");
        std::printf("%-56s %9.0f ms %12s\n", "    lateness beyond the period, largest", counter(prefix, "poll_lateness_max_ms"), "");
    }
    return 0;
}
