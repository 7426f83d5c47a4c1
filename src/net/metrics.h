#pragma once
// The snapshot in the Prometheus text exposition format (version 0.0.4): one program per instrument, scraped
// by the plant's own Prometheus, so every series describes this one instrument and carries no label for it;
// Prometheus adds the instance.

#include "net/snapshot.h"

#include <QByteArray>
#include <QMap>

namespace qv::net {

QByteArray metricsText(const Snapshot& snapshot);

// What only the server's own thread knows: its answers by status code and the live streams open now.
struct ServerCounts {
    QMap<int, quint64> responses;
    int streams = 0;
};
// The server's families, written after metricsText().
QByteArray serverMetricsText(const ServerCounts& counts);

// A label value with backslash, double quote and line feed escaped as the format requires.
QByteArray labelValue(const QString& text);

}  // namespace qv::net
