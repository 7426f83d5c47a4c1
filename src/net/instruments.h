#pragma once
// Several instruments behind one server: the directory of those served (each with its own snapshot store, fed by
// its own bridge on the instrument's thread), and the paths that belong to all of them together: the overview
// page at /, GET /api/instruments, one /metrics for all, and /i/ID/... handed to instrument ID's own routes with
// the prefix taken off. With one instrument there is no directory and none of this is used.

#include "net/api_routes.h"
#include "net/snapshot.h"

#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>

#include <memory>

namespace qv::net {

struct ServedInstrument {
    QString id;      // the converter's serial number, or dev1, dev2, ...; the path /i/ID/ names it
    QString device;  // the --device it is reached through, "auto" when none was named
    std::shared_ptr<SnapshotStore> store;
};

// Filled on the user-interface thread (instruments plugged in later are added while serving), read by the
// server's thread.
class InstrumentDirectory : public QObject {
    Q_OBJECT
public:
    // The new instrument's index, in the order they came.
    int add(const QString& id, const QString& device);
    QList<ServedInstrument> list() const;
    int indexOf(const QString& id) const;  // -1 when none goes by that id
    std::shared_ptr<SnapshotStore> store(int index) const;
    QStringList ids() const;

signals:
    // Emitted on the thread that added it.
    void added(int index);

private:
    mutable QMutex mutex_;
    QList<ServedInstrument> instruments_;
};

struct InstrumentRouteResult {
    RouteResult result;
    int instrument = -1;  // the instrument the request went to, -1 for the paths of all of them
    SnapshotPtr snapshot;  // that instrument's snapshot, for a live stream's first event
};

// Every path when several instruments are served.
InstrumentRouteResult routeInstruments(const HttpRequest& request, const InstrumentDirectory& directory,
                                       const AccessPolicy& access);

// GET /api/instruments: one object per instrument, from its latest snapshot.
QByteArray instrumentsJson(const InstrumentDirectory& directory);

// One exposition for all: each instrument's series carry instrument="ID", each family's HELP and TYPE come once,
// and the series of the process itself (its start, its version) come once without the label.
QByteArray instrumentsMetricsText(const InstrumentDirectory& directory);

}  // namespace qv::net
