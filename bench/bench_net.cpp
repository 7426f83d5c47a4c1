// The web server's cost to the program and its speed, loopback only:
//   the poll tick's own work (poll plus publication) with 0 and with 50 viewers on the live stream;
//   the time from a change of what viewers see to its event arriving at a viewer;
//   GET /api/status answered per second with two keep-alive clients.

#include "net/net_service.h"
#include "session/session.h"
#include "sim/sim_device.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonObject>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace qv;

namespace {

int connectTo(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void sendAll(int fd, const std::string& s)
{
    for (size_t off = 0; off < s.size();) {
        const ssize_t n = ::send(fd, s.data() + off, s.size() - off, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        off += size_t(n);
    }
}

// Reads until the text holds `marker` count times more than before; false when the connection ends.
bool readUntil(int fd, std::string& buffer, const std::string& marker)
{
    char chunk[65536];
    for (;;) {
        const size_t at = buffer.find(marker);
        if (at != std::string::npos) {
            buffer.erase(0, at + marker.size());
            return true;
        }
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            return false;
        buffer.append(chunk, size_t(n));
    }
}

struct Serving {
    Session session{std::make_unique<SimDevice>()};
    NetService service{session};
    quint16 port = 0;
    Serving()
    {
        ServeOptions o;
        o.address = QStringLiteral("127.0.0.1:0");
        o.tokenFile = QStringLiteral("/tmp/qv-bench-token");
        QString error;
        if (service.start(o, &error))
            port = quint16(QStringView(service.url()).split(u':').last().chopped(1).toUInt());
    }
    std::string eventsRequest() const
    {
        return "GET /api/events HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n\r\n";
    }
    // A change viewers see, without touching the instrument: the alarm list alternates.
    void changeView(int n) { service.bridge()->setAlarms({QJsonObject{{QStringLiteral("name"), QString::number(n % 2)}}}); }
};

// Viewers that read their stream on a thread of their own, as browsers elsewhere would.
class Viewers {
public:
    Viewers(const Serving& s, int count)
    {
        for (int i = 0; i < count; ++i) {
            const int fd = connectTo(s.port);
            sendAll(fd, s.eventsRequest());
            fds_.push_back(fd);
        }
        reader_ = std::thread([this] {
            char chunk[65536];
            while (!stop_)
                for (int fd : fds_)
                    while (::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT) > 0) {
                    }
        });
    }
    ~Viewers()
    {
        stop_ = true;
        reader_.join();
        for (int fd : fds_)
            ::close(fd);
    }

private:
    std::vector<int> fds_;
    std::atomic<bool> stop_{false};
    std::thread reader_;
};

void BM_PollTickWithViewers(benchmark::State& state)
{
    Serving s;
    Viewers viewers(s, int(state.range(0)));
    int n = 0;
    for (auto _ : state) {
        s.changeView(++n);  // every tick sends an event to every viewer
        s.session.pollOnce();
        s.service.bridge()->publish();
    }
    state.counters["viewers"] = double(state.range(0));
}
BENCHMARK(BM_PollTickWithViewers)->Arg(0)->Arg(50)->Unit(benchmark::kMicrosecond);

void BM_ChangeToEvent(benchmark::State& state)
{
    Serving s;
    const int fd = connectTo(s.port);
    sendAll(fd, s.eventsRequest());
    std::string buffer;
    readUntil(fd, buffer, "\n\n");  // the view at connection time
    int n = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        s.changeView(++n);
        s.service.bridge()->publish();
        if (!readUntil(fd, buffer, "\n\n"))
            state.SkipWithError("the stream ended");
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    ::close(fd);
}
BENCHMARK(BM_ChangeToEvent)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_StatusRequestsPerSecond(benchmark::State& state)
{
    Serving s;
    constexpr int kClients = 2, kEach = 5000;
    const std::string request = "GET /api/status HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(s.port) + "\r\n\r\n";
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        std::vector<std::thread> clients;
        for (int c = 0; c < kClients; ++c)
            clients.emplace_back([&] {
                const int fd = connectTo(s.port);
                std::string buffer;
                for (int i = 0; i < kEach; ++i) {
                    sendAll(fd, request);
                    if (!readUntil(fd, buffer, "}\n"))
                        break;
                }
                ::close(fd);
            });
        for (auto& t : clients)
            t.join();
        state.counters["requests_per_s"] = double(kClients * kEach) / (double(clock.nsecsElapsed()) / 1e9);
    }
}
BENCHMARK(BM_StatusRequestsPerSecond)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
