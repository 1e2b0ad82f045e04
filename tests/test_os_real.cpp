// The daemon's binding to libc, as it runs on the board: its sleeps and
// its clock take the 64-bit-time calls, and anything that refuses one (a
// kernel before 5.1 with ENOSYS, a seccomp filter with EPERM) must send it
// to libc, never back at once. Meaningful on a 32-bit target, where those
// calls exist; a 64-bit PC has only libc's path.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <errno.h>
#include <signal.h>
#include <stdarg.h>
#include <string.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <time.h>

#include "util/os.h"

namespace {

int refuseWith;	// what the 64-bit-time calls answer; 0 lets them through
int refused;

bool IsTime64Call(long number)
{
#ifdef SYS_clock_nanosleep_time64
	if (number == SYS_clock_nanosleep_time64 || number == SYS_clock_gettime64)
		return true;
#endif
	(void)number;
	return false;
}

uint64_t NowUs()
{
	struct timespec ts;
	clock_gettime(CLOCK_MONOTONIC, &ts);
	return uint64_t(ts.tv_sec) * 1000000 + uint64_t(ts.tv_nsec) / 1000;
}

void OnAlarm(int) {}

}  // namespace

// Stands in for libc's syscall(), through which the binding makes the
// 64-bit-time calls; everything else goes to libc's.
extern "C" long syscall(long number, ...)
{
	va_list ap;
	va_start(ap, number);
	long a[6];
	for (long& x : a)
		x = va_arg(ap, long);
	va_end(ap);
	if (refuseWith != 0 && IsTime64Call(number)) {
		refused++;
		errno = refuseWith;
		return -1;
	}
	using Syscall = long (*)(long, ...);
	static Syscall real = reinterpret_cast<Syscall>(dlsym(RTLD_NEXT, "syscall"));
	return real(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}

// Each sleep lasts its time, a signal halfway through included, and the
// clock reads, whatever the 64-bit-time calls answer.
TEST(OsReal, RefusedTimeCallsFallBackToLibc)
{
	struct sigaction sa = {};
	sa.sa_handler = OnAlarm;	// no SA_RESTART: the signal cuts the sleep short
	sigaction(SIGALRM, &sa, nullptr);
	for (int error : {0, ENOSYS, EPERM, EACCES}) {
		refuseWith = error;
		struct itimerval alarm = {{0, 0}, {0, 20000}};
		setitimer(ITIMER_REAL, &alarm, nullptr);
		uint64_t before = NowUs();
		OsUsleep(50000);
		uint64_t slept = NowUs() - before;
		EXPECT_GE(slept, 50000u) << strerror(error);
		struct timespec ts = {};
		EXPECT_EQ(OsClockGetTime(CLOCK_MONOTONIC, &ts), 0) << strerror(error);
		EXPECT_GE(uint64_t(ts.tv_sec) * 1000000 + uint64_t(ts.tv_nsec) / 1000, before + 50000) << strerror(error);
	}
	signal(SIGALRM, SIG_DFL);
#ifdef SYS_clock_nanosleep_time64
	EXPECT_GE(refused, 6) << "the 64-bit-time calls were not made";
#endif
}
