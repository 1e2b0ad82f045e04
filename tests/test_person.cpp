#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#include <map>
#include <random>

#include "sim/world/virtual_board.h"
#include "tests/outcome.h"

namespace {

// The man page's promise: with the button up this long between presses,
// once the contact has settled, each press counts once, while the daemon's
// wake-ups come at most 2 ms late (an idle board) or 20 ms (a busy one).
const uint64_t UP_IDLE = 105 * MS;
const uint64_t UP_BUSY = 145 * MS;
const uint64_t POLL = 80 * MS;

// A person selecting an action as the manual tells it, in virtual time,
// watching the LEDs. They hold the button until the LEDs blink and let go
// anywhere from the middle of the blink to three seconds into the
// selection; then press N times. Between presses the button is up from
// upMin to a second once the contact has settled, half the time close to
// upMin; each press is held 30 ms to 2 s and let go within 4.8 s of the
// release before (the window is five seconds). Every press and release
// chatters for 0 to 20 ms (a quarter of them clean); a press starts at a
// random phase, its chatter straddling a poll, or within 20 ms after one,
// where the loop's reading of a settled release falls: the LEDs' last
// change marks a poll, and they follow it every 80 ms.
struct Person {
	enum What { DOWN, UP, NEXT };
	struct Todo {
		What what;
		uint64_t bounce;	// DOWN, UP: how long the contact chatters
	};

	std::mt19937 rng;
	BoardWorld& b;
	Contact contact;
	unsigned left;			// presses still to make
	uint64_t upMin;
	std::multimap<uint64_t, Todo> todo;
	unsigned shown = 0;
	uint64_t changedAt = 0;
	uint64_t selectionAt = 0;	// the blink is over
	uint64_t windowFrom = 0;	// the last press must count after this
	uint64_t settledAt = 0;		// the last release's chatter is over
	uint64_t doneAt = 0;
	std::string story;	// every move, for a failure's report

	Person(BoardWorld& b, unsigned seed, unsigned presses, uint64_t upMin)
	    : rng(seed), b(b), contact(b.button, seed), left(presses), upMin(upMin)
	{
		Plan(Ms(0, 1500), DOWN, Bounce());
		world.afterSleep = [this](uint64_t from, uint64_t to) { Advance(from, to); };
	}

	uint64_t Us(uint64_t lo, uint64_t hi) { return std::uniform_int_distribution<uint64_t>(lo, hi)(rng); }
	uint64_t Ms(uint64_t lo, uint64_t hi) { return Us(lo * MS, hi * MS); }
	uint64_t Bounce() { return rng() % 4 ? Ms(0, 20) : 0; }
	void Plan(uint64_t at, What what, uint64_t bounce = 0) { todo.insert({at, {what, bounce}}); }
	// The first poll at or after t, as the LEDs' last change predicts it.
	// After a count the loop waits out any chatter until 40 ms past the
	// first up reading, then polls every 80 ms, each wake-up late by late.
	uint64_t late = 0;
	uint64_t PollAfter(uint64_t t) const
	{
		uint64_t period = POLL + late, first = changedAt + (late < 20 * MS ? 20 * MS + late : 0) + period;
		return t <= first ? first : first + (t - first + period - 1) / period * period;
	}

	// The LEDs cannot change while the daemon sleeps: what they show over
	// the interval is what they showed at its start.
	void Advance(uint64_t from, uint64_t to)
	{
		b.button.Service();
		unsigned now = ~b.led & 0xF;
		if (now != shown) {
			shown = now, changedAt = from;
			if (shown == 15 && selectionAt == 0)
				Blinking(from);
		}
		while (!todo.empty() && todo.begin()->first <= to) {
			uint64_t at = todo.begin()->first;
			Todo t = todo.begin()->second;
			todo.erase(todo.begin());
			while (contact.PlayNext(at)) {
			}
			if (t.what == NEXT) {
				Next(at);
				continue;
			}
			contact.Move(t.what == DOWN, at, t.bounce);
			char line[64];
			snprintf(line, sizeof line, "%.3f ms: %s, %.3f ms of chatter\n", at / 1e3,
				 t.what == DOWN ? "down" : "up", t.bounce / 1e3);
			story += line;
		}
		while (contact.PlayNext(to)) {
		}
	}

