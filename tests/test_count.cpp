#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <algorithm>

#include "board/leds.h"
#include "board/registers.h"
#include "select/actions.h"
#include "sim/world/virtual_board.h"
#include "tests/outcome.h"

namespace {

// N presses run action N, for every N: by induction over the counts, the
// base and the step each played exhaustively (docs/count-proof.md). The
// daemon learns of the button only at its register accesses, so a run is
// fixed by where each move of the finger falls among them and what a
// chattering contact does at each: before every access the walk decides.

// Every way a run can go: a depth-first walk over its free choices,
// replaying the run once for each.
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

const uint64_t CHATTER = 20 * MS;	// the longest a contact chatters
const uint64_t POLL = 80 * MS;		// the man page's poll
const uint64_t SELECTION = 7000 * MS;	// found at 1 s, held to 5 s, 2 s of blinks
// The man page's promise: a press let go within this of the count before it
// showed counts, whatever the window's end makes of the polls.
const uint64_t LAST_RELEASE = 4800 * MS;

// The person on each board: the up-time between presses once the contact
// has settled, for every lateness in a range (the busy board's from 3 ms:
// the idle one's below). A press held longer than its chatter counts
// exactly; a shorter one may go uncounted, never count twice.
struct Envelope {
	const char* board;
	uint64_t upMs, lateFrom, lateMs;
	bool exact;
};
const Envelope ENVELOPES[] = {{"idle", 105, 0, 2, true},
			      {"busy", 145, 3, 20, true},
			      {"idle, presses no longer than their chatter", 105, 0, 2, false},
			      {"busy, presses no longer than their chatter", 145, 3, 20, false}};

// One press. The hold (unless played alone) and the presses before the step
// are scripted, clean: down at the first access allowed, up just after the
// last access of the first poll that finds it down (a poll: a sleep longer
// than two settle times), which leaves the next press the least up-time any
// count can. The others are free.
struct Move {
	bool free;
	uint64_t down = 0, up = 0;	// just before accesses at these times
	uint64_t downFrom = 0;		// the earliest the finger can have gone down
	uint64_t settled = 0;		// just after an access at this time
	unsigned chattered = 0;		// accesses that met its contact chattering
};

struct Person {
	Walk& walk;
	SimButton& pin;
	uint64_t upUs, late;		// late: the most a sleep or a call may take
	bool exact;			// held longer than its chatter
	std::vector<Move> moves;	// the hold, then the presses
	bool step;			// end the window once the step is played
	uint64_t dark = UINT64_MAX;	// when the LEDs went dark
	bool nearEnd = false;		// the free press let go by the window's end
	uint32_t shown = 0;		// the LED word at the last access
	uint64_t shownAt = 0;		// when it was written
	size_t at = 0;			// the move under way
	enum { WAITING, HELD, RELEASED } phase = WAITING;
	uint64_t mayFrom = 0;		// the first access the press could precede
	uint64_t last = 0;		// the last access
	std::vector<uint64_t> accesses = {};	// every access of the selection
	bool stop = false;		// the step is over: the next press could come
	bool missed = false;		// the edge came before the press could

