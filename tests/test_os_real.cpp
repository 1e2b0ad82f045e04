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
#include <poll.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <syslog.h>
#include <time.h>

#include <string>

#include "select/timer.h"
#include "util/os.h"

namespace {

int refuseWith;	// what the 64-bit-time calls answer; 0 lets them through
int refused;
// What libc's own time calls answer, as an old kernel's 32-bit-time calls
// do, or a filter: 0 lets them through.
int libcSleepsRefused, pollRefused;
int clockOutage;	// clock readings still to refuse, libc's included
int sleepCalls;		// libc's clock_nanosleep and poll, made

template <typename F>
F Real(const char* name)
{
	return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

uint64_t CpuUs()
{
	struct rusage r;
	getrusage(RUSAGE_SELF, &r);
	return uint64_t(r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1000000 + r.ru_utime.tv_usec +
	       r.ru_stime.tv_usec;
}

bool IsRefused(long number)
{
#ifdef SYS_clock_nanosleep_time64
	if (number == SYS_clock_nanosleep_time64)
		return refuseWith != 0;
	if (number == SYS_clock_gettime64)
		return refuseWith != 0 || clockOutage > 0;
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
	if (IsRefused(number)) {
		refused++;
		errno = refuseWith ? refuseWith : ENOSYS;
		return -1;
	}
	if (number == SYS_poll)	// the board's binding makes it here
		return poll(nullptr, 0, int(a[2]));
	using Syscall = long (*)(long, ...);
	static Syscall real = reinterpret_cast<Syscall>(dlsym(RTLD_NEXT, "syscall"));
	return real(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}

// libc's clock and sleeps as the binding reaches them, each refused on
// demand. With 64-bit time on a 32-bit ABI they are the time64 symbols.
#ifdef __USE_TIME_BITS64
#define TIME64_NAME(plain, time64) time64
#else
#define TIME64_NAME(plain, time64) plain
#endif

extern "C" int clock_nanosleep(clockid_t clock, int flags, const struct timespec* t, struct timespec* left)
{
	sleepCalls++;
	if (libcSleepsRefused != 0)
		return libcSleepsRefused;
	using F = int (*)(clockid_t, int, const struct timespec*, struct timespec*);
	static F real = Real<F>(TIME64_NAME("clock_nanosleep", "__clock_nanosleep_time64"));
	return real(clock, flags, t, left);
}

extern "C" int poll(struct pollfd* fds, nfds_t n, int ms)
{
	sleepCalls++;
	if (pollRefused != 0) {
		errno = pollRefused;
		return -1;
	}
	using F = int (*)(struct pollfd*, nfds_t, int);
	static F real = Real<F>("poll");
	return real(fds, n, ms);
}

extern "C" int clock_gettime(clockid_t clock, struct timespec* ts) noexcept
{
	if (clockOutage > 0) {
		clockOutage--;
		errno = ENOSYS;
		return -1;
	}
	using F = int (*)(clockid_t, struct timespec*);
	static F real = Real<F>(TIME64_NAME("clock_gettime", "__clock_gettime64"));
	return real(clock, ts);
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

// An OS that refuses the calls costs no CPU: a sleep whose libc call fails
// too still lasts its time, one call each; one that nothing can make is
// told once, not twice; a clock that fails is waited out a poll at a time,
// and told once.
TEST(OsReal, RefusedCallsDoNotSpin)
{
	OsOpenlog("os_tests", LOG_PERROR, LOG_USER);
	testing::internal::CaptureStderr();
	refuseWith = ENOSYS;
	libcSleepsRefused = ENOSYS;
	uint64_t before = NowUs(), cpu = CpuUs();
	sleepCalls = 0;
	EXPECT_EQ(OsUsleep(300000), 0);
	EXPECT_GE(NowUs() - before, 300000u);
	EXPECT_EQ(sleepCalls, 2) << "libc's sleep, then poll";
	pollRefused = EPERM;
	EXPECT_EQ(OsUsleep(300000), -1);
	EXPECT_EQ(OsSleep(1), -1);
	EXPECT_EQ(errno, EPERM);
	refuseWith = libcSleepsRefused = pollRefused = 0;

	before = NowUs();
	clockOutage = 4;
	struct timespec ts;
	ReadMonotonicClock(ts);
	EXPECT_EQ(clockOutage, 0);
	EXPECT_GE(uint64_t(ts.tv_sec) * 1000000 + uint64_t(ts.tv_nsec) / 1000, before + 4 * 80000);
	EXPECT_LT(CpuUs() - cpu, 50000u) << "CPU time over 0.6 s of refused sleeps and clock readings";
	std::string told = testing::internal::GetCapturedStderr();
	EXPECT_EQ(told, "os_tests: Sleep failed: Operation not permitted\nos_tests: Clock read failed: Function not implemented\n");
}
