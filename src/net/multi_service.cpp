#include "net/multi_service.h"

#include "session/instrument_thread.h"
#include "session/session.h"

namespace qv {

MultiNetService::MultiNetService() : directory_(std::make_shared<net::InstrumentDirectory>()) {}

MultiNetService::~MultiNetService() { stop(); }

bool MultiNetService::start(const ServeOptions& options, QString* error)
{
    return listen(server_, options, directory_, &listening_, error);
}

NetBridge* MultiNetService::add(InstrumentThread& instrument)
{
    const int index = directory_->add(instrument.id(), instrument.device().isEmpty() ? QStringLiteral("auto") : instrument.device());
    net::SnapshotStore& store = *directory_->store(index);
    NetBridge* bridge = nullptr;
    instrument.run([&] {
        bridge = new NetBridge(instrument.session(), server_, store, index);
        bridge->pathPrefix = QStringLiteral("/i/") + instrument.id();
    });
    instrument.atStop([bridge] { delete bridge; });
    return bridge;
}

void MultiNetService::stop() { server_.stop(); }

}  // namespace qv
