#pragma once
// The command line: every option, checked before any window or device exists. A plain start is the
// interactive program; any action option runs without a window.

#include "net/serve_options.h"
#include "session/live_view.h"
#include "watch/watch_settings.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>

namespace qv {

// Exit codes of every mode, one table for people and scripts alike.
namespace exitcode {
inline constexpr int Done = 0;
inline constexpr int Failed = 1;    // the instrument is absent or an exchange failed
inline constexpr int Usage = 2;     // the command line is wrong
inline constexpr int NotWritten = 3;  // an output file could not be written (nothing partial is left)
}  // namespace exitcode

enum class Action { Window, Press, Capture, GetLog, EraseLog, Status, ListDevices, Render, Doctor, Watch, Report, Serve };

enum class OutputFormat { Png, Bmp, Text, Json, Csv };

// One instrument of several in one program: the name it goes by (its converter's serial number, or dev1, dev2, ...
// in command-line order for a device that has none), the --device it is reached through and the serial number
// that picks it out there (empty: the first one the device finds).
struct InstrumentSpec {
    QString id;
    QString device;
    QString serial;
};

struct Options {
    Action action = Action::Window;
    QString device;        // --device, empty: look for a real instrument
    QString serialNumber;  // --serial-number
    QStringList presses;   // --press, in order; they run before any other action
    QString output;        // --capture FILE, --get-log FILE or --output FILE; "-" is standard output
    OutputFormat format = OutputFormat::Png;
    bool json = false;
    // --render
    int renderCode = 0;
    std::array<uint8_t, 4> levels{};
    bool signal = true;
    // --watch DIR and its options; --report DIR reads the folder named here too
    WatchSettings watch;
    QDateTime from, to;  // --report: the period, to exclusive
    std::optional<ServeOptions> serve;
    int liveIntervalMs = LiveView::kDefaultIntervalMs;  // --live-interval: the live screen's copies
    // Several instruments (--device or -s given more than once, or --all), for --serve and --watch; empty: one,
    // as device and serialNumber say. With --all the list is what the scan finds, and device is the one scanned.
    QList<InstrumentSpec> instruments;
    bool all = false;
    bool several() const { return all || !instruments.isEmpty(); }

    bool headless() const { return action != Action::Window; }
};

struct ParsedCommandLine {
    std::optional<Options> options;  // set when the program should go on
    int exitCode = exitcode::Done;   // otherwise: exit with this code
    QString out;                     // text for standard output (help, version; with --json a usage error's object)
    QString error;                   // text for standard error (usage errors)
};

// What a script that asked for --json reads on standard output when a mode fails: {"ok": false, "error": ...,
// "exit": N} on one line.
// kind: what failed, for machines ("usage", or an exchange's kind such as "absent" or "time-out").
QByteArray failureJson(const QString& error, int exit, const QString& kind = {});

// args includes the program name first, as QCoreApplication::arguments() gives it. Needs no application object.
ParsedCommandLine parseCommandLine(const QStringList& args);

}  // namespace qv
