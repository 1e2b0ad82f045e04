/*
 * Linked into the emulated board's BusyBox with --wrap. Debian's glibc 2.36
 * is built for kernels from 3.2 on: with a 64-bit time_t it still makes the
 * old 32-bit-time system calls whenever the values fit 32 bits, and a
 * kernel built for past 2038 (without COMPAT_32BIT_TIME) has none of them,
 * so BusyBox's sleep would return at once, touch and date -s would fail.
 * A firmware's C library configured for kernel 5.1 or later makes only the
 * 64-bit-time calls; these wrappers make BusyBox do the same for the calls
 * the board's scripts need, and fall back to glibc's own on older kernels.
 */
#define _GNU_SOURCE
#include <errno.h>
#include <signal.h>
#include <stddef.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

int __real___clock_nanosleep_time64(clockid_t, int, const struct timespec *, struct timespec *);
int __real___utimensat64_helper(int, const char *, const struct timespec *, int);
int __real___clock_settime64(clockid_t, const struct timespec *);
int __real___sigtimedwait64(const sigset_t *, siginfo_t *, const struct timespec *);

/* nanosleep, usleep and sleep end here too. */
int __wrap___clock_nanosleep_time64(clockid_t clock, int flags, const struct timespec *req,
				    struct timespec *rem)
{
	if (syscall(SYS_clock_nanosleep_time64, clock, flags, req, rem) == 0)
		return 0;
	if (errno != ENOSYS)
		return errno;
	return __real___clock_nanosleep_time64(clock, flags, req, rem);
}

/* utimes and futimens end here; utimensat below. */
int __wrap___utimensat64_helper(int fd, const char *file, const struct timespec *times, int flags)
{
	int r = syscall(SYS_utimensat_time64, fd, file, times, flags);
	if (r == 0 || errno != ENOSYS)
		return r;
	return __real___utimensat64_helper(fd, file, times, flags);
}

int __wrap___utimensat64(int fd, const char *file, const struct timespec *times, int flags)
{
	if (file == NULL) {
		errno = EINVAL;
		return -1;
	}
	return __wrap___utimensat64_helper(fd, file, times, flags);
}

/* settimeofday ends here too. */
int __wrap___clock_settime64(clockid_t clock, const struct timespec *tp)
{
	int r = syscall(SYS_clock_settime64, clock, tp);
	if (r == 0 || errno != ENOSYS)
		return r;
	return __real___clock_settime64(clock, tp);
}

/* init polls its signals with a zero time-out. */
int __wrap___sigtimedwait64(const sigset_t *set, siginfo_t *info, const struct timespec *timeout)
{
	int r = syscall(SYS_rt_sigtimedwait_time64, set, info, timeout, _NSIG / 8);
	if (r >= 0 || errno != ENOSYS)
		return r;
	return __real___sigtimedwait64(set, info, timeout);
}
