#include <gtest/gtest.h>

#include "board/leds.h"
#include "daemon/globals.h"
#include "sim/world/fake_os.h"

namespace {

// The LED word before the call, then every word written, with the virtual
// millisecond at which each was seen.
std::vector<std::pair<uint64_t, uint32_t>> Show(uint32_t before, uint32_t code)
{
	static uint32_t led;
	led = before;
	ledRegister = &led;
	world.Reset();
	world.led = &led;
	world.ObserveLed();
	ShowLedPattern(code);
	world.ObserveLed();
	std::vector<std::pair<uint64_t, uint32_t>> seen;
	for (const Event& c : world.Only(Event::LED))
		seen.push_back({c.us / 1000, c.word});
	return seen;
}

using Seen = std::vector<std::pair<uint64_t, uint32_t>>;

// Counts show at once; codes 17, 19 and up touch nothing.
TEST(Leds, CountsAndUnknownCodes)
{
	struct Case {
		uint32_t before, code, after;
	} cases[] = {
		{0xFFFFFFFF, 5, 0xFFFFFFFA},
		{0x00000000, 0, 0xFFFFFFFF},
		{0xFFFFFFFF, 15, 0xFFFFFFF0},
		{0x0000FFFA, 17, 0x0000FFFA},
		{0x0000FFFA, 19, 0x0000FFFA},
		{0x0000FFFA, 0xFFFFFFFF, 0x0000FFFA},
	};
	for (const Case& c : cases) {
		Seen expect = {{0, c.before}};
		if (c.after != c.before)
			expect.push_back({0, c.after});
		EXPECT_EQ(Show(c.before, c.code), expect) << c.code;
		EXPECT_EQ(world.now, 0u);
	}
	BlinkLeds(0, 3);
	EXPECT_EQ(*ledRegister, 0x0000FFFAu);
}

TEST(Leds, BlinksTakeTwoSecondsAndEndLit)
{
	Seen all;
	Seen five;
	Seen dark;
	for (uint64_t t = 0; t < 2000; t += 500) {
		all.push_back({t, 0xFFFFFFFF});
		all.push_back({t + 250, 0xFFFFFFF0});
		five.push_back({t, 0xFFFFFFFF});
		five.push_back({t + 250, 0xFFFFFFFA});
	}
	dark.push_back({0, 0xFFFFFFFF});
	Seen got = Show(0x12345678, LED_BLINK_ALL);
	EXPECT_EQ(Seen(got.begin() + 1, got.end()), all);
	got = Show(0xFFFFFFFA, LED_BLINK_SHOWN);
	EXPECT_EQ(Seen(got.begin() + 1, got.end()), five);
	EXPECT_EQ(world.now, 2000000u);
	EXPECT_EQ(Show(0xFFFFFFFF, LED_BLINK_SHOWN), dark);
	EXPECT_EQ(world.now, 2000000u);
}

}  // namespace
