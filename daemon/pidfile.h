// Single-instance guard: /var/run/<programName>.pid names the running copy.
#ifndef BUTTOND_DAEMON_PIDFILE_H
#define BUTTOND_DAEMON_PIDFILE_H

#include <stdint.h>

// Returns only when this copy may run; otherwise exits with status -1.
void CheckPidFile();
// The id in the pid file, 0 when it cannot be read.
int32_t ReadPidFile();
int32_t ReadPidFileAt(const char* path);	// another program's
bool IsProcessRunning(int32_t pid, const char* name);

#endif
