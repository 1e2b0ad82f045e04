#include <gtest/gtest.h>

#include "sim/world/virtual_board.h"
#include "tests/outcome.h"

namespace {

// Sixty virtual days, a gesture every hour: actions 1 to 7, every tenth a
// cancel by sixteen presses, every seventeenth no press. Twice a day the
// wall clock steps during a selection, a second after its last press. The
// monotonic clock passes 2^31 s, where a stamp's 32-bit seconds wrap, and
// its milliseconds pass multiples of 2^32. Every gesture must still do
// what it asks, its window closing five seconds after its last count (or
// at once, for the sixteenth press).
TEST(Soak, SixtyVirtualDays)
{
	const uint64_t HOUR = 3600 * SEC;
	auto count = [](int g) { return g % 17 == 0 ? 0 : g % 10 == 0 ? 16 : g % 7 + 1; };
	std::vector<Press> presses;
	for (int g = 1; g < 60 * 24; g++) {
		// Found at +1 s, confirmed at +5 s, taps from +8 s a second apart.
		presses.push_back({g * HOUR + 500 * MS, g * HOUR + 5500 * MS});
		for (int i = 0; i < count(g); i++)
			presses.push_back(Tap(g * HOUR + 8 * SEC + uint64_t(i) * SEC));
	}
	BoardWorld b(presses, 0);
	world.monoBaseUs = ((1ULL << 31) - 30 * 86400) * SEC;
	for (int g = 1; g < 60 * 24; g++) {
		b.RunUntil(g * HOUR);
		int n = count(g);
		int64_t step = g % 24 == 5 ? int64_t(3 * HOUR) : g % 24 == 17 ? -int64_t(2 * HOUR + 123 * MS) : 0;
		if (step != 0)
			world.wallSteps = {{g * HOUR + 8 * SEC + uint64_t(n % 16) * SEC, step}};
		world.events.clear();
		b.RunUntil(g * HOUR + 40 * SEC);
		std::string verdict = n == 7 ? "No command ro run: 7" : Verdict(n);
		ASSERT_EQ(world.Only(Event::LOG).back().text, verdict) << "gesture " << g;
		ASSERT_EQ(world.Only(Event::SHELL).size(), n % 16 == 0 ? 2u : n > 6 ? 3u : 4u) << g;
		// The third line ends the window, after the hold's two; the LEDs
		// last changed before it for the last count, or the selection.
		uint64_t shown = 0, end = 0;
		for (size_t i = 0, logs = 0; logs < 3; i++) {
			const Event& e = world.events.at(i);
			logs += e.kind == Event::LOG;
			shown = e.kind == Event::LED ? e.us : shown;
			end = e.us;
		}
		uint64_t window = (end - shown) / MS;
		if (n == 16)
			ASSERT_EQ(window, 0u) << "gesture " << g;
		else
			ASSERT_TRUE(window >= 5000 && window <= 5100) << "gesture " << g << ": " << window << " ms";
	}
}

}  // namespace
