#pragma once
// --watch DIR and --report DIR without a window.

#include "app/command_line.h"

namespace qv {

class Session;

// Watches until SIGINT or SIGTERM, then closes the journal: exit 0.
int runWatch(Session& remote, const Options& options);
// Writes the PDF report: 0, or 3 when the file cannot be written.
int runReport(const Options& options);

}  // namespace qv
