// Watches the button's pin and latch, a sample every SAMPLE_US.
#ifndef BUTTOND_PROBE_SAMPLER_H
#define BUTTOND_PROBE_SAMPLER_H

#include <stdint.h>

#include "probe/record.h"

// Half the 0.5 ms the figures must hold to, so a late wake-up still keeps
// samples within it.
constexpr uint64_t SAMPLE_US = 250;

// Samples into a zeroed record until presses presses have settled or
// limitUs has passed, clearing the latch after each sample that found it
// set. Only the pages the record fills are touched.
void Watch(Record& record, unsigned presses, uint64_t limitUs);

#endif
