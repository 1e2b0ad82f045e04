#include <gtest/gtest.h>

#include <stdio.h>

#include <sstream>

#include "select/actions.h"
#include "sim/world/virtual_board.h"
#include "tests/outcome.h"

namespace {

// The timeline a gesture must give, to the millisecond, written down from
// the rules a person is told and the daemon's timing: the idle poll every
// second, the check four seconds later, the blinks of 250 ms halves, the
// selection's readings at its start and 20 ms later, its polls every 80 ms,
// a press counted 20 ms after the poll that finds it up and the latch
// cleared 20 ms after that, the window closing at the first poll five
// seconds after the last count. "blink N from T" stands for the eight
// halves of a blink of N that starts at T.
std::string Expand(const std::string& text)
{
	std::istringstream in(text);
	std::string out;
	for (std::string line; std::getline(in, line);) {
		line.erase(0, line.find_first_not_of(" \t"));
		unsigned n, s, ms;
		if (line.empty())
			continue;
		if (sscanf(line.c_str(), "blink %u from %u.%u", &n, &s, &ms) != 3) {
			out += line + "\n";
			continue;
		}
		for (unsigned half = 1; half < 8; half++) {
			unsigned t = s * 1000 + ms + half * 250;
			char l[64];
			snprintf(l, sizeof l, "%u.%03u led %08X\n", t / 1000, t % 1000, half % 2 ? ~n : 0xFFFFFFFF);
			out += l;
		}
	}
	return out;
}

struct Case {
	const char* what;
	int debug;
	LatchEdge edge;
	std::vector<Press> presses;
	uint64_t clearAt;	// an attempt ends then, clearing the latch; 0: no check
	const char* timeline;
};

const Case CASES[] = {
	{"a hold let go in the blink and two taps, debug 2", 2, LatchEdge::Press,
	 {{500 * MS, 6500 * MS}, {7300 * MS, 7420 * MS}, {7900 * MS, 8010 * MS}}, 0, R"(
	0.000 led FFFFFFFF
	1.000 log5 IsButtonPressed(): true
	1.000 log5 Start of button hold...
	5.000 log5 IsButtonPressed(): true
	5.000 log5  Button was held for 4 SEC...
	5.000 sh killall -SIGUSR1 lumend &> /dev/null
	blink 15 from 5.000
	7.000 led FFFFFFFF
	7.320 log5 HasButtonBeenPressed(): true
	7.320 log5 IsButtonPressed(): true
	7.400 log5 HasButtonBeenPressed(): true
	7.400 log5 IsButtonPressed(): true
	7.480 log5 HasButtonBeenPressed(): true
	7.500 log5  Button Pressed 1
	7.500 led FFFFFFFE
	7.920 log5 HasButtonBeenPressed(): true
	7.920 log5 IsButtonPressed(): true
	8.000 log5 HasButtonBeenPressed(): true
	8.000 log5 IsButtonPressed(): true
	8.080 log5 HasButtonBeenPressed(): true
	8.100 log5  Button Pressed 2
	8.100 led FFFFFFFD
	13.160 log5 Running Command for Action 2.
	13.160 led FFFFFFFF
	blink 2 from 13.160
	15.160 sh killall -SIGUSR2 lumend &> /dev/null
	15.160 sh /bin/tallyrep -i -l -s buttonpush &> /dev/null
	15.160 sync
	15.160 led FFFFFFFF
	15.160 sh killall -SIGUSR2 lumend &> /dev/null
	)"},
	{"a hold too short, a hold through the blink and one press across polls, debug 1", 1,
	 LatchEdge::Release, {{1500 * MS, 3200 * MS}, {6500 * MS, 13200 * MS}, {13500 * MS, 13800 * MS}},
	 6 * SEC, R"(
	0.000 led FFFFFFFF
	2.000 log5 Start of button hold...
	6.000 log5  Was not held long enough.  Cleared.
	7.000 log5 Start of button hold...
	11.000 log5  Button was held for 4 SEC...
	11.000 sh killall -SIGUSR1 lumend &> /dev/null
	blink 15 from 11.000
	13.000 led FFFFFFFF
	13.840 log5  Button Pressed 1
	13.840 led FFFFFFFE
	18.900 log5 Running Command for Action 1.
	18.900 led FFFFFFFF
	blink 1 from 18.900
	20.900 sh killall -SIGUSR2 lumend &> /dev/null
	20.900 sh /bin/tallyrep -auto &> /dev/null
	20.900 sync
	20.900 led FFFFFFFF
	20.900 sh killall -SIGUSR2 lumend &> /dev/null
	)"},
};

TEST(Gesture, TimelinesToTheMillisecond)
{
	for (const Case& c : CASES) {
		BoardWorld b(c.presses, c.debug, c.edge);
		if (c.clearAt != 0) {
			// An attempt ends by clearing the latch, whatever came of
			// it: the mask alone, written, for the device to answer.
			b.RunUntil(c.clearAt);
			EXPECT_EQ(b.gpio[GPIO_EVENT], BUTTON_MASK) << c.what;
		}
		b.RunUntil(25 * SEC);
		EXPECT_EQ(Timeline(), Expand(c.timeline)) << c.what;
	}
}

// Every action's command line as the shell gets it, after the blink and the
// light daemon's signal, and what it wrote made durable once it returned;
// numbers without an action only say so, and write nothing to make durable.
TEST(Gesture, ActionTable)
{
	const char* const commands[] = {
		nullptr,
		"/bin/tallyrep -auto &> /dev/null",
		"/bin/tallyrep -i -l -s buttonpush &> /dev/null",
		"echo \"User Button Checkin\" > /tmp/tesk_trigger 2> /dev/null",
		"touch /etc/vorn/wireless/FORCE_PROVISIONING &> /dev/null",
		"touch /etc/vorn/wireless/FORCE_PRL &> /dev/null",
		"/bin/sh /etc/vorn/recovery/firstboot/factory_reset &> /dev/null",
		nullptr,
	};
	for (uint32_t n = 0; n < 8; n++) {
		BoardWorld b({}, 0);
		world.shell = [](const char*) {
			world.Advance(300 * MS);	// a command takes its time
			return 0;
		};
		RunAction(n);
		std::vector<Event> shell = world.Only(Event::SHELL);
		ASSERT_EQ(shell.size(), commands[n] ? 2u : 1u) << n;
		EXPECT_EQ(shell[0].text, "killall -SIGUSR2 lumend &> /dev/null");
		EXPECT_EQ(shell[0].us, 2 * SEC) << "the blink comes first";
		std::vector<Event> syncs = world.Only(Event::SYNC);
		ASSERT_EQ(syncs.size(), commands[n] ? 1u : 0u) << n;
		if (commands[n]) {
			EXPECT_EQ(shell[1].text, commands[n]);
			EXPECT_GE(syncs[0].us, shell[1].us + 300 * MS) << "after the command returned";
		} else
			EXPECT_EQ(world.Only(Event::LOG).back().text, "No command ro run: " + std::to_string(n));
	}
}

}  // namespace
