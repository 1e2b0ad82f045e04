// The LED check: a person watches each LED light alone, then the count.
#ifndef BUTTOND_PROBE_LEDWALK_H
#define BUTTOND_PROBE_LEDWALK_H

#include <stdint.h>

void WalkLeds(uint64_t stepUs);

#endif
