// A peer process that plays the instrument on the far end of a pseudo-terminal: it prints the path of the
// terminal's near end, then answers whatever the program writes there as the simulated instrument does.
// With a LINK argument it also makes LINK a symbolic link to that path, so that the instrument can be
// "unplugged" (the link removed) and plugged in again. Lines on its standard input change the feed:
//   gamut PLUS MINUS   the GAMUT+ / GAMUT- lamps red (1) or not (0)
//   signal 0|1         the input signal lost or back
//   unplug | plug      the link removed or made again
//   log TEXT           the instrument logs a record; erase: its log is emptied
// It stops when its standard input closes or after QV_PTY_SECONDS (default 60) seconds.
// With QV_PTY_SENT naming a file, it also appends every byte the program sent, in hexadecimal, so that a test
// can see what reached the instrument. With QV_PTY_TIMED naming a file, it writes the same bytes there a read at a
// time, each line led by the monotonic clock in seconds (CLOCK_MONOTONIC, as Python's time.monotonic()), so that
// a test can see when each request came.
// With QV_PTY_BYTES_PER_SECOND it sends its replies no faster than that, as a slow converter would: a screen
// transfer then takes seconds.

#include "sim/sim_instrument.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace {
void command(qv::SimInstrument& sim, const QByteArray& line, const QByteArray& link, const char* target)
{
    const QList<QByteArray> w = line.trimmed().split(' ');
    if (w.value(0) == "gamut")
        sim.setGamut(w.value(1) == "1", w.value(2) == "1");
    else if (w.value(0) == "signal")
        sim.setSignalPresent(w.value(1) == "1");
    else if (w.value(0) == "unplug")
        ::unlink(link.constData());
    else if (w.value(0) == "plug" && ::symlink(target, link.constData()) != 0)
        std::perror("symlink");
    else if (w.value(0) == "log")
        sim.addLogEntry(line.trimmed().mid(4));
    else if (w.value(0) == "erase")
        sim.fillLog(0);
}
}  // namespace

int main(int argc, char** argv)
{
    // The simulator draws its screens, text pages included, with QtGui's raster engine: no display needed.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        return 1;
    termios t{};
    tcgetattr(master, &t);
    cfmakeraw(&t);
    tcsetattr(master, TCSANOW, &t);
    // Keep a descriptor on the near end so that the terminal survives the program's open and close cycles.
    const char* near = ptsname(master);
    const int keep = ::open(near, O_RDWR | O_NOCTTY);
    const QByteArray link = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    if (!link.isEmpty() && ::symlink(near, link.constData()) != 0)
        return 1;
    std::printf("%s\n", near);
    std::fflush(stdout);

    const char* sentPath = std::getenv("QV_PTY_SENT");
    FILE* sent = sentPath && *sentPath ? std::fopen(sentPath, "a") : nullptr;
    const char* timedPath = std::getenv("QV_PTY_TIMED");
    FILE* timed = timedPath && *timedPath ? std::fopen(timedPath, "a") : nullptr;
    qv::SimInstrument sim;
    QElapsedTimer alive;
    alive.start();
    const qint64 lifeMs = qEnvironmentVariableIntValue("QV_PTY_SECONDS") > 0 ? qEnvironmentVariableIntValue("QV_PTY_SECONDS") * 1000ll : 60000;
    const qint64 bytesPerSecond = qEnvironmentVariableIntValue("QV_PTY_BYTES_PER_SECOND");
    QByteArray input;
    while (alive.elapsed() < lifeMs) {
        pollfd fds[2] = {{master, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        if (::poll(fds, 2, 50) <= 0)
            continue;
        if (fds[1].revents & (POLLIN | POLLHUP)) {
            char c;
            if (::read(STDIN_FILENO, &c, 1) <= 0)
                break;
            input += c;
            if (c == '\n') {
                command(sim, input, link, near);
                input.clear();
            }
        }
        if (!(fds[0].revents & POLLIN))
            continue;
        uint8_t buf[512];
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n <= 0)
            continue;
        if (sent) {
            for (ssize_t i = 0; i < n; ++i)
                std::fprintf(sent, "%02X ", buf[i]);
            std::fflush(sent);
        }
        if (timed) {
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            std::fprintf(timed, "%lld.%06ld", static_cast<long long>(now.tv_sec), now.tv_nsec / 1000);
            for (ssize_t i = 0; i < n; ++i)
                std::fprintf(timed, " %02X", buf[i]);
            std::fputc('\n', timed);
            std::fflush(timed);
        }
        const QByteArray reply = sim.receive(buf, size_t(n));
        for (qsizetype off = 0; off < reply.size();) {
            const qsizetype chunk = bytesPerSecond > 0 ? std::min<qsizetype>(reply.size() - off, 1024) : reply.size() - off;
            const ssize_t w = ::write(master, reply.constData() + off, size_t(chunk));
            if (w <= 0) {
                usleep(1000);
                continue;
            }
            off += w;
            if (bytesPerSecond > 0)
                usleep(useconds_t(qint64(w) * 1000000 / bytesPerSecond));
        }
    }
    if (!link.isEmpty())
        ::unlink(link.constData());
    if (sent)
        std::fclose(sent);
    if (timed)
        std::fclose(timed);
    ::close(keep);
    ::close(master);
    return 0;
}
