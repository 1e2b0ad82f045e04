// Start-up pieces of the daemon and one pass of its hold-detection loop.
#ifndef BUTTOND_DAEMON_STARTUP_H
#define BUTTOND_DAEMON_STARTUP_H

#include "board/hwmap.h"

#define BUTTOND_VERSION "1.02"

// Debug level, program name and pid-file path from the command line.
void ReadCommandLine(int argc, char** argv);
// Names the daemon in syslog as glibc does by default, then logs the
// start banner.
void StartLog();
// Opens the device and maps both pages into ledRegister and gpioBlock; logs
// and returns false when the daemon cannot go on.
bool MapBoard(const HardwareMap& map);
// Polls once, and runs a whole hold attempt when the button is down.
void MainLoopIteration();

#endif
