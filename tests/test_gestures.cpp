#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#include <random>

#include "select/actions.h"
#include "sim/world/virtual_board.h"

namespace {

// "seconds.millis kind text" lines; kinds: log<priority>, sh, led<word>
// (the count the four LEDs show, or the raw word when other bits are lit).
std::vector<std::string> Timeline(bool withLeds = false)
{
	std::vector<std::string> out;
	for (const Event& e : world.events) {
		char line[600];
		int n = snprintf(line, sizeof line, "%u.%03u ", unsigned(e.us / SEC),
				 unsigned(e.us % SEC / MS));
		if (e.kind == Event::LOG)
			snprintf(line + n, sizeof line - n, "log%d %s", e.priority, e.text.c_str());
		else if (e.kind == Event::SHELL)
			snprintf(line + n, sizeof line - n, "sh %s", e.text.c_str());
		else if ((e.word | 0xF) == 0xFFFFFFFF)
			snprintf(line + n, sizeof line - n, "led %u", ~e.word & 0xF);
		else
			snprintf(line + n, sizeof line - n, "led word %08X", e.word);
		if (e.kind != Event::LED || withLeds)
			out.push_back(line);
	}
	return out;
}

using Lines = std::vector<std::string>;

const char* const SIGUSR1_LINE = "sh killall -SIGUSR1 lumend &> /dev/null";
const char* const SIGUSR2_LINE = "sh killall -SIGUSR2 lumend &> /dev/null";

std::vector<Press> HoldThen(std::vector<uint64_t> tapsAtMs, uint64_t holdUpMs = 5500)
{
	std::vector<Press> p = {{500 * MS, holdUpMs * MS}};
	for (uint64_t t : tapsAtMs)
		p.push_back(Tap(t * MS));
	return p;
}

// Hold from 0.5 s, three taps at 8, 9 and 10 s. The idle poll finds the
// button down at 1 s, confirms at 5 s; selection opens at 7 s after the
// blink and polls every 80 ms from there, so the taps count at the first
// polls after their releases: 8.20, 9.16, 10.20. The window closes at the
// first test 5 s after 10.20: 15.24.
TEST(Gesture, TypicalEventEndToEnd)
{
	BoardWorld b(HoldThen({8000, 9000, 10000}), 1);
	b.RunUntil(20 * SEC);
	Lines expect = {
		"0.000 led 0",
		"1.000 log5 Start of button hold...",
		"5.000 log5  Button was held for 4 SEC...",
		std::string("5.000 ") + SIGUSR1_LINE,
	};
	// Four blinks: dark, then lit, a quarter second each. The first dark
	// half after the dark display is no change and so not recorded.
	auto blink = [&](uint64_t fromMs, int count) {
		for (uint64_t i = 0; i < 8; i++) {
			char line[32];
			uint64_t t = fromMs + 250 * i;
			snprintf(line, sizeof line, "%u.%03u led %d", unsigned(t / 1000),
				 unsigned(t % 1000), i % 2 ? count : 0);
			if (t != 5000)
				expect.push_back(line);
		}
	};
	blink(5000, 15);
	expect.insert(expect.end(), {
		"7.000 led 0",
		"8.200 log5  Button Pressed 1",
		"8.200 led 1",
		"9.160 log5  Button Pressed 2",
		"9.160 led 2",
		"10.200 log5  Button Pressed 3",
		"10.200 led 3",
		"15.240 log5 Running Command for Action 3.",
	});
	blink(15240, 3);
	expect.insert(expect.end(), {
		std::string("17.240 ") + SIGUSR2_LINE,
		"17.240 sh echo \"User Button Checkin\" > /tmp/tesk_trigger 2> /dev/null",
		"17.240 led 0",
		std::string("17.240 ") + SIGUSR2_LINE,
	});
	EXPECT_EQ(Timeline(true), expect);
	EXPECT_EQ(b.gpio[GPIO_EVENT], 0u);	// latch cleared after the attempt
}

// Action 0 never comes from a selection, but has no command either.
TEST(Gesture, ActionZeroRunsNothing)
{
	BoardWorld b({}, 0);
	RunAction(0);
	EXPECT_EQ(Timeline(), (Lines{"0.000 log5 Running Command for Action 0.",
				     std::string("2.000 ") + SIGUSR2_LINE,
				     "2.000 log5 No command ro run: 0"}));
}

// An independent model of the gesture rules, in virtual milliseconds: it
// replays a press list against the idle poll, the four-second check, the
// 80 ms selection polls and the five-second window, and says what must be
// logged and run, and when. The daemon must agree with it on any presses.
struct Model {
	std::vector<Press> presses;
	LatchEdge edge;
	int debug;
	Lines out;
	uint64_t t = 0, cleared = 0;	// now, and the latest clear of the latch

