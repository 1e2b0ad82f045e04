#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#include <random>

#include "sim/world/virtual_board.h"
#include "tests/outcome.h"

namespace {

// What the count's proof (tests/test_count.cpp) leaves to sampling: whole
// gestures through the main loop as a smoke check, the wall clock stepping
// meanwhile, and wake-ups later than the proof's bound.
//
// The up-time between presses once the contact has settled that the proof
// holds to for wake-ups up to 2 ms late (an idle board) or 20 ms (a busy
// one), the man page's.
const uint64_t UP_IDLE = 105 * MS, UP_BUSY = 145 * MS;

// A person selecting an action: the hold found at the idle poll of 1 s and
// let go from the middle of the blink to three seconds into the selection
// (at 7 s), then N presses. Between presses the button is up from the
// up-time to a second once settled, half the time close to the up-time;
// each press is held 30 ms to 2 s and let go within 4.8 s of the release
// before. Every edge chatters for 0 to 20 ms, a quarter of them clean.
std::vector<Press> Gesture(std::mt19937& rng, unsigned n, uint64_t up, uint64_t dark)
{
	auto ms = [&](uint64_t lo, uint64_t hi) { return std::uniform_int_distribution<uint64_t>(lo, hi)(rng) * MS; };
	auto bounce = [&] { return rng() % 4 ? ms(0, 20) : 0; };
	std::vector<Press> out = {{ms(0, 999), ms(6000, 10000), 0, bounce()}};
	for (unsigned i = 0; i < n; i++) {
		uint64_t released = out.back().upUs, settled = released + out.back().upBounceUs;
		uint64_t down = settled + (rng() % 2 ? up + ms(0, 30) : std::max(up, ms(0, 1000)));
		down = i == 0 ? std::max(down, dark + ms(1, 600)) : down;	// after the LEDs go dark
		unsigned kind = unsigned(rng() % 10);	// a quick tap, a press, a long one
		uint64_t held = kind < 3 ? ms(30, 60) : kind < 9 ? ms(30, 400) : ms(400, 2000);
		// The window opens at 7 s, and again at each count.
		out.push_back({down, std::min(down + held, (i == 0 ? 7000 * MS : released) + 4800 * MS), bounce(), bounce()});
	}
	return out;
}

// How late the selection's wake-ups come: every short sleep alike, with the
// figures above; or each 0 to a maximum drawn per case, where no press may
// count more than made.
struct Lateness {
	const char* what;
	uint64_t fixed, upToMax, up;
};
const Lateness LATENESS[] = {
	{"on time", 0, 0, UP_IDLE},		{"1 ms late", 1 * MS, 0, UP_IDLE},
	{"2 ms late", 2 * MS, 0, UP_IDLE},	{"5 ms late", 5 * MS, 0, UP_BUSY},
	{"10 ms late", 10 * MS, 0, UP_BUSY},	{"20 ms late", 20 * MS, 0, UP_BUSY},
	{"0 to 300 ms late at random", 0, 300 * MS, UP_IDLE},
};

// N presses run action N, and sixteen cancel; any latch edge and debug
// level. On time, one case in four plays again with the wall clock
// stepping at any moment of the selection, forward by 5 s to 63 years or
// back by 1 s to a day: everything must happen as it did, at the same
// times. BUTTOND_PEOPLE=N plays N cases of each lateness; BUTTOND_SEED=N
// replays case N.
TEST(Person, NPressesRunActionN)
{
	const char* replay = getenv("BUTTOND_SEED");
	const char* people = getenv("BUTTOND_PEOPLE");
	unsigned first = replay ? unsigned(atoi(replay)) : 1;
	unsigned last = replay ? first : people ? unsigned(atoi(people)) : 200;
	for (const Lateness& l : LATENESS)
		for (unsigned seed = first; seed <= last; seed++) {
			std::mt19937 rng(seed);
			unsigned n = 1 + unsigned(rng() % 16);
			int debug = int(rng() % 3);
			LatchEdge edge = LatchEdge(rng() % 3);
			const uint64_t maxima[] = {1 * MS, 5 * MS, 20 * MS, 50 * MS, l.upToMax};
			uint64_t most = l.upToMax ? maxima[rng() % 5] : 0;
			// The blink's last settle time ends late too: the LEDs go dark then.
			std::vector<Press> gesture = Gesture(rng, n, l.up, 7 * SEC + l.fixed);
			uint64_t end = gesture.back().upUs + 10 * SEC;
			BoardWorld b(gesture, debug, edge, seed);
			// The short sleeps are the selection's: its polls and settles.
			std::string story;	// the presses and the late wake-ups
			for (const Press& p : gesture)
				story += "down " + std::to_string(p.downUs / 1e6) + " s, chatter " + std::to_string(p.downBounceUs / 1e3) +
					 " ms; up " + std::to_string(p.upUs / 1e6) + " s, chatter " + std::to_string(p.upBounceUs / 1e3) + " ms\n";
			world.late = [&](uint64_t us) {
				uint64_t by = us >= 100 * MS ? 0 : most ? std::uniform_int_distribution<uint64_t>(0, most)(rng) : l.fixed;
				if (most != 0 && by != 0)
					story += "woke " + std::to_string(by / 1e3) + " ms late at " + std::to_string((world.now + us + by) / 1e6) + " s\n";
				return by;
			};
			b.RunUntil(end);
			auto what = [&] {
				return "BUTTOND_SEED=" + std::to_string(seed) + ", " + l.what + ": " + std::to_string(n) +
				       " presses, latch edge " + std::to_string(int(edge)) + "\n" + story + Timeline();
			};
			std::vector<std::string> verdicts = Verdicts();
			ASSERT_FALSE(verdicts.empty()) << what();
			if (most != 0) {
				// Fewer is allowed; the LEDs count 1, 2, ... to what runs.
				unsigned k = unsigned(Counts(7 * SEC, verdicts[0]).size()) - 1;
				ASSERT_LE(k, n) << what() << ": counted more than pressed";
				ASSERT_EQ(Counts(7 * SEC, verdicts[0]), CountsOf(k)) << what();
				ASSERT_EQ(verdicts[0], Verdict(k)) << what();
				continue;
			}
			std::string verdict = Verdict(n);
			ASSERT_EQ(verdicts, std::vector<std::string>{verdict}) << what();
			ASSERT_EQ(Counts(7 * SEC, verdict), CountsOf(n)) << what();
			if (l.fixed != 0 || seed % 4 != 0)
				continue;

			std::string unstepped = Timeline();
			uint64_t at = std::uniform_int_distribution<uint64_t>(7 * SEC, Logged(verdict))(rng);
			int64_t step = rng() % 2 ? int64_t(std::uniform_int_distribution<uint64_t>(5 * SEC, 63 * 365 * 86400 * SEC)(rng))
						 : -int64_t(std::uniform_int_distribution<uint64_t>(1 * SEC, 86400 * SEC)(rng));
			BoardWorld again(gesture, debug, edge, seed);
			world.wallSteps = {{at, step}};
			again.RunUntil(end);
			ASSERT_EQ(Timeline(), unstepped) << what() << ", the wall clock stepped by " << step << " us at " << at;
		}
}

// A quick person on a busy board: after the first tap they press again
// the moment the LEDs show its count, as boardsim's count word does, while
// every short sleep of the selection ends late, as on a CPU that other
// work keeps busy. A whole press may come and go while the daemon sleeps
// after a count, or be made between two register accesses; the latch
// keeps it, and it must count.
TEST(Person, QuickPressesCountOnABusyCpu)
{
	const uint64_t selection = 7 * SEC;	// the hold is confirmed at 5 s, the blink takes 2 s
	for (uint64_t late : {0, 5, 15, 40, 100, 150, 300})
		for (uint64_t hold : {30, 60, 150, 400})
			for (uint64_t reaction : {0, 5, 20})
				for (LatchEdge edge : {LatchEdge::Press, LatchEdge::Release, LatchEdge::Both})
					for (unsigned n : {4u, 16u}) {
						// The hold let go in the blink; the first tap well
						// after the loop has found it over, however late.
						BoardWorld b({{500 * MS, 6 * SEC}, Tap(selection + SEC, hold)}, 0, edge);
						// They look at the LEDs whenever the contact could
						// move: at each wake-up and each register access.
						unsigned made = 1;
						world.afterSleep = [&](uint64_t from, uint64_t to) {
							if (made < n && (~b.led & 0xF) == made % 16 && from > selection + SEC)
								b.script.Add(Tap(from + reaction * MS, hold)), made++;
							b.script.Advance(from, to);
						};
						world.beforeAccess = [&](int32_t, bool) { world.afterSleep(world.now, world.now); };
						world.late = [&](uint64_t us) { return world.now >= selection && us < 100 * MS ? late * MS : 0; };
						b.RunUntil(40 * SEC);
						std::string verdict = Verdict(n);
						ASSERT_EQ(Verdicts(), std::vector<std::string>{verdict})
						    << n << " presses held " << hold << " ms, each " << reaction
						    << " ms after its count showed, sleeps " << late << " ms late, latch edge "
						    << int(edge);
						ASSERT_EQ(Counts(selection, verdict), CountsOf(n));
					}
}

}  // namespace
