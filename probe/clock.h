// The probe's monotonic clock and its sleeps to a moment on it.
#ifndef BUTTOND_PROBE_CLOCK_H
#define BUTTOND_PROBE_CLOCK_H

#include <stdint.h>

uint64_t NowUs();
// Sleeps until the monotonic clock reads atUs, a signal notwithstanding.
void SleepUntilUs(uint64_t atUs);

#endif
