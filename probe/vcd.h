// The samples as a Value Change Dump, as boardsim writes its trace: 1 µs
// ticks from the first sample, the UTC wall clock of it in $date, module
// board with the wires button_n (the pin, 0 while down) and latch (1 where
// a sample found it set; the probe cleared it then).
#ifndef BUTTOND_PROBE_VCD_H
#define BUTTOND_PROBE_VCD_H

#include <stdint.h>
#include <stdio.h>

#include "probe/record.h"

// Writes and closes f; false when that failed.
bool WriteVcd(FILE* f, const Record& record, int64_t wallZeroUs);

#endif
