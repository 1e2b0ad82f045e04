#include <gtest/gtest.h>

#include <stdlib.h>

#include <map>
#include <random>

#include "sim/world/virtual_board.h"

namespace {

// A person selecting an action as the manual tells it, in virtual time,
// watching the LEDs: hold the button until they blink and let go; once the
// blink is over, press N times. Each press is held 50 to 400 ms, followed
// by at least 120 ms up once its chatter is over, and let go within 4.8 s
// of the one before (the window is five seconds). Every press and release
// chatters for 0 to 20 ms, at a random phase or, half the time, just before
// a poll: the LED write of each count marks one, and they follow it every
// 80 ms.
struct Person {
	enum What { DOWN, UP, LOOK, NEXT };
	struct Todo {
		What what;
		uint64_t arg;	// DOWN, UP: the chatter; LOOK: when the LEDs went dark
	};

	BoardWorld& b;
	std::mt19937 rng;
	Contact contact;
	unsigned left;			// presses still to make
	bool lateRelease = false;	// hold on until the selection has begun
	int stepAfter = -1;		// presses made when the wall clock steps
	int64_t step = 0;

	std::multimap<uint64_t, Todo> todo;
	unsigned shown = 0, made = 0;
	uint64_t changedAt = 0, since = 0;	// since: the window's start as seen
	uint64_t selectedAt = 0;
	bool blinked = false, selecting = false;
	uint64_t steppedAt = 0, doneAt = 0;

	Person(BoardWorld& b, unsigned seed, unsigned presses)
	    : b(b), rng(seed), contact(b.button, seed), left(presses)
	{
		Plan(Ms(0, 1500), DOWN, Bounce());
		world.afterSleep = [this](uint64_t from, uint64_t to) { Advance(from, to); };
	}

	uint64_t Us(uint64_t lo, uint64_t hi) { return std::uniform_int_distribution<uint64_t>(lo, hi)(rng); }
	uint64_t Ms(uint64_t lo, uint64_t hi) { return Us(lo * MS, hi * MS); }
	// A quarter of the edges are clean: a latch cleared in the chatter of
	// a press may be waiting for the release's edge alone.
	uint64_t Bounce() { return rng() % 4 ? Ms(0, 20) : 0; }
	void Plan(uint64_t at, What what, uint64_t arg = 0) { todo.insert({at, {what, arg}}); }

	// The LEDs cannot change while the daemon sleeps: what they show
	// over the interval is what they showed at its start.
	void Advance(uint64_t from, uint64_t to)
	{
		b.button.Service();
		unsigned now = ~b.led & 0xF;
		if (now != shown) {
			shown = now, changedAt = from;
			if (shown == 15 && !blinked && !lateRelease)
				Plan(from + Ms(100, 1500), UP, Bounce());
			blinked |= shown == 15;
			// Dark for longer than a blink's dark half: the selection has begun.
			if (blinked && shown == 0 && !selecting)
				Plan(from + 300 * MS, LOOK, from);
		}
		while (!todo.empty() && todo.begin()->first <= to) {
			uint64_t at = todo.begin()->first;
			Todo t = todo.begin()->second;
			todo.erase(todo.begin());
			while (contact.PlayNext(at)) {
			}
			Do(at, t);
		}
		while (contact.PlayNext(to)) {
		}
	}

	void Do(uint64_t at, const Todo& t)
	{
		switch (t.what) {
		case DOWN:
		case UP:
			contact.Move(t.what == DOWN, at, t.arg);
			break;
		case LOOK:
			if (selecting || shown != 0 || changedAt != t.arg)
				break;
			selecting = true, since = selectedAt = t.arg;
			if (lateRelease) {
				uint64_t bounce = Bounce(), up = at + Ms(0, 700);
				Plan(up, UP, bounce);
				Plan(up + bounce + 120 * MS, NEXT);
				since = up;
			} else {
				Plan(at, NEXT);
			}
			break;
		case NEXT:
			if (int(made) == stepAfter) {
				world.wallBaseUs += step;
				steppedAt = at;
				left = 0;
			}
			if (left == 0) {
				doneAt = at;
				break;
			}
			Press(at);
			break;
		}
	}