	void Before(bool clear)
	{
		uint64_t t = world.now;
		pin.Service();	// a clear written at the last access comes first
		Move* m = at < moves.size() ? &moves[at] : nullptr;
		bool gap = false, now = false;	// chattering in the gap before t; still at t
		if (m && phase == WAITING) {
			// A press comes after the up-time, the first any time after
			// the LEDs went dark; at any access over a poll from the
			// first it may precede, as polls alike follow. It may begin
			// anywhere in the gap: played at its end, for its chatter to
			// reach the most; timed from its start, for its release.
			// The whole of it may fall in the gap, a tap inside a sleep.
			uint64_t from = std::max(moves[at - 1].settled + upUs, at == 1 ? dark : 0);
			if (nearEnd && m->free)	// over a poll, held up to three, let go by the edge
				from = std::max(from, shownAt + LAST_RELEASE - 3 * (POLL + late));
			mayFrom = t > from && mayFrom == 0 ? t : mayFrom;
			bool mayEnd = !nearEnd || !m->free || std::max(last, from) + Held() < shownAt + LAST_RELEASE;
			missed |= !mayEnd;	// no press left that could be let go by the edge
			if (t > from && mayEnd && (!m->free || t > mayFrom + POLL + late || walk.Choose(2))) {
				phase = HELD, m->down = t, m->downFrom = std::max(last, from);
				pin.SetDown(true);
				if (m->free && t > m->downFrom + Held() && walk.Choose(2)) {
					pin.SetDown(false);
					phase = RELEASED, m->up = t;
				}
			}
		}
		bool chatters = m && m->free && at > 0;	// the hold goes down clean
		uint64_t settles = m ? m->down + (chatters ? CHATTER : 0) : 0;
		if (m && phase == HELD) {
			// Held from just longer than its chatter to longer than
			// three polls; the hold over any of the first polls of the
			// selection. Let go before or after the press's chatter
			// ends, if it ends in this gap.
			uint64_t longest = at == 0 ? SELECTION + 2 * (POLL + late) : m->down + 3 * (POLL + late) + CHATTER;
			if (nearEnd && m->free)
				longest = std::min(longest, shownAt + LAST_RELEASE);
			uint64_t shortest = at == 0 ? m->down : m->downFrom + Held() + 1;
			if (m->free ? t > longest || (t >= shortest && walk.Choose(2))
				    : m->down < last && t > last + 2 * CHATTER + late) {
				// Only a press no longer than its chatter can end inside
				// it: one held longer was closed, still, when let go.
				bool early = !exact && (settles > t || (settles > last && chatters && walk.Choose(2)));
				if (!early)
					pin.SetDown(true);
				phase = RELEASED, m->up = early ? std::min(t, settles) : t;
				pin.SetDown(false);
			}
		}
		if (m && phase == HELD)
			gap = chatters && settles > last, now = settles > t;
		if (m && phase == RELEASED) {
			gap = m->free, now = m->free && t < m->up + CHATTER && walk.Choose(2);
			if (!now)	// no sooner than the shortest press allows
				m->settled = std::max(last, m->downFrom + Held()), at++, phase = WAITING, mayFrom = 0;
		}
		if (gap && !clear && !pin.IsLatched() && walk.Choose(2))	// toggled both ways
			pin.SetDown(!pin.IsDown()), pin.SetDown(!pin.IsDown());
		if (now)
			m->chattered++;
		pin.SetDown((phase == HELD) != (now && walk.Choose(2)));
		last = t;
		accesses.push_back(t);
		if (*world.led != shown) {	// when the LEDs changed: seen at a sleep, or now
			shown = *world.led, shownAt = t;
			for (auto e = world.events.rbegin(); e != world.events.rend(); e++)
				if (e->kind == Event::LED) {
					shownAt = e->word == shown ? e->us : t;
					break;
				}
		}
		stop |= step && at == moves.size() && t > moves.back().settled + upUs;
	}

