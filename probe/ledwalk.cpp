#include "probe/ledwalk.h"

#include <stdio.h>

#include "board/leds.h"
#include "daemon/globals.h"
#include "probe/clock.h"

// LED 3 first, as a person reads a number.
static void Show(const char* what, uint32_t code, uint64_t stepUs)
{
	ShowLedPattern(code);
	char lit[5];
	for (int i = 0; i < 4; i++)
		lit[i] = (code >> (3 - i)) & 1 ? '#' : '.';
	lit[4] = '\0';
	printf("%-12s LEDs 3..0 %s (word 0x%08X)\n", what, lit, *ledRegister);
	fflush(stdout);
	SleepUntilUs(NowUs() + stepUs);
}

void WalkLeds(uint64_t stepUs)
{
	char what[16];
	for (unsigned i = 0; i < 4; i++) {
		snprintf(what, sizeof what, "LED %u alone", i);
		Show(what, 1u << i, stepUs);
	}
	for (unsigned n = 1; n <= 15; n++) {
		snprintf(what, sizeof what, "count %u", n);
		Show(what, n, stepUs);
	}
}
