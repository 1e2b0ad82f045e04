#include <gtest/gtest.h>

#include <malloc.h>
#include <unistd.h>

#include "sim/world/virtual_board.h"

namespace {

int LowestFreeDescriptor()
{
	int fd = dup(0);
	close(fd);
	return fd;
}

// Presses of the hourly gesture g: actions cycling 1 to 7, every tenth a
// cancel by sixteen presses and every seventeenth no press at all.
int Count(int g) { return g % 17 == 0 ? 0 : g % 10 == 0 ? 16 : g % 7 + 1; }

// Sixty virtual days of idle polling with a gesture every hour. The wall
// clock steps while idle and passes 2^31 seconds (2038-01-19); uptime
// passes 2^32 ms (49.7 days). Every gesture must do what it asks, and the
// process must hold no more memory or descriptors at the end than after
// the first day.
TEST(Soak, SixtyVirtualDays)
{
	const uint64_t HOUR = 3600 * SEC;
	const int GESTURES = 60 * 24 - 1;
	const int64_t Y2038 = int64_t(1) << 31;
	std::vector<Press> presses;
	for (int g = 1; g <= GESTURES; g++) {
		// Found by the idle poll at +1 s, confirmed at +5 s, selection
		// open from +7 s, taps from +8 s one second apart.
		presses.push_back({g * HOUR + 500 * MS, g * HOUR + 5500 * MS});
		for (int i = 0; i < Count(g); i++)
			presses.push_back(Tap(g * HOUR + 8 * SEC + uint64_t(i) * SEC));
	}
	BoardWorld b(presses, 0);
	world.wallBaseUs = (Y2038 - 30 * 86400) * int64_t(SEC);
	world.events.reserve(64);
	size_t heap = 0;
	int fd = 0;
	for (int g = 1; g <= GESTURES; g++) {
		b.RunUntil(g * HOUR);
		if (g % 24 == 5)
			world.wallBaseUs += 3 * HOUR;	// a step forward
		if (g % 24 == 17)
			world.wallBaseUs -= 2 * HOUR + 123 * MS;	// and back
		world.events.clear();
		if (g == 25)
			heap = mallinfo2().uordblks, fd = LowestFreeDescriptor();
		b.RunUntil(g * HOUR + 40 * SEC);
		int n = Count(g);
		std::string verdict = n % 16 == 0 ? " No Command selected. Clearing."
				      : n > 6 ? "No command ro run: 7"
					      : "Running Command for Action " + std::to_string(n) + ".";
		ASSERT_EQ(world.Only(Event::LOG).back().text, verdict) << "gesture " << g;
		ASSERT_EQ(world.Only(Event::SHELL).size(), n % 16 == 0 ? 2u : n > 6 ? 3u : 4u) << g;
	}
	world.events.clear();
	EXPECT_GT(world.now, uint64_t(4294967296) * MS);
	EXPECT_GT(world.wallBaseUs + int64_t(world.now), Y2038 * int64_t(SEC));
	EXPECT_EQ(mallinfo2().uordblks, heap);
	EXPECT_EQ(LowestFreeDescriptor(), fd);
}

}  // namespace
