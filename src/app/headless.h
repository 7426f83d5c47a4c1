#pragma once
// The command-line modes that run without a window, through the very same handlers as the window's keys.

#include <QStringList>

namespace qv {

class Remote;

// Presses each named key in turn (knobs are held 200 ms). Every status box text goes to standard error.
// Returns the process exit status: 0 when no exchange reported a failure, 1 otherwise.
int runPresses(Remote& remote, const QStringList& names);

}  // namespace qv
