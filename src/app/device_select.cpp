#include "app/device_select.h"

#include "link/d2xx_library.h"
#include "link/serial_device.h"
#include "sim/sim_device.h"

namespace qv {

using namespace Qt::StringLiterals;

std::unique_ptr<D2xx> makeDevice(const QString& name, QString* error)
{
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
        // sim:LATENCY_MS[:BYTES_PER_SECOND] models a real link's delay and speed.
        const QStringList parts = name.mid(4).split(u':');
        bool okLatency = false, okRate = true;
        const int latency = parts.value(0).toInt(&okLatency);
        const qint64 rate = parts.size() > 1 ? parts.at(1).toLongLong(&okRate) : 0;
        if (okLatency && okRate && latency >= 0 && rate >= 0 && parts.size() <= 2) {
            auto sim = std::make_unique<SimDevice>();
            sim->setLink(latency, rate);
            return sim;
        }
    }
    if (error)
        *error = u"unknown device \"%1\": use d2xx, serial, serial:PATH, sim or sim:LATENCY_MS[:BYTES_PER_SECOND]"_s.arg(name);
    return nullptr;
}

}  // namespace qv