	void Press(uint64_t now)
	{
		uint64_t down = Bounce(), up = Bounce(), s, r;
		if (rng() % 2) {
			const uint64_t POLL = 80 * MS;
			// The chatter begins up to its length before a poll.
			uint64_t early = Us(0, down);
			uint64_t j = (now + early - changedAt + POLL - 1) / POLL;
			s = changedAt + j * POLL - early;
			r = changedAt + (j + 2 + rng() % 3) * POLL - Us(0, up);
		} else {
			uint64_t hold = Ms(50, 400);
			uint64_t latest = since + 4800 * MS - hold;
			s = now + (rng() % 5 ? Ms(0, 500) : Ms(0, (latest - now) / MS));
			s = std::min(s, latest);
			r = s + hold;
		}
		Plan(s, DOWN, down);
		Plan(r, UP, up);
		Plan(r + up + 120 * MS, NEXT);
		since = r;
		left--, made++;
	}

	void Run()
	{
		while ((doneAt == 0 || world.now < doneAt + 10 * SEC) && world.now < 300 * SEC)
			MainLoopIteration();
	}
};

std::vector<std::string> Verdicts()
{
	std::vector<std::string> out;
	for (const Event& e : world.Only(Event::LOG))
		if (e.text.rfind("Running Command", 0) == 0 || e.text == " No Command selected. Clearing.")
			out.push_back(e.text);
	return out;
}

std::string Verdict(unsigned count)
{
	return count % 16 == 0 ? " No Command selected. Clearing."
			       : "Running Command for Action " + std::to_string(count) + ".";
}

// When the daemon first logged text.
uint64_t Logged(const std::string& text)
{
	for (const Event& e : world.Only(Event::LOG))
		if (e.text == text)
			return e.us;
	return UINT64_MAX;
}

// The counts the LEDs showed from the selection's start to its verdict.
std::vector<unsigned> Counts(uint64_t from, const std::string& verdict)
{
	std::vector<unsigned> out;
	for (const Event& e : world.events) {
		if (e.us < from)
			continue;
		if (e.kind == Event::LOG && e.text == verdict)
			break;
		if (e.kind == Event::LED && (out.empty() || out.back() != (~e.word & 0xF)))
			out.push_back(~e.word & 0xF);
	}
	return out;
}

// N presses run action N and sixteen cancel, whatever the contact does
// within 20 ms, whichever edge latches. One case in eight steps the wall
// clock during the selection (NTP setting a board without a real-time
// clock): the window ends at once and the count so far runs.
// BUTTOND_SEED=N replays case N.
TEST(Bounce, NPressesRunActionN)
{
	const char* replay = getenv("BUTTOND_SEED");
	unsigned first = replay ? unsigned(atoi(replay)) : 1, last = replay ? first : 1200;
	for (unsigned seed = first; seed <= last; seed++) {
		std::mt19937 rng(seed);
		unsigned n = 1 + rng() % 16;
		BoardWorld b({}, int(rng() % 3), LatchEdge(rng() % 3));
		Person p(b, seed, n);
		bool stepping = seed % 8 == 0;
		if (stepping) {
			p.stepAfter = int(rng() % n);
			p.step = rng() % 2 ? int64_t(rng() % 2000000000 + 5) * int64_t(SEC)
					   : -int64_t(rng() % 86400 + 6) * int64_t(SEC);
		}
		p.Run();
		unsigned expect = stepping ? unsigned(p.stepAfter) : n;
		std::string what = "BUTTOND_SEED=" + std::to_string(seed) + ": " + std::to_string(n) + " presses" +
				   (stepping ? ", the clock stepped after " + std::to_string(expect) : "");
		ASSERT_EQ(Verdicts(), std::vector<std::string>{Verdict(expect)}) << what;
		if (stepping) {
			ASSERT_LE(Logged(Verdict(expect)) - p.steppedAt, 100 * MS) << what << ": the window did not end at once";
			continue;
		}
		std::vector<unsigned> counts;
		for (unsigned i = 0; i <= n; i++)
			counts.push_back(i % 16);
		ASSERT_EQ(Counts(p.selectedAt, Verdict(n)), counts) << what;
	}
}

// A person who keeps holding after the blink lets go once the selection
// has begun. With both edges latched, that release is a press: one more
// than the presses that follow.
TEST(Bounce, HoldReleasedInTheSelectionCountsWithBothEdges)
{
	for (unsigned seed = 1; seed <= 20; seed++) {
		BoardWorld b({}, 1, LatchEdge::Both);
		Person p(b, seed, 1 + seed % 14);
		p.lateRelease = true;
		p.Run();
		ASSERT_EQ(Verdicts(), std::vector<std::string>{Verdict(p.made + 1)}) << "BUTTOND_SEED=" << seed;
	}
}

}  // namespace
