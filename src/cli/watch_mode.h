#pragma once
// The long-running modes without a window (--watch DIR, --serve), and --report DIR.

#include "cli/command_line.h"

namespace qv {

class Session;

// Watches until SIGINT or SIGTERM, then closes the journal: exit 0.
int runWatch(Session& session, const Options& options);
// --serve without a window: polls once a second as the window does, serves until SIGINT or SIGTERM.
int runServe(const Options& options);
// Writes the PDF report: 0, or 3 when the file cannot be written.
int runReport(const Options& options);

}  // namespace qv
