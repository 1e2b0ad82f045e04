// The board's LEDs: a count in base 2 and blink patterns.
#ifndef BUTTOND_BOARD_LEDS_H
#define BUTTOND_BOARD_LEDS_H

#include <stdint.h>

// Codes for ShowLedPattern beyond the counts 0 to 15.
constexpr uint32_t LED_BLINK_ALL = 16;		// blink the four count LEDs
constexpr uint32_t LED_BLINK_SHOWN = 18;	// blink what is lit now

void ShowLedPattern(uint32_t code);
// With lastLit, the last lit half period is lastLit(its length)'s to spend
// instead of a sleep: the display changes only once it returns.
void BlinkLeds(uint32_t times, uint32_t pattern, void (*lastLit)(unsigned us) = nullptr);

#endif
