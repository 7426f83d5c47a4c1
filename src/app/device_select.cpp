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
    if (error)
        *error = u"unknown device \"%1\": use d2xx, serial, serial:PATH or sim"_s.arg(name);
    return nullptr;
}

}  // namespace qv
