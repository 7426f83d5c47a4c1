#pragma once
// The snapshot in the Prometheus text exposition format (version 0.0.4): one program per instrument, scraped
// by the plant's own Prometheus, so every series describes this one instrument and carries no label for it;
// Prometheus adds the instance.

#include "net/snapshot.h"

#include <QByteArray>

namespace qv::net {

QByteArray metricsText(const Snapshot& snapshot);

// A label value with backslash, double quote and line feed escaped as the format requires.
QByteArray labelValue(const QString& text);

}  // namespace qv::net
