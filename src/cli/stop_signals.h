#pragma once
// The modes that run until told to stop (--watch, --serve) end on SIGINT or SIGTERM by leaving the event loop,
// so that the journal is closed and the server stopped in order rather than cut off inside a signal handler.

namespace qv {

// Installs the handlers; false when the system refused them.
bool quitOnStopSignals();

}  // namespace qv
