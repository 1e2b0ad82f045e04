#include "board/leds.h"

#include "daemon/globals.h"
#include "util/os.h"

// The LED word is active-low: a 0 bit lights its LED, all ones is dark.
static const uint32_t LEDS_DARK = 0xFFFFFFFF;
static const unsigned BLINK_HALF_PERIOD_US = 250000;

void ShowLedPattern(uint32_t code)
{
	if (code <= 15) {
		*ledRegister = ~code;
	} else if (code == LED_BLINK_ALL) {
		BlinkLeds(4, 15);
	} else if (code == LED_BLINK_SHOWN) {
		// No copy is kept of what is shown: the word itself is the state.
		BlinkLeds(4, ~*ledRegister);
	}
}

void BlinkLeds(uint32_t times, uint32_t pattern, void (*lastLit)(unsigned us))
{
	for (uint32_t i = 0; i < times; i++) {
		*ledRegister = LEDS_DARK;
		OsUsleep(BLINK_HALF_PERIOD_US);
		*ledRegister = ~pattern;
		if (lastLit != nullptr && i + 1 == times)
			lastLit(BLINK_HALF_PERIOD_US);
		else
			OsUsleep(BLINK_HALF_PERIOD_US);
	}
}
