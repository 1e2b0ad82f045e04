#include <gtest/gtest.h>

#include <stdio.h>

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

std::vector<uint64_t> TapsEverySecond(int n)
{
	std::vector<uint64_t> t;
	for (int i = 0; i < n; i++)
		t.push_back(8000 + 1000 * uint64_t(i));
	return t;
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

struct Scenario {
	const char* name;
	std::vector<Press> presses;
	int debug;
	LatchEdge edge;
	Lines expect;	// logs and shell commands after the confirmed hold's blink
};

TEST(Gesture, Scenarios)
{
	const std::string u1 = std::string("5.000 ") + SIGUSR1_LINE;
	const std::string u2 = SIGUSR2_LINE;
	Scenario scenarios[] = {
		{"short hold", {{500 * MS, 3000 * MS}}, 0, LatchEdge::Press,
		 {"1.000 log5 Start of button hold...",
		  "5.000 log5  Was not held long enough.  Cleared."}},
		{"released and pressed again between the samples",
		 {{500 * MS, 2000 * MS}, {4000 * MS, 6000 * MS}}, 0, LatchEdge::Press,
		 {"1.000 log5 Start of button hold...", "5.000 log5  Button was held for 4 SEC...",
		  u1, "12.040 log5  No Command selected. Clearing.", "12.040 " + u2}},
		{"tap between idle polls leaves a stale latch that never counts",
		 {{200 * MS, 400 * MS}, {3500 * MS, 8500 * MS}}, 1, LatchEdge::Press,
		 {"4.000 log5 Start of button hold...", "8.000 log5  Button was held for 4 SEC...",
		  "8.000 " + std::string(SIGUSR1_LINE),
		  "15.040 log5  No Command selected. Clearing.", "15.040 " + u2}},
		{"hold still down when selection opens, release edge latches",
		 {{500 * MS, 7500 * MS}}, 1, LatchEdge::Release,
		 {"1.000 log5 Start of button hold...", "5.000 log5  Button was held for 4 SEC...", u1,
		  "7.560 log5  Button Pressed 1", "12.600 log5 Running Command for Action 1.",
		  "14.600 " + u2, "14.600 sh /bin/tallyrep -auto &> /dev/null", "14.600 " + u2}},
		{"same hold, press edge: the release does not count",
		 {{500 * MS, 7500 * MS}}, 1, LatchEdge::Press,
		 {"1.000 log5 Start of button hold...", "5.000 log5  Button was held for 4 SEC...", u1,
		  "12.040 log5  No Command selected. Clearing.", "12.040 " + u2}},
		{"two taps between the same polls count once",
		 HoldThen({8000}, 5500), 0, LatchEdge::Press, {}},
	};
	// The last scenario's second tap falls inside the same 80 ms poll gap.
	scenarios[5].presses.push_back({8160 * MS + 10 * MS, 8160 * MS + 40 * MS});
	scenarios[5].expect = {"1.000 log5 Start of button hold...",
			       "5.000 log5  Button was held for 4 SEC...", u1,
			       "13.240 log5 Running Command for Action 1.", "15.240 " + u2,
			       "15.240 sh /bin/tallyrep -auto &> /dev/null", "15.240 " + u2};
	for (Scenario& s : scenarios) {
		BoardWorld b(s.presses, s.debug, s.edge);
		b.RunUntil(25 * SEC);
		EXPECT_EQ(Timeline(), s.expect) << s.name;
	}
}

// Every count from 1 to 16 in one table: which command runs, what is logged.
TEST(Gesture, EveryCount)
{
	const char* commands[] = {
		"/bin/tallyrep -auto &> /dev/null",
		"/bin/tallyrep -i -l -s buttonpush &> /dev/null",
		"echo \"User Button Checkin\" > /tmp/tesk_trigger 2> /dev/null",
		"touch /etc/vorn/wireless/FORCE_PROVISIONING &> /dev/null",
		"touch /etc/vorn/wireless/FORCE_PRL &> /dev/null",
		"/bin/sh /etc/vorn/recovery/firstboot/factory_reset &> /dev/null",
	};
	for (int n = 1; n <= 16; n++) {
		BoardWorld b(HoldThen(TapsEverySecond(n)), n % 2);
		b.RunUntil(40 * SEC);
		Lines logs, shell;
		for (const Event& e : world.Only(Event::LOG))
			logs.push_back(e.text);
		for (const Event& e : world.Only(Event::SHELL))
			shell.push_back(e.text);
		size_t pressLines = 0;
		for (const std::string& l : logs)
			pressLines += l.rfind(" Button Pressed ", 0) == 0;
		EXPECT_EQ(pressLines, n % 2 ? size_t(n) : 0u) << n;
		Lines expectShell = {SIGUSR1_LINE + 3};
		if (n == 16) {
			EXPECT_EQ(logs.back(), " No Command selected. Clearing.");
			EXPECT_EQ(b.led, 0xFFFFFFFFu);
		} else {
			EXPECT_EQ(logs[logs.size() - 1 - (n > 6)],
				  "Running Command for Action " + std::to_string(n) + ".");
			expectShell.push_back(SIGUSR2_LINE + 3);
			if (n <= 6)
				expectShell.push_back(commands[n - 1]);
			else
				EXPECT_EQ(logs.back(), "No command ro run: " + std::to_string(n));
		}
		expectShell.push_back(SIGUSR2_LINE + 3);
		EXPECT_EQ(shell, expectShell) << n;
	}
}

TEST(Gesture, DebugTwoLogsEveryPositivePoll)
{
	// Tap held across polls 8.04 .. 8.20 while latched: both lines at each.
	BoardWorld b({{500 * MS, 5500 * MS}, {8010 * MS, 8190 * MS}}, 2);
	b.RunUntil(9 * SEC);
	Lines t = Timeline();
	Lines head(t.begin(), t.begin() + 5);
	EXPECT_EQ(head, (Lines{"1.000 log5 IsButtonPressed(): true",
			       "1.000 log5 Start of button hold...",
			       "5.000 log5 IsButtonPressed(): true",
			       "5.000 log5  Button was held for 4 SEC...",
			       std::string("5.000 ") + SIGUSR1_LINE}));
	Lines polls(t.begin() + 5, t.begin() + 11);
	EXPECT_EQ(polls, (Lines{"8.040 log5 HasButtonBeenPressed(): true",
				"8.040 log5 IsButtonPressed(): true",
				"8.120 log5 HasButtonBeenPressed(): true",
				"8.120 log5 IsButtonPressed(): true",
				"8.200 log5 HasButtonBeenPressed(): true",
				"8.200 log5  Button Pressed 1"}));
}

}  // namespace
