#include <gtest/gtest.h>

#include "board/leds.h"
#include "daemon/globals.h"
#include "sim/world/fake_os.h"

namespace {

using Seen = std::vector<std::pair<uint64_t, uint32_t>>;

// Every LED word written after the one before the call, with the virtual
// millisecond at which each was seen.
Seen Show(uint32_t before, uint32_t code)
{
	static uint32_t led;
	led = before;
	ledRegister = &led;
	world.Reset();
	world.led = &led;
	world.seenLed = true, world.lastLed = before;
	ShowLedPattern(code);
	world.ObserveLed();
	Seen seen;
	for (const Event& e : world.events)
		seen.push_back({e.us / 1000, e.word});
	return seen;
}

// Four blinks of a pattern: dark, then lit, a quarter second each.
Seen Blinks(uint32_t lit)
{
	Seen s;
	for (uint64_t t = 0; t < 2000; t += 500)
		s.insert(s.end(), {{t, 0xFFFFFFFF}, {t + 250, lit}});
	return s;
}

TEST(Leds, CountsBlinksAndUnknownCodes)
{
	struct Case {
		uint32_t before, code;
		Seen after;
	} cases[] = {
		{0xFFFFFFFF, 5, {{0, 0xFFFFFFFA}}},	// counts show at once
		{0x00000000, 0, {{0, 0xFFFFFFFF}}},
		{0xFFFFFFFF, 15, {{0, 0xFFFFFFF0}}},
		{0x0000FFFA, 17, {}},		// 17, 19 and up touch nothing
		{0x0000FFFA, 19, {}},
		{0x12345678, LED_BLINK_ALL, Blinks(0xFFFFFFF0)},
		{0xFFFFFFFA, LED_BLINK_SHOWN, Blinks(0xFFFFFFFA)},
		{0xFFFFFFFF, LED_BLINK_SHOWN, {}},	// dark / dark, for two seconds
	};
	for (const Case& c : cases) {
		EXPECT_EQ(Show(c.before, c.code), c.after) << c.code;
		EXPECT_EQ(world.now, c.code == 16 || c.code == 18 ? 2000000u : 0u) << c.code;
	}
	BlinkLeds(0, 3);
	EXPECT_EQ(*ledRegister, 0xFFFFFFFFu);
}

}  // namespace
