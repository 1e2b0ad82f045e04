// The board's LEDs: a count in base 2 and blink patterns.
#ifndef BUTTOND_BOARD_LEDS_H
#define BUTTOND_BOARD_LEDS_H

#include <stdint.h>

// Codes for ShowLedPattern beyond the counts 0 to 15.
constexpr uint32_t LED_BLINK_ALL = 16;		// blink the four count LEDs
constexpr uint32_t LED_BLINK_SHOWN = 18;	// blink what is lit now

void ShowLedPattern(uint32_t code);
void BlinkLeds(uint32_t times, uint32_t pattern);

#endif
