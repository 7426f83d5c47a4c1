#pragma once
// The long-running modes without a window (--watch DIR, --serve), and --report DIR.

#include "cli/command_line.h"

namespace qv {

class NetBridge;
class Session;
class Watch;

// Watches until SIGINT or SIGTERM, then closes the journal: exit 0.
int runWatch(Session& session, const Options& options);
// --serve without a window: polls once a second as the window does, serves until SIGINT or SIGTERM.
int runServe(const Options& options);
// Serving beside a watch (headless, or the window's watch and server): viewers see its alarms and the journal's
// last lines as they are written, and may acknowledge an alarm.
void serveWatch(NetBridge& bridge, Watch& watch);
// Writes the PDF report: 0, or 3 when the file cannot be written.
int runReport(const Options& options);

}  // namespace qv
