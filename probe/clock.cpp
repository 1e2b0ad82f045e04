#include "probe/clock.h"

#include <errno.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include "util/os.h"

uint64_t NowUs()
{
	struct timespec ts;
	OsClockGetTime(CLOCK_MONOTONIC, &ts);
	return uint64_t(ts.tv_sec) * 1000000 + uint64_t(ts.tv_nsec) / 1000;
}

// As the daemon's sleeps: the 64-bit-time call itself, since a board's
// kernel built for past 2038 has no other and glibc may take the old one;
// libc where the call is refused or unknown.
void SleepUntilUs(uint64_t atUs)
{
#ifdef SYS_clock_nanosleep_time64
	struct {
		int64_t sec, nsec;
	} at64 = {int64_t(atUs / 1000000), int64_t(atUs % 1000000) * 1000};
	long r;
	while ((r = syscall(SYS_clock_nanosleep_time64, CLOCK_MONOTONIC, TIMER_ABSTIME, &at64, nullptr)) != 0 &&
	       errno == EINTR) {
	}
	if (r == 0)
		return;
#endif
	struct timespec at = {time_t(atUs / 1000000), long(atUs % 1000000) * 1000};
	while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
	}
}
