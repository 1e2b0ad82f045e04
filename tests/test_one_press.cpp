#include <gtest/gtest.h>

#include <stdio.h>

#include "sim/world/virtual_board.h"
#include "tests/outcome.h"

namespace {

// Every way one press can fall against the daemon's readings. Its chatter
// windows last the whole 20 ms a contact may take; inside one the level is
// free: wherever the daemon reads inside it, it may read either way, and
// between two readings the pin may have toggled both ways, latching
// either edge. A depth-first walk over those choices replays the run
// once for each.
class Walk {
public:
	// The option to take at this point of the run, 0 the first time.
	int Choose(int options)
	{
		if (at == path.size())
			path.push_back({0, options});
		return path[at++].first;
	}
	// The next run's choices; false once every run has been played.
	bool Next()
	{
		at = 0;
		while (!path.empty() && path.back().first + 1 == path.back().second)
			path.pop_back();
		if (path.empty())
			return false;
		path.back().first++;
		return true;
	}

private:
	std::vector<std::pair<int, int>> path;	// taken, of how many
	size_t at = 0;
};

const uint64_t CHATTER = 20 * MS;

struct Move {
	uint64_t at;
	bool down;
	bool chatters;
};

// The pin behind the daemon's readings, moved between two of them.
struct FreeContact {
	SimButton& pin;
	std::vector<Move> moves;	// in order, at least CHATTER apart
	Walk& walk;

	bool FingerAt(uint64_t t) const
	{
		bool down = false;
		for (const Move& m : moves)
			if (m.at <= t)
				down = m.down;
		return down;
	}

	void Advance(uint64_t from, uint64_t to)
	{
		pin.Service();	// a clear written at from comes first
		bool chattered = false, free = false;
		for (const Move& m : moves) {
			uint64_t end = m.at + (m.chatters ? CHATTER : 0);
			if (m.at > from && m.at <= to)
				pin.SetDown(m.down);	// a move toggles at once
			if (end > from && end <= to)
				pin.SetDown(m.down);	// and settles where the finger went
			chattered |= m.chatters && m.at < to && end > from;
			free |= m.at <= to && to < end;
		}
		if (chattered && walk.Choose(2)) {	// toggled both ways meanwhile
			pin.SetDown(!pin.IsDown());
			pin.SetDown(!pin.IsDown());
		}
		bool finger = FingerAt(to);
		pin.SetDown(free && walk.Choose(2) ? !finger : finger);
	}
};

struct Timing {
	uint64_t release;	// the hold's release
	uint64_t down, up;	// the press
};

// Plays the hold and the one press through every choice; the first run
// that does not run action 1 is told.
std::string EveryRun(const Timing& t, LatchEdge edge)
{
	Walk walk;
	do {
		BoardWorld b({}, 0, edge);
		FreeContact contact{b.button,
				    {{400 * MS, true, false}, {t.release, false, true}, {t.down, true, true},
				     {t.up, false, true}},
				    walk};
		world.afterSleep = [&](uint64_t from, uint64_t to) { contact.Advance(from, to); };
		while (Verdicts().empty() && world.now < 30 * SEC)
			MainLoopIteration();
		if (Verdicts() != std::vector<std::string>{Verdict(1)}) {
			char what[160];
			snprintf(what, sizeof what, "latch edge %d, hold let go at %.0f ms, pressed %.0f to %.0f ms: ",
				 int(edge), t.release / 1e3, t.down / 1e3, t.up / 1e3);
			return what + (Verdicts().empty() ? "no verdict" : Verdicts()[0]);
		}
	} while (walk.Next());
	return "";
}

// The hold is found at the idle poll of 1 s, confirmed at 5 s; the LEDs
// blink until 7 s, when the selection begins. The daemon reads the button
// only on a 20 ms grid from then on (its polls every 80 ms, a reading 20 ms
// after any that finds it up), so a move either falls on a grid point or
// between two, and any instant between two stands for all: 10 ms steps
// cover every whole-millisecond timing.
const uint64_t SELECTION = 7000 * MS;

// One press after the hold, against every phase of the polls: its start
// over a whole poll interval, its length over two (held across none, one
// or two polls), the hold let go in the blink or late in the selection.
// Each must run action 1, whichever edge latches.
TEST(OnePress, EveryTimingRunsActionOne)
{
	std::vector<uint64_t> releases = {6000 * MS, 6010 * MS};
	for (uint64_t r = 500; r < 580; r += 10)
		releases.push_back(SELECTION + r * MS);
	for (LatchEdge edge : {LatchEdge::Press, LatchEdge::Release, LatchEdge::Both})
		for (uint64_t release : releases)
			for (uint64_t d = 0; d < 80; d += 10)
				for (uint64_t len = 20; len <= 180; len += 10) {
					// The button up a tenth of a second once settled, or
					// the press a moment after the blink has ended.
					uint64_t down = std::max(release + CHATTER + 100 * MS, SELECTION + 30 * MS) + d * MS;
					std::string failed = EveryRun({release, down, down + len * MS}, edge);
					ASSERT_EQ(failed, "");
				}
}

}  // namespace
