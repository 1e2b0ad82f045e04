#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#include <random>

#include "select/actions.h"
#include "sim/world/virtual_board.h"

namespace {

using Lines = std::vector<std::string>;

std::string At(uint64_t ms)
{
	char s[32];
	snprintf(s, sizeof s, "%u.%03u ", unsigned(ms / 1000), unsigned(ms % 1000));
	return s;
}

std::string Led(uint32_t word)
{
	char s[16];
	return std::string(s, snprintf(s, sizeof s, "led %08X", word));
}

// "seconds.millis what" lines: log<priority> text, sh command, led <word>.
Lines Timeline()
{
	Lines out;
	for (const Event& e : world.events)
		out.push_back(At(e.us / MS) + (e.kind == Event::LOG ? "log" + std::to_string(e.priority) + " " + e.text
					       : e.kind == Event::SHELL ? "sh " + e.text : Led(e.word)));
	return out;
}

const std::string SIGUSR1_LINE = "sh killall -SIGUSR1 lumend &> /dev/null";
const std::string SIGUSR2_LINE = "sh killall -SIGUSR2 lumend &> /dev/null";

// Action 0 never comes from a selection, but has no command either.
TEST(Gesture, ActionZeroRunsNothing)
{
	BoardWorld b({}, 0);
	RunAction(0);
	EXPECT_EQ(Timeline().back(), "2.000 log5 No command ro run: 0");
	EXPECT_EQ(world.Only(Event::SHELL).size(), 1u);
}

// The gesture rules written down independently, in virtual milliseconds:
// idle poll, four-second check, 80 ms selection polls and the reading 20 ms
// after, five-second window, LED blinks and counts. It says what must be logged, run and shown, when.
struct Model {
	std::vector<Press> presses;
	LatchEdge edge;
	int debug;
	Lines out;
	uint64_t t = 0, cleared = 0;	// now, and the latest clear of the latch
	unsigned led = 99;

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
			uint64_t c = cleared * MS, a = at * MS;
			if ((edge != LatchEdge::Release && p.downUs > c && p.downUs <= a) ||
			    (edge != LatchEdge::Press && p.upUs > c && p.upUs <= a))
				return true;
		}
		return false;
	}
	void Say(const std::string& what) { out.push_back(At(t) + what); }
	void Show(unsigned count)	// active-low, the four count LEDs only
	{
		if (count != led)
			Say(Led(~(led = count)));
	}
	void Blink(unsigned count)
	{
		for (int i = 0; i < 4; i++, t += 250)
			Show(0), t += 250, Show(count);
	}
	bool Pressed()
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
		bool open = true, holdOver = false;
		while (open && t - window < 5000) {
			if (!holdOver && !Pressed()) {
				t += 20;
				if (!Pressed())
					cleared = t, holdOver = true;
			}
			t += 80;
			if (!holdOver || !Latched(t))
				continue;
			if (debug > 1)
				Say("log5 HasButtonBeenPressed(): true");
			if (Pressed())
				continue;
			t += 20;	// up again once the contact has settled
			if (Pressed())
				continue;
			if (debug > 0)
				Say("log5  Button Pressed " + std::to_string(count + 1));
			// The sixteenth press cancels: the window closes at once.
			count = count == 15 ? 0 : count + 1;
			open = count != 0;
			window = t;
			Show(count);
			if (count == 0)
				break;
			t += 20;	// the release has settled too
			if (!Pressed())
				cleared = t;
		}
		if (count == 0)
			return Say("log5  No Command selected. Clearing.");
		Say("log5 Running Command for Action " + std::to_string(count) + ".");
		Blink(count);
		Say(SIGUSR2_LINE);
		Say(count <= 6 ? "sh " + std::string(commands[count - 1])
			       : "log5 No command ro run: " + std::to_string(count));
	}
	void Run(uint64_t until)
	{
		Show(0);
		while (t < until) {
			t += 1000;
			if (!Pressed())
				continue;
			Say("log5 Start of button hold...");
			t += 4000;
			if (Pressed()) {
				Say("log5  Button was held for 4 SEC...");
				Say(SIGUSR1_LINE);
				Blink(15);
				Show(0);
				Select();
				Show(0);
				Say(SIGUSR2_LINE);
			} else {
				Say("log5  Was not held long enough.  Cleared.");
			}
			cleared = t;
		}
	}
};

// Random gestures: a stray tap, a hold of 3 to 8 s (sometimes let go and
// taken again), up to 20 presses with lengths and gaps around the 80 ms poll
// and the 5 s window, any latch edge and debug level. BUTTOND_SEED=N replays.
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
			t += rng() % 6 == 0 ? ms(4700, 5300) : ms(10, 1200);
			p.push_back({t, t + ms(10, rng() % 8 == 0 ? 1500 : 300)});
			t = p.back().upUs;
		}
		Model m{p, LatchEdge(rng() % 3), int(rng() % 3), {}};
		m.Run(t / MS + 30000);
		BoardWorld b(p, m.debug, m.edge);
		b.RunUntil(m.t * MS);
		ASSERT_EQ(Timeline(), m.out) << "BUTTOND_SEED=" << seed;
		uint32_t event = m.Latched(m.t) ? BUTTON_MASK | 1 : 0;	// as the device publishes it
		ASSERT_TRUE(world.now == m.t * MS && b.gpio[GPIO_EVENT] == event) << "BUTTOND_SEED=" << seed;
	}
}

}  // namespace
