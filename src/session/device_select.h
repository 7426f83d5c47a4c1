#pragma once
// Chooses the device backend from the --device name: d2xx, serial, serial:PATH or sim. Without a name the
// program looks for a real instrument: the vendor library when it loads, else the kernel's serial driver.

#include "link/d2xx.h"

#include <QString>

#include <memory>

namespace qv {

// Returns nullptr and sets *error for a name that names no backend.
std::unique_ptr<D2xx> makeDevice(const QString& name, QString* error);

}  // namespace qv
