// A peer process that plays the instrument on the far end of a pseudo-terminal: it prints the path of the
// terminal's near end, then answers whatever the program writes there as the simulated instrument does.
// It stops when its standard input closes or after a minute. With a file name as its argument it also appends
// every byte the program sent, in hexadecimal, so that a test can see what reached the instrument.

#include "sim/sim_instrument.h"

#include <QGuiApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

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
    const int keep = ::open(ptsname(master), O_RDWR | O_NOCTTY);
    std::printf("%s\n", ptsname(master));
    std::fflush(stdout);

    FILE* sent = argc > 1 ? std::fopen(argv[1], "a") : nullptr;
    qv::SimInstrument sim;
    QElapsedTimer alive;
    alive.start();
    while (alive.elapsed() < 60000) {
        pollfd fds[2] = {{master, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        if (::poll(fds, 2, 50) <= 0)
            continue;
        if (fds[1].revents & (POLLIN | POLLHUP)) {
            char c;
            if (::read(STDIN_FILENO, &c, 1) <= 0)
                break;
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
        const QByteArray reply = sim.receive(buf, size_t(n));
        for (qsizetype off = 0; off < reply.size();) {
            const ssize_t w = ::write(master, reply.constData() + off, size_t(reply.size() - off));
            if (w <= 0) {
                usleep(1000);
                continue;
            }
            off += w;
        }
    }
    if (sent)
        std::fclose(sent);
    ::close(keep);
    ::close(master);
    return 0;
}
