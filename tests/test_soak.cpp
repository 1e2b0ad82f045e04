#include <gtest/gtest.h>

#include "sim/world/virtual_board.h"

namespace {

// Sixty virtual days, a gesture every hour: actions 1 to 7, every tenth a
// cancel by sixteen presses, every seventeenth no press. Twice a day the wall
// clock steps during a selection, a second after its last press, which
// ends the window at once; it passes 2^31 s (2038-01-19), and uptime passes
// 2^32 ms (49.7 days). Every gesture must still do what it asks.
TEST(Soak, SixtyVirtualDays)
{
	const uint64_t HOUR = 3600 * SEC;
	const int64_t Y2038 = int64_t(1) << 31;
	auto count = [](int g) { return g % 17 == 0 ? 0 : g % 10 == 0 ? 16 : g % 7 + 1; };
	std::vector<Press> presses;
	for (int g = 1; g < 60 * 24; g++) {
		// Found at +1 s, confirmed at +5 s, taps from +8 s a second apart.
		presses.push_back({g * HOUR + 500 * MS, g * HOUR + 5500 * MS});
		for (int i = 0; i < count(g); i++)
			presses.push_back(Tap(g * HOUR + 8 * SEC + uint64_t(i) * SEC));
	}
	BoardWorld b(presses, 0);
	world.wallBaseUs = (Y2038 - 30 * 86400) * int64_t(SEC);
	for (int g = 1; g < 60 * 24; g++) {
		b.RunUntil(g * HOUR);
		int n = count(g);
		int64_t step = g % 24 == 5 ? int64_t(3 * HOUR) : g % 24 == 17 ? -int64_t(2 * HOUR + 123 * MS) : 0;
		uint64_t stepAt = g * HOUR + 8 * SEC + uint64_t(n % 16) * SEC;
		if (step != 0)
			world.wallSteps = {{stepAt, step}};
		world.events.clear();
		b.RunUntil(g * HOUR + 40 * SEC);
		std::string verdict = n % 16 == 0 ? " No Command selected. Clearing."
				      : n > 6 ? "No command ro run: 7"
					      : "Running Command for Action " + std::to_string(n) + ".";
		ASSERT_EQ(world.Only(Event::LOG).back().text, verdict) << "gesture " << g;
		// The third line ends the window: after the hold's two.
		Event end = world.Only(Event::LOG).at(2);
		if (step != 0 && n != 16) {
			ASSERT_LT(end.us - stepAt, 100 * MS) << "gesture " << g << ": " << end.text;
		}
		ASSERT_EQ(world.Only(Event::SHELL).size(), n % 16 == 0 ? 2u : n > 6 ? 3u : 4u) << g;
	}
	EXPECT_GT(world.now, uint64_t(4294967296) * MS);
	EXPECT_GT(world.wallBaseUs + int64_t(world.now), Y2038 * int64_t(SEC));
}

}  // namespace