	// The four blinks end 1.75 s after the LEDs first light (the first dark
	// half is unseen); the hold is let go from their middle to three
	// seconds after them.
	void Blinking(uint64_t at)
	{
		selectionAt = windowFrom = at + 1750 * MS;
		uint64_t up = at + Ms(750, 4750), bounce = Bounce();
		Plan(up, UP, bounce);
		settledAt = up + bounce;
		Plan(std::max(settledAt, selectionAt), NEXT);
	}

	void Next(uint64_t now)
	{
		if (left == 0) {
			doneAt = now;
			return;
		}
		uint64_t down = Bounce(), up = Bounce();
		uint64_t s = settledAt + (rng() % 2 ? upMin + Ms(0, 30) : Ms(upMin / MS, 1000));
		if (now < selectionAt + 600 * MS)	// a person's reaction to the blink's end
			s = std::max(s, selectionAt + Ms(30, 600));
		switch (rng() % 3) {
		case 1:	// the chatter straddles a poll
			s = PollAfter(s + down) - Us(0, down);
			break;
		case 2:	// within 20 ms after a poll
			s = PollAfter(s - std::min(s, 20 * MS)) + Ms(0, 20);
			s = s < settledAt + upMin ? PollAfter(s) + Ms(0, 20) : s;
			break;
		}
		unsigned kind = unsigned(rng() % 10);	// a quick tap, a press, a long one
		uint64_t r = s + (kind < 3 ? Ms(30, 60) : kind < 9 ? Ms(30, 400) : Ms(400, 2000));
		if (rng() % 2)	// the release's chatter straddles a poll
			r = PollAfter(r + up) - Us(0, up);
		r = std::min(r, windowFrom + 4800 * MS);
		Plan(s, DOWN, down);
		Plan(r, UP, up);
		Plan(r + up, NEXT);
		windowFrom = r;
		settledAt = r + up;
		left--;
	}

