#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#include <map>
#include <random>

#include "sim/world/virtual_board.h"
#include "tests/outcome.h"

namespace {

// The man page's promise: with the button up this long between presses,
// once the contact has settled, each press counts once.
const uint64_t UP_MIN = 100 * MS;
const uint64_t POLL = 80 * MS;

// A person selecting an action as the manual tells it, in virtual time,
// watching the LEDs. They hold the button until the LEDs blink and let go
// anywhere from the middle of the blink to three seconds into the
// selection; then press N times. Between presses the button is up from
// UP_MIN to a second once the contact has settled, half the time close to
// UP_MIN; each press is held 30 ms to 2 s and let go within 4.8 s of the
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
	std::multimap<uint64_t, Todo> todo;
	unsigned shown = 0;
	uint64_t changedAt = 0;
	uint64_t selectionAt = 0;	// the blink is over
	uint64_t windowFrom = 0;	// the last press must count after this
	uint64_t settledAt = 0;		// the last release's chatter is over
	uint64_t doneAt = 0;
	std::string story;	// every move, for a failure's report

	Person(BoardWorld& b, unsigned seed, unsigned presses)
	    : rng(seed), b(b), contact(b.button, seed), left(presses)
	{
		Plan(Ms(0, 1500), DOWN, Bounce());
		world.afterSleep = [this](uint64_t from, uint64_t to) { Advance(from, to); };
	}

	uint64_t Us(uint64_t lo, uint64_t hi) { return std::uniform_int_distribution<uint64_t>(lo, hi)(rng); }
	uint64_t Ms(uint64_t lo, uint64_t hi) { return Us(lo * MS, hi * MS); }
	uint64_t Bounce() { return rng() % 4 ? Ms(0, 20) : 0; }
	void Plan(uint64_t at, What what, uint64_t bounce = 0) { todo.insert({at, {what, bounce}}); }
	// The first poll at or after t, as the LEDs' last change predicts it.
	uint64_t PollAfter(uint64_t t) const { return t <= changedAt ? changedAt : changedAt + (t - changedAt + POLL - 1) / POLL * POLL; }

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
		uint64_t s = settledAt + (rng() % 2 ? UP_MIN + Ms(0, 30) : Ms(UP_MIN / MS, 1000));
		if (now < selectionAt + 600 * MS)	// a person's reaction to the blink's end
			s = std::max(s, selectionAt + Ms(30, 600));
		switch (rng() % 3) {
		case 1:	// the chatter straddles a poll
			s = PollAfter(s + down) - Us(0, down);
			break;
		case 2:	// within 20 ms after a poll
			s = PollAfter(s - std::min(s, 20 * MS)) + Ms(0, 20);
			s = s < settledAt + UP_MIN ? PollAfter(s) + Ms(0, 20) : s;
			break;
		}
		uint64_t r = s + (rng() % 10 ? Ms(30, 400) : Ms(400, 2000));
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

// N presses run action N, and sixteen cancel, whatever the contact does
// within 20 ms, whichever edge latches, however long the hold lasts into
// the selection. One case in four plays again with the wall clock stepping
// at any moment of the selection, forward by 5 s to 63 years or back by
// 1 s to a day: everything must happen as it did, at the same times.
// BUTTOND_SEED=N replays case N.
TEST(Person, NPressesRunActionN)
{
	const char* replay = getenv("BUTTOND_SEED");
	unsigned first = replay ? unsigned(atoi(replay)) : 1, last = replay ? first : 2000;
	for (unsigned seed = first; seed <= last; seed++) {
		std::mt19937 rng(seed);
		auto uniform = [&](uint64_t lo, uint64_t hi) { return std::uniform_int_distribution<uint64_t>(lo, hi)(rng); };
		unsigned n = 1 + unsigned(rng() % 16);
		int debug = int(rng() % 3);
		LatchEdge edge = LatchEdge(rng() % 3);
		BoardWorld b({}, debug, edge);
		Person p(b, seed, n);
		p.Run();
		// Read only when an assertion fails.
		auto what = [&] {
			std::string s = "BUTTOND_SEED=" + std::to_string(seed) + ": " + std::to_string(n) +
					" presses, latch edge " + std::to_string(int(edge)) + "\n" + p.story;
			for (const std::string& line : Timeline())
				s += line + "\n";
			return s;
		};
		ASSERT_NE(p.doneAt, 0u) << what() << ": the person never finished";
		std::string verdict = Verdict(n);
		ASSERT_EQ(Verdicts(), std::vector<std::string>{verdict}) << what();
		ASSERT_EQ(Counts(p.selectionAt, verdict), CountsOf(n)) << what();
		if (seed % 4 != 0)
			continue;

		std::vector<std::string> unstepped = Timeline();
		uint64_t at = uniform(p.selectionAt, Logged(verdict));
		int64_t step = rng() % 2 ? int64_t(uniform(5 * SEC, 63 * 365 * 86400 * SEC))
					 : -int64_t(uniform(1 * SEC, 86400 * SEC));
		BoardWorld again({}, debug, edge);
		world.wallSteps = {{at, step}};
		Person same(again, seed, n);
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