	// A press is held longer than this.
	uint64_t Held() const { return exact ? CHATTER : 0; }
};

std::string Ms(uint64_t us) { return std::to_string((us + MS / 2) / MS) + " ms"; }

// How late the selection's sleeps end and how long a syslog call takes:
// every sleep alike, by whole milliseconds; or, at the ends of the board's
// bound, the polls alike (on time or at the bound), each shorter sleep on
// its own (the rests and waits whose length the loop reads on the clock),
// and every syslog call alike.
struct Lateness {
	uint64_t ms;
	bool each;
	bool pollsLate = false, logsLate = false;
};

// The run in a person's words.
std::string Told(const Person& p, LatchEdge edge, const Lateness& l, const std::string& woke, const std::string& what)
{
	const char* edges[] = {"the press edge", "the release edge", "both edges"};
	const Move& m = p.moves.back();
	size_t n = p.moves.size() - 1;
	uint64_t dark = p.dark == UINT64_MAX ? SELECTION : p.dark;
	std::string s = "the hold let go " + (p.moves[0].up <= dark ? "in the blink" : Ms(p.moves[0].up - dark) + " into the selection");
	if (n > 0) {
		uint64_t ref = n == 1 ? dark : p.moves[n - 1].settled;
		s += ", press " + std::to_string(n) + " down from " + Ms(m.downFrom - ref) + " to " + Ms(m.down - ref) +
		     (n == 1 ? " after the LEDs went dark" : " after press " + std::to_string(n - 1) + " settled") + ", up by " +
		     Ms(m.up - ref);
	}
	s += ", its contact met chattering at " + std::to_string(m.chattered) + " accesses, latch on " + edges[int(edge)];
	if (l.each)
		s += std::string(", polls ") + (l.pollsLate ? Ms(l.ms * MS) + " late" : "on time") + ", syslog taking " +
		     (l.logsLate ? Ms(l.ms * MS) : "no time") + ", shorter sleeps on time but" + (woke.empty() ? " none;" : woke) +
		     " " + Ms(l.ms * MS) + " late";
	else
		s += ", wake-ups " + Ms(l.ms * MS) + " late";
	return s + ": " + what;
}

// Plays `before` scripted presses after the hold, then one free press if
// `step`, through every choice; the first run that breaks the rule is told.
// Each free press must count no later after its release settled than the
// scripted one before it (maxAfter): the start state of every step.
std::string Play(const Envelope& e, const Lateness& l, LatchEdge edge, int debug, bool freeHold, unsigned before,
		 bool step, uint64_t& maxAfter, unsigned long& runs, bool nearEnd = false)
{
	Walk walk;
	unsigned n = before + step;
	unsigned long played = 0;	// runs whose free press came in time
	do {
		runs++;
		BoardWorld b({}, debug, edge);
		world.events.reserve(64);
		// The blink's last lit half period: the hold down since the
		// first reading, last read at 5 s.
		Person p{walk, b.button, e.upMs * MS, l.ms * MS, e.exact, {Move{freeHold, 1 * SEC}}, step};
		p.phase = Person::HELD, p.last = 5 * SEC, p.nearEnd = nearEnd;
		b.button.SetDown(true);
		b.led = ~15u;
		world.now = SELECTION - 250 * MS;
		for (unsigned i = 0; i < n; i++)
			p.moves.push_back(Move{i == before});
		world.beforeAccess = [&](int32_t index, bool write) { p.Before(index == GPIO_EVENT && write); };
		world.afterSleep = [&](uint64_t, uint64_t) { b.button.Service(); };
		// Once the step is played the window is ended at once.
		std::string woke;
		world.late = [&](uint64_t us) -> uint64_t {
			if (p.stop)
				return 10 * SEC;
			if (us >= 100 * MS || !l.each)
				return us < 100 * MS ? l.ms * MS : 0;
			// The last press's own rests and waits go with the polls:
			// each sleep on its own before it settled, for the press
			// before it and the blink's end.
			if (us >= POLL || p.at == p.moves.size())
				return l.pollsLate ? l.ms * MS : 0;
			if (!walk.Choose(2))
				return 0;
			woke += " a " + Ms(us) + " sleep at " + Ms(world.now - SELECTION) + " after 7 s;";
			return l.ms * MS;
		};
		world.callTime = [&] { return l.logsLate ? l.ms * MS : 0; };
		LookAtHold(250 * MS);
		ShowLedPattern(0);
		p.dark = world.now;
		SelectAction();
		if (p.missed)
			continue;
		played++;
		auto told = [&](const std::string& what) { return Told(p, edge, l, woke, what); };
		std::string verdict = Verdict(n), ran = Verdicts().empty() ? "no verdict" : Verdicts()[0];
		std::vector<unsigned> counts = Counts(SELECTION, ran);
		size_t k = counts.size() - 1;
		bool fewer = !e.exact && k < n && Verdicts() == std::vector<std::string>{Verdict(unsigned(k))} &&
			     counts == CountsOf(unsigned(k));
		if (!e.exact && (fewer || Verdicts() == std::vector<std::string>{verdict}))
			continue;	// never more is all a short press is promised
		if (Verdicts() != std::vector<std::string>{verdict} || counts != CountsOf(n)) {
			return told((n == 0 ? "the hold counted as a press" : k == n + 1 ? "counted twice"
								   : k + 1 == n ? "not counted" : "miscounted") +
				    std::string(" (LEDs ") + std::to_string(counts.back()) + ", " + ran + ")");
		}
		// When the count was made: the last access to the GPIO block
		// before the LEDs showed it. Its log line may take time after.
		uint64_t shown = 0, counted = 0;
		for (const Event& ev : world.Only(Event::LED))
			if (shown == 0 && ev.us > p.dark && (~ev.word & 0xF) == n % 16)
				shown = ev.us;
		for (uint64_t t : p.accesses)
			if (t <= shown)
				counted = t;
		if (n == 16 && Logged(verdict) != shown)
			return told("the sixteenth count did not cancel at once");
		if (n == 0 || n == 16 || p.at != p.moves.size())
			continue;
		uint64_t after = counted - p.moves.back().settled;
		if (!step) {
			maxAfter = std::max(maxAfter, after);
			// With no press after it the window closes 5.0 to 5.1 s after
			// the count, and that count's action runs.
			if (Logged(verdict) < shown + 5 * SEC || Logged(verdict) > shown + 5100 * MS)
				return told("the window closed " + Ms(Logged(verdict) - shown) + " after the count showed");
		} else if (after > maxAfter) {
			return told("counted " + Ms(after) + " after its release settled, later than any start state");
		}
	} while (walk.Next());
	return played ? "" : "no run let the free press go in time";
}

// One envelope, lateness, latch edge and debug level: the base (the hold,
// then one free press), the start state of the step (the hold and one
// scripted press), the step from it, the cancel.
std::string ProveOne(const Envelope& e, const Lateness& l, LatchEdge edge, int debug, bool cancel, unsigned long& runs)
{
	uint64_t maxAfter = 0;
	std::string told = Play(e, l, edge, debug, true, 0, false, maxAfter, runs);
	if (told.empty())
		told = Play(e, l, edge, debug, false, 1, false, maxAfter, runs);
	if (told.empty() && maxAfter >= e.upMs * MS)
		told = "a press may begin before the count before it";
	if (told.empty())
		told = Play(e, l, edge, debug, false, 0, true, maxAfter, runs);
	if (told.empty())
		told = Play(e, l, edge, debug, false, 1, true, maxAfter, runs);
	if (told.empty() && cancel)
		told = Play(e, l, edge, debug, false, 15, true, maxAfter, runs);
	// The window's end: a press let go by the promised edge counts, the
	// first (the window opened as the LEDs went dark) and any after it.
	for (unsigned before : {0, 1})
		if (told.empty() && !l.each && e.exact)
			told = Play(e, l, edge, debug, false, before, true, maxAfter, runs, true);
	return told;
}

// Every envelope, lateness and latch edge; the first counterexample is
// told. Every sleep alike, at each whole millisecond of the board's range
// (or its least only: short), at debug level 0; or (each) every sleep on its
// own at the ends of the board's bound, at debug levels 0, 1 and 2, the
// count's log line taking the bound at 1. `only` picks the envelopes whose
// name holds it.
enum class Mode { All, Short, Base, Each };
std::string Prove(Mode mode, const char* only, unsigned long& runs)
{
	for (const Envelope& e : ENVELOPES) {
		if ((mode == Mode::Base && &e != ENVELOPES) || (only && !strstr(e.board, only)))
			continue;
		std::vector<std::pair<Lateness, int>> ls;
		if (mode == Mode::Each)	// never more is kept by the loop alone
			for (bool polls : {false, true}) {
				ls.push_back({{e.lateMs, true, polls, false}, 0});
				if (e.exact)
					ls.push_back({{e.lateMs, true, polls, true}, 1}), ls.push_back({{e.lateMs, true, polls, false}, 2});
			}
		else
			for (uint64_t late = e.lateFrom; late <= (mode == Mode::All ? e.lateMs : e.lateFrom); late++)
				ls.push_back({{late, false}, 0});
		for (const auto& l : ls)
			for (LatchEdge edge : {LatchEdge::Press, LatchEdge::Release, LatchEdge::Both}) {
				unsigned long before = runs;
				time_t began = time(nullptr);
				std::string told = ProveOne(e, l.first, edge, l.second, !l.first.each && l.first.ms == e.lateFrom, runs);
				if (getenv("BUTTOND_PROOF_STEPS"))
					fprintf(stderr, "%s, %s %u ms, edge %d, debug %d: %lu runs, %ld s\n", e.board,
						l.first.each ? "each sleep on its own, up to" : "every sleep", unsigned(l.first.ms),
						int(edge), l.second, runs - before, long(time(nullptr) - began));
				if (!told.empty())
					return std::string(e.board) + " board, up " + std::to_string(e.upMs) + " ms, debug " +
					       std::to_string(l.second) + ": " + told;
			}
	}
	return "";
}

// BUTTOND_PROOF: unset, every sleep alike over each board's range; short,
// each board's least lateness (the sanitizers); base, the idle board on
// time alone (an emulator); each, every sleep on its own (its own CTest).
// BUTTOND_PROOF_ONLY=TEXT: the envelopes whose name holds TEXT.
TEST(Count, EveryNumberOfPresses)
{
	unsigned long runs = 0;
	const char* proof = getenv("BUTTOND_PROOF");
	std::string p = proof ? proof : "";
	Mode mode = p == "short" ? Mode::Short : p == "base" ? Mode::Base : p == "each" ? Mode::Each : Mode::All;
	EXPECT_EQ(Prove(mode, getenv("BUTTOND_PROOF_ONLY"), runs), "");
	printf("%lu runs\n", runs);
}

}  // namespace
