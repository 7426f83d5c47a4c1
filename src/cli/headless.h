#pragma once
// The command-line modes that run without a window, through the very same handlers as the window's keys
// and menus. Texts for people (the status box among them) go to standard error; standard output carries only
// what a script asked for: a picture, a log, a status, a list, or with --json a JSON object for every outcome.

#include "cli/command_line.h"

#include <QString>

#include <memory>

namespace qv {

class Session;

// How much a line on standard error matters, as syslog and journald count it.
enum class Severity { Error = 3, Warning = 4, Notice = 5, Info = 6 };
// One line for people on standard error. When standard error is systemd's journal (a service), the line starts
// with the sd-daemon priority prefix ("<3>", "<4>", ...), so that `journalctl -p warning` shows alarms and errors.
void say(const QString& text, Severity severity = Severity::Error);

// The session the options ask for (--device, --serial-number), not yet polling; none with *error set when the
// device cannot be made. Every mode that talks to an instrument starts here.
std::unique_ptr<Session> openSession(const Options& options, QString* error);

// Runs the action the options name and returns the process exit code (see exitcode::).
int runHeadless(const Options& options);

// The same on a remote control that already exists (its device chosen): the presses, then the action.
int runHeadlessOn(Session& session, const Options& options);
// Presses each named key in turn (knobs are held 200 ms): 0 when no exchange reported a failure, else 1.
int runPresses(Session& session, const QStringList& names);

}  // namespace qv
