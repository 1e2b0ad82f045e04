// The clock boardsim, its responder and its witness keep time by: the
// monotonic one, which a step of the wall clock does not move.
#ifndef BUTTOND_SIM_CLOCK_H
#define BUTTOND_SIM_CLOCK_H

#include <stdint.h>
#include <time.h>

inline uint64_t MonotonicUs()
{
	struct timespec ts;
	clock_gettime(CLOCK_MONOTONIC, &ts);
	return uint64_t(ts.tv_sec) * 1000000 + uint64_t(ts.tv_nsec) / 1000;
}

#endif
