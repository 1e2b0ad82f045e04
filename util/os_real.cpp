// libc binding of the OS seam, linked into the shipped daemon only.
#include "util/os.h"

#include <stdarg.h>
#include <stdlib.h>
#include <syslog.h>
#include <unistd.h>

unsigned OsSleep(unsigned seconds) { return sleep(seconds); }

int OsUsleep(unsigned microseconds) { return usleep(microseconds); }

int OsGetTimeOfDay(struct timeval* tv) { return gettimeofday(tv, nullptr); }

// No openlog: libc's default identity (the program's short name) and the
// user facility are what the board's log readers expect.
void OsSyslog(int priority, const char* format, ...)
{
	va_list ap;
	va_start(ap, format);
	vsyslog(priority, format, ap);
	va_end(ap);
}

int OsSystem(const char* command) { return system(command); }