	bool Down(uint64_t at) const
	{
		for (const Press& p : presses)
			if (p.downUs <= at * MS && at * MS < p.upUs)
				return true;
		return false;
	}
	bool Latched(uint64_t at) const
	{
		for (const Press& p : presses) {
			uint64_t d = p.downUs / MS, u = p.upUs / MS;
			bool press = edge != LatchEdge::Release, release = edge != LatchEdge::Press;
			if ((press && d > cleared && d <= at) || (release && u > cleared && u <= at))
				return true;
		}
		return false;
	}
	void Say(const std::string& what)
	{
		char stamp[32];
		snprintf(stamp, sizeof stamp, "%u.%03u ", unsigned(t / 1000), unsigned(t % 1000));
		out.push_back(stamp + what);
	}
	bool Pressed()	// the level poll, with its debug line
	{
		bool down = Down(t);
		if (down && debug > 1)
			Say("log5 IsButtonPressed(): true");
		return down;
	}
	void Select()
	{
		static const char* const commands[] = {
			"/bin/tallyrep -auto &> /dev/null",
			"/bin/tallyrep -i -l -s buttonpush &> /dev/null",
			"echo \"User Button Checkin\" > /tmp/tesk_trigger 2> /dev/null",
			"touch /etc/vorn/wireless/FORCE_PROVISIONING &> /dev/null",
			"touch /etc/vorn/wireless/FORCE_PRL &> /dev/null",
			"/bin/sh /etc/vorn/recovery/firstboot/factory_reset &> /dev/null",
		};
		unsigned count = 0;
		uint64_t window = t;
		bool open = true;
		for (cleared = t; open && t - window < 5000;) {
			t += 80;
			if (!Latched(t))
				continue;
			if (debug > 1)
				Say("log5 HasButtonBeenPressed(): true");
			if (Pressed())
				continue;
			if (debug > 0)
				Say("log5  Button Pressed " + std::to_string(++count));
			else
				++count;
			if (count == 16)
				count = 0, open = false;
			window = cleared = t;
		}
		if (count == 0)
			return Say("log5  No Command selected. Clearing.");
		Say("log5 Running Command for Action " + std::to_string(count) + ".");
		t += 2000;
		Say(SIGUSR2_LINE);
		if (count <= 6)
			Say(std::string("sh ") + commands[count - 1]);
		else
			Say("log5 No command ro run: " + std::to_string(count));
	}
	void Run(uint64_t until)
	{
		while (t < until) {
			t += 1000;
			if (!Pressed())
				continue;
			Say("log5 Start of button hold...");
			t += 4000;
			if (Pressed()) {
				Say("log5  Button was held for 4 SEC...");
				Say(SIGUSR1_LINE);
				t += 2000;
				Select();
				Say(SIGUSR2_LINE);
			} else {
				Say("log5  Was not held long enough.  Cleared.");
			}
			cleared = t;
		}
	}
};

// Random gestures: a stray tap, a hold of 3 to 8 s (sometimes let go and
// taken again), then up to 20 presses with lengths and gaps around the
// 80 ms poll and the 5 s window, on any latch edge and debug level.
// BUTTOND_SEED=N replays case N alone.
TEST(Gesture, AgreesWithTheModelOnRandomPresses)
{
	const char* replay = getenv("BUTTOND_SEED");
	unsigned first = replay ? unsigned(atoi(replay)) : 1, last = replay ? first : 400;
	for (unsigned seed = first; seed <= last; seed++) {
		std::mt19937 rng(seed);
		auto ms = [&](uint64_t lo, uint64_t hi) {
			return std::uniform_int_distribution<uint64_t>(lo, hi)(rng) * MS;
		};
		std::vector<Press> p;
		uint64_t t = ms(0, 1500);
		if (rng() % 4 == 0)
			p.push_back({t, t + ms(20, 200)}), t += ms(400, 600);
		uint64_t hold = ms(3000, 8000);
		if (rng() % 5 == 0)
			p.push_back({t, t + hold / 3}), t += hold / 3 + ms(20, 500);
		p.push_back({t, t + hold}), t += hold;
		for (int n = rng() % 21; n > 0; n--) {
			uint64_t gap = rng() % 6 == 0 ? ms(4700, 5300) : ms(10, 1200);
			t += gap;
			p.push_back({t, t + ms(10, rng() % 8 == 0 ? 1500 : 300)});
			t = p.back().upUs;
		}
		LatchEdge edge = LatchEdge(rng() % 3);
		Model m{p, edge, int(rng() % 3), {}};
		m.Run(t / MS + 30000);
		BoardWorld b(p, m.debug, edge);
		b.RunUntil(m.t * MS);
		ASSERT_EQ(Timeline(), m.out) << "BUTTOND_SEED=" << seed;
		ASSERT_EQ(world.now, m.t * MS) << "BUTTOND_SEED=" << seed;
		bool latched = b.gpio[GPIO_EVENT] & BUTTON_MASK;
		ASSERT_EQ(latched, m.Latched(m.t)) << "BUTTOND_SEED=" << seed;
	}
}

}  // namespace
