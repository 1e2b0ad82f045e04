// The few OS services whose timing or side effects the tests must control.
// The daemon calls these instead of libc; os_real.cpp binds them to libc on
// the board, and the test world binds them to a virtual clock.
#ifndef BUTTOND_UTIL_OS_H
#define BUTTOND_UTIL_OS_H

#include <time.h>

// Sleeps: 0, or -1 with errno set when the OS refused every way to sleep
// (logged once).
int OsSleep(unsigned seconds);
int OsUsleep(unsigned microseconds);
// clock_gettime(2): 0, or -1 with errno set.
int OsClockGetTime(clockid_t clock, struct timespec* ts);
void OsOpenlog(const char* ident, int option, int facility);
void OsSyslog(int priority, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
int OsSystem(const char* command);
// sync(2): what every file system holds in its cache goes to its storage.
void OsSync();

#endif
