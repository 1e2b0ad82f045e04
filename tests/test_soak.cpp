#include <gtest/gtest.h>

#include <dirent.h>
#include <malloc.h>

#include "sim/world/virtual_board.h"

namespace {

int OpenDescriptors()
{
	int n = 0;
	DIR* d = opendir("/proc/self/fd");
	while (d != nullptr && readdir(d) != nullptr)
		n++;
	if (d != nullptr)
		closedir(d);
	return n;
}

// What one selection of n presses must log after the hold is confirmed.
std::vector<std::string> Outcome(int n)
{
	if (n == 0 || n >= 16)
		return {" No Command selected. Clearing."};
	std::vector<std::string> lines = {"Running Command for Action " + std::to_string(n) + "."};
	if (n > 6)
		lines.push_back("No command ro run: " + std::to_string(n));
	return lines;
}

// Sixty virtual days of idle polling with a gesture every hour: actions
// cycling 1 to 7, every tenth a cancel by sixteen presses and every
// seventeenth no press at all; the wall clock steps while idle and passes
// 2^31 seconds (2038-01-19), and uptime passes 2^32 ms (49.7 days). Every gesture must do exactly what it asks,
// and the process must hold no more memory or descriptors at the end than
// after the first day.
TEST(Soak, SixtyVirtualDays)
{
	const uint64_t HOUR = 3600 * SEC;
	const int DAYS = 60, GESTURES = DAYS * 24 - 1;
	std::vector<Press> presses;
	std::vector<int> counts;
	for (int g = 0; g < GESTURES; g++) {
		uint64_t t = uint64_t(g + 1) * HOUR;
		int n = g % 17 == 16 ? 0 : g % 10 == 9 ? 16 : g % 7 + 1;
		counts.push_back(n);
		// Held 5.5 s; the idle poll at t + 1 s finds it, selection opens
		// at t + 7 s, taps from t + 8 s one second apart.
		presses.push_back({t + 500 * MS, t + 5500 * MS});
		for (int i = 0; i < n; i++)
			presses.push_back(Tap(t + 8 * SEC + uint64_t(i) * SEC));
	}
	BoardWorld b(presses, 0);
	const int64_t Y2038 = int64_t(1) << 31;
	world.wallBaseUs = (Y2038 - 30 * 86400) * int64_t(SEC);
	world.events.reserve(64);

	size_t heapAfterDayOne = 0;
	int fdsAfterDayOne = 0;
	for (int g = 0; g < GESTURES; g++) {
		uint64_t t = uint64_t(g + 1) * HOUR;
		if (g == 24) {
			world.events.clear();
			heapAfterDayOne = mallinfo2().uordblks;
			fdsAfterDayOne = OpenDescriptors();
		}
		b.RunUntil(t);
		if (g % 24 == 5)
			world.wallBaseUs += 3 * 3600 * SEC;	// a step forward
		if (g % 24 == 17)
			world.wallBaseUs -= 2 * 3600 * SEC + 123 * MS;	// and back
		world.events.clear();
		b.RunUntil(t + 40 * SEC);

		std::vector<std::string> logs;
		for (const Event& e : world.Only(Event::LOG))
			logs.push_back(e.text);
		std::vector<std::string> expect = {"Start of button hold...",
						   " Button was held for 4 SEC..."};
		for (const std::string& l : Outcome(counts[g]))
			expect.push_back(l);
		ASSERT_EQ(logs, expect) << "gesture " << g << " of " << counts[g];
		size_t shell = world.Only(Event::SHELL).size();
		size_t expectShell = counts[g] % 16 == 0 ? 2 : counts[g] > 6 ? 3 : 4;
		ASSERT_EQ(shell, expectShell) << "gesture " << g;
	}
	world.events.clear();
	EXPECT_GT(world.now, uint64_t(4294967296) * MS);
	EXPECT_GT(world.wallBaseUs + int64_t(world.now), Y2038 * int64_t(SEC));
	EXPECT_EQ(mallinfo2().uordblks, heapAfterDayOne);
	EXPECT_EQ(OpenDescriptors(), fdsAfterDayOne);
}

}  // namespace
