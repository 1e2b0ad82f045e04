// Whether buttond, or another probe, is at the button: both clear the same
// latch, so each would take the other's presses.
#ifndef BUTTOND_PROBE_GUARD_H
#define BUTTOND_PROBE_GUARD_H

#include <stddef.h>
#include <stdint.h>

// Writes what holds the button into why and returns true, or returns false
// when nothing does.
bool ButtonTaken(char* why, size_t size);

#endif
