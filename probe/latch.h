// The button's latch, read and cleared as the GPIO block answers.
#ifndef BUTTOND_PROBE_LATCH_H
#define BUTTOND_PROBE_LATCH_H

#include <stdint.h>

// Once, before the first sample.
void StartLatch();
// Reads the event word into word; when the button's bit is set, clears it
// and returns true. word keeps the other pins' bits as the block set them.
bool TakeLatch(uint64_t nowUs, uint32_t& word);

#endif
