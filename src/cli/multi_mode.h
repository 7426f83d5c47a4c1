#pragma once
// --serve and --watch over several instruments in one program (--device or --serial-number given more than
// once, or --all): each instrument on its own thread with its own session, watch folder (DIR/ID) and bridge;
// one server, one token and one SNMP agent for them all.

#include "cli/command_line.h"

namespace qv {

// Runs until SIGINT or SIGTERM: 0; 2 for a device name that is wrong, 1 when serving or a watch folder fails.
int runSeveral(const Options& options);

// The name an instrument found by --all goes by: its serial number, with anything but letters, digits, '.',
// '-' and '_' made '_' (it names a folder and a path of the server).
QString instrumentIdFor(const QByteArray& serial);

}  // namespace qv
