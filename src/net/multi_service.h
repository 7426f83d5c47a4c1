#pragma once
// Serving several instruments from one program: one token, one server and one set of access rules for them all,
// and for each instrument its own bridge and snapshot store on the instrument's own thread. The server answers
// the overview and /api/instruments itself, and hands /i/ID/... to instrument ID's snapshots and bridge.

#include "net/instruments.h"
#include "net/net_bridge.h"
#include "net/net_server.h"
#include "net/net_service.h"

#include <QObject>

#include <memory>

namespace qv {

class InstrumentThread;

class MultiNetService {
public:
    MultiNetService();
    ~MultiNetService();

    bool start(const ServeOptions& options, QString* error);
    // The instrument served under /i/ID/ from now on: its bridge is made on its thread and destroyed there
    // when the instrument stops (which must come before stop()).
    NetBridge* add(InstrumentThread& instrument);
    void stop();

    QStringList notices() const { return listening_.notices; }
    QString url() const { return server_.url(); }

private:
    net::NetServer server_;
    std::shared_ptr<net::InstrumentDirectory> directory_;
    Listening listening_;
};

}  // namespace qv
