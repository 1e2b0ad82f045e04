// libc binding of the OS seam, linked into the shipped daemon only.
#include "util/os.h"

#include <errno.h>
#include <poll.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <syslog.h>
#include <time.h>
#include <unistd.h>

// A 32-bit board's kernel built for past 2038 (without COMPAT_32BIT_TIME)
// has only the 64-bit-time calls. glibc's sleep() and usleep() on 32-bit
// PowerPC take the old call, and even its 64-bit-time nanosleep (glibc
// 2.36) takes it for any time that fits 32 bits: there each sleep would
// return at once, and the daemon would count a hold of no time and presses
// faster than the GPIO block clears them. So the board's daemon makes the
// 64-bit-time calls itself. Whatever refuses one (a kernel before 5.1, a
// seccomp filter answering EPERM) sends it to libc instead, never back to
// the caller at once: a sleep that returns early makes the idle loop spin
// and confirms a hold from two samples microseconds apart. A signal that
// cuts a sleep short leaves the rest to sleep, so the gesture timings hold
// whatever reaches the process. Kernel headers before 5.1 have neither
// call's number: such a build goes to libc alone. Where libc's call fails
// too (it is the old one there), poll() sleeps: its timeout is an int of
// milliseconds, no time structure a kernel could lack.

// The kernel's __kernel_timespec: two 64-bit fields on every ABI.
struct Timespec64 {
	int64_t tv_sec, tv_nsec;
};

// poll() with no descriptors. Where the daemon makes its own system calls,
// it makes this one too: one libc import less on the board.
static int Poll(int ms)
{
#ifdef SYS_clock_nanosleep_time64
	return int(syscall(SYS_poll, nullptr, 0, ms));
#else
	return poll(nullptr, 0, ms);
#endif
}

// Sleeps the time left through poll(), in milliseconds rounded up.
static int SleepByPoll(const struct timespec& left)
{
	int ms = int(left.tv_sec) * 1000 + int((left.tv_nsec + 999999) / 1000000);
	int r;
	// A signal restarts the whole rest: the sleep lasts at least its time.
	while ((r = Poll(ms)) != 0 && errno == EINTR) {
	}
	if (r == 0)
		return 0;
	static bool told;
	if (!told)
		OsSyslog(LOG_NOTICE, "Sleep failed: %m");
	told = true;
	return -1;
}

static int SleepFor(unsigned seconds, unsigned microseconds)
{
#ifdef SYS_clock_nanosleep_time64
	Timespec64 left64 = {seconds, int64_t(microseconds) * 1000};
	long r;
	while ((r = syscall(SYS_clock_nanosleep_time64, CLOCK_MONOTONIC, 0, &left64, &left64)) != 0 &&
	       errno == EINTR) {
	}
	if (r == 0)
		return 0;
#endif
	// What a refused call left in left is the request, untouched.
	struct timespec left = {static_cast<time_t>(seconds), static_cast<long>(microseconds) * 1000};
	int e;
	while ((e = clock_nanosleep(CLOCK_MONOTONIC, 0, &left, &left)) == EINTR) {
	}
	return e == 0 ? 0 : SleepByPoll(left);
}

int OsSleep(unsigned seconds) { return SleepFor(seconds, 0); }

int OsUsleep(unsigned microseconds)
{
	return SleepFor(microseconds / 1000000, microseconds % 1000000);
}

int OsClockGetTime(clockid_t clock, struct timespec* ts)
{
#ifdef SYS_clock_gettime64
	Timespec64 t64;
	if (syscall(SYS_clock_gettime64, clock, &t64) == 0) {
		ts->tv_sec = static_cast<time_t>(t64.tv_sec);
		ts->tv_nsec = static_cast<long>(t64.tv_nsec);
		return 0;
	}
#endif
	return clock_gettime(clock, ts);
}

void OsOpenlog(const char* ident, int option, int facility) { openlog(ident, option, facility); }

void OsSyslog(int priority, const char* format, ...)
{
	va_list ap;
	va_start(ap, format);
	vsyslog(priority, format, ap);
	va_end(ap);
}

int OsSystem(const char* command) { return system(command); }

void OsSync() { sync(); }
