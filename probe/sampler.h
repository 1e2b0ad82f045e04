// Watches the button's pin and latch, a sample every SAMPLE_US.
#ifndef BUTTOND_PROBE_SAMPLER_H
#define BUTTOND_PROBE_SAMPLER_H

#include <signal.h>
#include <stdint.h>

#include "probe/record.h"

// Half the 0.5 ms the figures must hold to, so a late wake-up still keeps
// samples within it.
constexpr uint64_t SAMPLE_US = 250;

// Set by a signal: the run stops at the next sample.
extern volatile sig_atomic_t stopSignal;

// Samples into a zeroed record until presses presses have settled or
// limitUs has passed, clearing the latch after each sample that found it
// set, and says each press as it comes. Only the pages the record fills
// are touched.
void Watch(Record& record, unsigned presses, uint64_t limitUs);

// Sleeps as the daemon sleeps, SETTLE and POLL alike, and how late each
// woke; a signal ends them.
void MeasureSleeps(Record& record);

#endif
