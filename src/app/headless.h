#pragma once
// The command-line modes that run without a window, through the very same handlers as the window's keys
// and menus. Every status box text goes to standard error. Each returns the process exit status.

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>

namespace qv {

class Remote;

// Presses each named key in turn (knobs are held 200 ms): 0 when no exchange reported a failure, else 1.
int runPresses(Remote& remote, const QStringList& names);

// One status poll as a timer tick does it, then the screen fetch, then the picture saved (.bmp or .png):
// 0 when the instrument answered and the fetch ended without a failure message, else 1 (absent instrument,
// a page with nothing to capture, any failed step).
int runCapture(Remote& remote, const QString& file);

// The log fetch; the file gets the status box text at its end, byte for byte. 0 on a normal end.
int runGetLog(Remote& remote, const QString& file);

// The erase command: 0 when its close succeeded.
int runEraseLog(Remote& remote);

// Draws a screen-type code's graticule, level bars and a simulated trace, as a capture would, and saves it.
int runRender(int code, const std::array<uint8_t, 4>& levels, bool signal, const QString& file);

// True when the file name ends in a picture format the program writes.
bool savableName(const QString& file);

}  // namespace qv
