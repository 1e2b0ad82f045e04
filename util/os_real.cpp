// libc binding of the OS seam, linked into the shipped daemon only.
#include "util/os.h"

#include <errno.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <syslog.h>
#include <time.h>
#include <unistd.h>

// A 32-bit board's kernel built for past 2038 (without COMPAT_32BIT_TIME)
// has only the 64-bit-time sleep call. glibc's sleep() and usleep() on
// 32-bit PowerPC take the old call, and even its 64-bit-time nanosleep
// (glibc 2.36) takes it for any time that fits 32 bits: there each sleep
// would return at once, and the daemon would count a hold of no time and
// presses faster than the GPIO block clears them. So the board's daemon
// makes the 64-bit-time call itself, falling back to libc only on kernels
// before 5.1, which lack it. A signal that cuts a sleep short leaves the
// rest to sleep, so the gesture timings hold whatever reaches the process.
// Kernel headers before 5.1 have neither the call's number nor
// linux/time_types.h: such a build takes libc's sleep alone.
static void SleepFor(int64_t seconds, int64_t nanoseconds)
{
#ifdef SYS_clock_nanosleep_time64
	// The kernel's __kernel_timespec: two 64-bit fields on every ABI.
	struct {
		int64_t tv_sec, tv_nsec;
	} left64 = {seconds, nanoseconds};
	long r;
	while ((r = syscall(SYS_clock_nanosleep_time64, CLOCK_MONOTONIC, 0, &left64, &left64)) != 0 &&
	       errno == EINTR) {
	}
	if (r == 0 || errno != ENOSYS)
		return;
#endif
	struct timespec left = {static_cast<time_t>(seconds), static_cast<long>(nanoseconds)};
	while (clock_nanosleep(CLOCK_MONOTONIC, 0, &left, &left) == EINTR) {
	}
}

unsigned OsSleep(unsigned seconds)
{
	SleepFor(seconds, 0);
	return 0;
}

int OsUsleep(unsigned microseconds)
{
	SleepFor(microseconds / 1000000, int64_t(microseconds % 1000000) * 1000);
	return 0;
}

int OsGetTimeOfDay(struct timeval* tv) { return gettimeofday(tv, nullptr); }

void OsOpenlog(const char* ident, int option, int facility) { openlog(ident, option, facility); }

void OsSyslog(int priority, const char* format, ...)
{
	va_list ap;
	va_start(ap, format);
	vsyslog(priority, format, ap);
	va_end(ap);
}

int OsSystem(const char* command) { return system(command); }