	void Run()
	{
		while ((doneAt == 0 || world.now < doneAt + 10 * SEC) && world.now < 300 * SEC)
			MainLoopIteration();
	}
};

std::string Render(const Event& e)
{
	char at[32];
	snprintf(at, sizeof at, "%.3f ms: ", e.us / 1e3);
	return at + (e.kind == Event::LED ? "LEDs " + std::to_string(~e.word & 0xF)
		     : e.kind == Event::SHELL ? "sh " + e.text
					      : "log " + std::to_string(e.priority) + " " + e.text);
}

std::vector<std::string> Timeline()
{
	std::vector<std::string> out;
	for (const Event& e : world.events)
		out.push_back(Render(e));
	return out;
}

// How late the daemon's wake-ups come in the selection, and what the
// person can then expect: on an idle or a busy board, every press counts
// once with the up-time the man page states for it; however late, never a
// press more than made.
struct Lateness {
	const char* what;
	uint64_t fixed;		// every short sleep this late; or
	uint64_t upToMax;	// each 0 to a maximum drawn from these, per case
	uint64_t upMin;
	bool exact;		// else: never more
};
const Lateness LATENESS[] = {
	{"on time", 0, 0, UP_IDLE, true},	{"1 ms late", 1 * MS, 0, UP_IDLE, true},
	{"2 ms late", 2 * MS, 0, UP_IDLE, true},	{"5 ms late", 5 * MS, 0, UP_BUSY, true},
	{"10 ms late", 10 * MS, 0, UP_BUSY, true},	{"20 ms late", 20 * MS, 0, UP_BUSY, true},
	{"0 to 300 ms late at random", 0, 300 * MS, UP_IDLE, false},
};

// N presses run action N, and sixteen cancel, whatever the contact does
// within 20 ms, whichever edge latches, however long the hold lasts into
// the selection, with the selection's wake-ups late as above. On time, one
// case in four plays again with the wall clock stepping at any moment of
// the selection, forward by 5 s to 63 years or back by 1 s to a day:
// everything must happen as it did, at the same times. BUTTOND_PEOPLE=N
// plays N cases of each lateness; BUTTOND_SEED=N replays case N.
TEST(Person, NPressesRunActionN)
{
	const char* replay = getenv("BUTTOND_SEED");
	const char* people = getenv("BUTTOND_PEOPLE");
	unsigned first = replay ? unsigned(atoi(replay)) : 1;
	unsigned last = replay ? first : people ? unsigned(atoi(people)) : 500;
	for (const Lateness& l : LATENESS)
		for (unsigned seed = first; seed <= last; seed++) {
			std::mt19937 rng(seed);
			auto uniform = [&](uint64_t lo, uint64_t hi) { return std::uniform_int_distribution<uint64_t>(lo, hi)(rng); };
			unsigned n = 1 + unsigned(rng() % 16);
			int debug = int(rng() % 3);
			LatchEdge edge = LatchEdge(rng() % 3);
			// At random: every short sleep, or only the settle waits, each
			// late by up to a maximum; or the settle waits all late alike.
			const uint64_t maxima[] = {1 * MS, 5 * MS, 20 * MS, 50 * MS, l.upToMax};
			uint64_t most = l.upToMax ? maxima[rng() % 5] : 0;
			unsigned shape = unsigned(rng() % 3);
			uint64_t alike = uniform(5 * MS, 30 * MS);
			BoardWorld b({}, debug, edge);
			Person p(b, seed, n, l.upMin);
			p.late = l.fixed;
			// The short sleeps are the selection's: its polls and settles.
			world.late = [&](uint64_t us) {
				uint64_t by = us >= 100 * MS ? 0
					      : !most	    ? l.fixed
					      : shape == 0  ? uniform(0, most)
					      : us > 20 * MS ? 0
					      : shape == 1  ? uniform(0, most)
							    : alike;
				if (by != 0 && most != 0) {
					char line[64];
					snprintf(line, sizeof line, "%.3f ms: woke %.3f ms late\n", (world.now + us + by) / 1e3, by / 1e3);
					p.story += line;
				}
				return by;
			};
			p.Run();
			// Read only when an assertion fails.
			auto what = [&] {
				std::string s = "BUTTOND_SEED=" + std::to_string(seed) + ", " + l.what + ": " + std::to_string(n) +
						" presses, latch edge " + std::to_string(int(edge)) + "\n" + p.story;
				for (const std::string& line : Timeline())
					s += line + "\n";
				return s;
			};
			ASSERT_NE(p.doneAt, 0u) << what() << ": the person never finished";
			std::vector<std::string> verdicts = Verdicts();
			ASSERT_FALSE(verdicts.empty()) << what();
			if (!l.exact) {
				// Fewer is allowed; the LEDs count 1, 2, ... to what runs.
				// Merged presses may count after the window has closed:
				// the presses that follow are the main loop's to judge.
				unsigned k = unsigned(Counts(p.selectionAt, verdicts[0]).size()) - 1;
				ASSERT_LE(k, n) << what() << ": counted more than pressed";
				ASSERT_EQ(Counts(p.selectionAt, verdicts[0]), CountsOf(k)) << what();
				ASSERT_EQ(verdicts[0], Verdict(k)) << what();
				continue;
			}
			std::string verdict = Verdict(n);
			ASSERT_EQ(verdicts, std::vector<std::string>{verdict}) << what();
			ASSERT_EQ(Counts(p.selectionAt, verdict), CountsOf(n)) << what();
			if (l.fixed != 0 || seed % 4 != 0)
				continue;

			std::vector<std::string> unstepped = Timeline();
			uint64_t at = uniform(p.selectionAt, Logged(verdict));
			int64_t step = rng() % 2 ? int64_t(uniform(5 * SEC, 63 * 365 * 86400 * SEC))
						 : -int64_t(uniform(1 * SEC, 86400 * SEC));
			BoardWorld again({}, debug, edge);
			world.wallSteps = {{at, step}};
			Person same(again, seed, n, l.upMin);
			same.Run();
			ASSERT_EQ(Timeline(), unstepped) << what() << ", the wall clock stepped by " << step << " us at " << at;
		}
}

// A quick person on a busy board: after the first tap they press again
// the moment the LEDs show its count, as boardsim's count word does, while
// every short sleep of the selection ends late, as on a CPU that other
// work keeps busy. A whole press may come and go while the daemon sleeps
// after a count; the latch keeps it, and it must count.
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
						unsigned made = 1;
						world.afterSleep = [&](uint64_t from, uint64_t to) {
							if (made < n && (~b.led & 0xF) == made % 16 && from > selection + SEC)
								b.script.Add(Tap(from + reaction * MS, hold)), made++;
							b.script.Advance(from, to);
						};
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
