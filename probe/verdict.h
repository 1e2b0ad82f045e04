// What the probe saw, press by press, and its verdict against what the
// daemon needs of the board.
#ifndef BUTTOND_PROBE_VERDICT_H
#define BUTTOND_PROBE_VERDICT_H

#include <stdio.h>

#include "probe/analysis.h"
#include "probe/record.h"

// The daemon's bound on a contact's chatter and on its own wake-ups.
constexpr uint64_t BOUND_US = 20000;

void PrintPresses(FILE* f, const Record& record, const Analysis& analysis);
// The exit status: every check passed, one failed, or none failed but one
// could not tell.
enum Status { PASS = 0, FAIL = 1, UNSURE = 3 };

// One line a check.
Status PrintVerdict(FILE* f, const Record& record, const Analysis& analysis, unsigned wanted,
		  uint64_t limitUs);
// The per-press table, a header line first.
void PrintCsv(FILE* f, const Analysis& analysis);

#endif
