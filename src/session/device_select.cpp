#include "session/device_select.h"

#include "link/d2xx_library.h"
#include "link/serial_device.h"
#include "sim/sim_device.h"

namespace qv {

using namespace Qt::StringLiterals;

std::unique_ptr<D2xx> makeDevice(const QString& name, QString* error)
{
    const auto reject = [&](const QString& why) -> std::unique_ptr<D2xx> {
        if (error)
            *error = u"--device %1: %2"_s.arg(name, why);
        return nullptr;
    };
    if (name.isEmpty()) {
        auto library = std::make_unique<D2xxLibrary>();
        if (library->loaded())
            return library;
        return std::make_unique<SerialDevice>();
    }
    if (name == u"d2xx")
        return std::make_unique<D2xxLibrary>();
    if (name.startsWith(u"d2xx:"))
        return std::make_unique<D2xxLibrary>(name.mid(5));
    if (name == u"serial")
        return std::make_unique<SerialDevice>();
    if (name.startsWith(u"serial:") && name.size() > 7)
        return std::make_unique<SerialDevice>(name.mid(7));
    if (name == u"sim")
        return std::make_unique<SimDevice>();
    if (name.startsWith(u"sim:")) {
        // sim:LATENCY_MS[:BYTES_PER_SECOND] models a real link's delay and speed. The bounds keep to what a
        // converter can be: up to ten seconds late, up to 100 MB/s (0: no limit, replies at once).
        constexpr int kMaxLatencyMs = 10000;
        constexpr qint64 kMaxBytesPerSecond = 100000000;
        const QStringList parts = name.mid(4).split(u':');
        bool okLatency = false, okRate = true;
        const int latency = parts.value(0).toInt(&okLatency);
        const qint64 rate = parts.size() > 1 ? parts.at(1).toLongLong(&okRate) : 0;
        if (okLatency && okRate && parts.size() <= 2) {
            if (latency < 0 || latency > kMaxLatencyMs)
                return reject(u"latency %1 ms is outside 0 to %2"_s.arg(latency).arg(kMaxLatencyMs));
            if (rate < 0 || rate > kMaxBytesPerSecond)
                return reject(u"rate %1 bytes/s is outside 1 to %2 (0: no limit)"_s.arg(rate).arg(kMaxBytesPerSecond));
            auto sim = std::make_unique<SimDevice>();
            sim->setLink(latency, rate);
            return sim;
        }
    }
    return reject(u"unknown device; use d2xx, serial, serial:PATH, sim or sim:LATENCY_MS[:BYTES_PER_SECOND]"_s);
}

}  // namespace qv
