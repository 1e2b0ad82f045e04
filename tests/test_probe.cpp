// The probe's verdict on boards boardsim cannot play: what a person reads
// off each check line for a given pin and latch, sample by sample.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "board/registers.h"
#include "daemon/globals.h"
#include "probe/analysis.h"
#include "probe/verdict.h"

namespace {

const uint64_t MS = 1000;

// A sample that saw something: when, the level, the latch, whether the
// latch came with no level change to show for it, and the gap to the
// samples on either side.
struct Seen {
	uint64_t us;
	bool low, latched, hidden;
	uint32_t gapUs = 250;
};

// Three taps of 150 ms a second apart, the latch caught at each press.
std::vector<Seen> Taps()
{
	std::vector<Seen> s;
	for (uint64_t t = 100 * MS; t < 3000 * MS; t += 1000 * MS)
		s.insert(s.end(), {{t, true, true, false}, {t + 150 * MS, false, false, false}});
	return s;
}

// The board around the samples: how the run began and what the block's
// set-up and the clock were.
struct Board {
	uint64_t worstLateUs = 300;
	bool startLow = false;
	unsigned wanted = 3;
	uint64_t everyUs = 250, resolutionNs = 1;
	uint32_t intMask = 0, edgeControl = BUTTON_MASK, direction = 0, otherData = 0;
};

std::string Verdict(const std::vector<Seen>& seen, void (*set)(Board&) = nullptr)
{
	Board b;
	if (set)
		set(b);
	static Record r;
	static Analysis a;
	r = Record();
	r.startLow = b.startLow;
	for (const Seen& s : seen)
		r.changes[r.count++] = {s.us, s.gapUs, s.gapUs, s.low, s.latched, s.hidden};
	r.endUs = 4000 * MS;
	r.samples = r.endUs / b.everyUs + 1;
	r.resolutionNs = b.resolutionNs;
	r.intMask = b.intMask;
	r.edgeControl = b.edgeControl;
	r.direction = b.direction;
	r.otherData = b.otherData;
	for (uint64_t i = 0; i < 15999; i++)
		r.late.Add(i == 7 ? b.worstLateUs : 50);
	for (unsigned i = 0; i < Record::SLEEPS; i++)
		r.sleepLateUs[r.sleeps++] = i == 3 ? uint32_t(b.worstLateUs) : 100;
	buttonMask = BUTTON_MASK;
	Analyse(r, a);
	char* text = nullptr;
	size_t size = 0;
	FILE* f = open_memstream(&text, &size);
	PrintPresses(f, r, a);
	int st = PrintVerdict(f, r, a, b.wanted, 4000 * MS);
	fclose(f);
	std::string said = std::string(text) + "status " + std::to_string(st);
	free(text);
	return said;
}

TEST(ProbeVerdict, SaysWhatTheDaemonWillDo)
{
	std::vector<Seen> chatter = Taps(), glitch = Taps(), missed = Taps(), late = Taps(), stray = Taps();
	// 24 ms of release chatter on the second press.
	chatter.insert(chatter.begin() + 4, {{1160 * MS, true, false, false}, {1174 * MS, false, false, false}});
	chatter[3].us = 1150 * MS;
	// A 2 ms glitch while the first press is held: no press, no harm.
	glitch.insert(glitch.begin() + 1, {{160 * MS, false, false, false}, {162 * MS, true, false, false}});
	// The latch missed the third press.
	missed[4].latched = false;
	// The edge fell between a sample's reads: its latch one sample later.
	late[2].latched = false;
	late.insert(late.begin() + 3, {1100 * MS + 250, true, true, false});
	// The latch set in the middle of a quiet second.
	stray.insert(stray.begin() + 2, {600 * MS, false, true, true});
	// A 2 ms pulse between two presses, latched at its falling edge.
	std::vector<Seen> pulse = Taps(), bounce = Taps(), startDown = Taps(), heldEnd = Taps(), gappy = Taps();
	pulse.insert(pulse.begin() + 2, {{600 * MS, true, true, false}, {602 * MS, false, false, false}});
	// The last release bounces once 30 ms after it settled.
	bounce.insert(bounce.end(), {{2280 * MS, true, true, false}, {2281 * MS, false, false, false}});
	// Down as the probe starts, let go at 50 ms: three presses after it.
	startDown.insert(startDown.begin(), {50 * MS, false, false, false});
	// The third press held past the end, its release edge all that latches.
	for (Seen& s : heldEnd)
		s.latched = !s.low;
	heldEnd.pop_back();
	// 18 ms of press chatter between samples 3 ms apart.
	gappy[2].gapUs = 3000;
	gappy.insert(gappy.begin() + 3, {{1116 * MS, false, false, false}, {1118 * MS, true, false, false, 3000}});
	struct Case {
		const char* what;
		std::string said;
		std::vector<const char*> lines;
	} cases[] = {
		{"three clean taps", Verdict(Taps()),
		 {"ok   chatter: longest 0.00 ms", "ok   latch: caught an edge of every press: the press edge",
		  "ok   level: the pin reads low while held", "ok   wake-ups: worst 0.30 ms late of 30 sleeps", "status 0"}},
		{"release chatter", Verdict(chatter),
		 {"FAIL chatter: release chatter 24.0 ms > 20 ms (press 2)", "a press may count twice", "status 1"}},
		{"glitch while held", Verdict(glitch), {"ok   chatter: longest 2.00 ms", "status 0"}},
		{"a press the latch missed", Verdict(missed),
		 {"FAIL latch: caught no edge of 1 of 3 presses: the daemon loses such presses", "status 1"}},
		{"latch a sample late", Verdict(late), {"the press edge", "ok   level", "status 0"}},
		{"latch with the pin steady", Verdict(stray),
		 {"FAIL level: the latch set 1 time with the pin steady", "count presses nobody made", "status 1"}},
		{"active-high pin",
		 Verdict({{100 * MS, false, true, false}, {250 * MS, true, false, false}}, [](Board& b) { b.startLow = true; }),
		 {"FAIL level: the pin reads low while up and high while held, not active-low", "status 1"}},
		{"busy board", Verdict(Taps(), [](Board& b) { b.worstLateUs = 25 * MS; }),
		 {"FAIL wake-ups: worst 25.00 ms late of 30 sleeps of 20 and 80 ms as the daemon's, at SCHED_OTHER "
		  "priority 0 nice 0, and 25.00 ms while sampling", "the daemon may miss a press", "status 1"}},
		{"pin never moved", Verdict({}), {"FAIL presses: the pin never moved in 4 s", "status 1"}},
		{"latched pulse between presses", Verdict(pulse),
		 {"FAIL pulses: 1 while the button was up, 1 latched; at 0.6000 s 2.00 ms, latched: "
		  "the daemon counts it as a press", "status 1"}},
		{"late bounce of the last release", Verdict(bounce), {"FAIL pulses: 1 while the button was up", "status 1"}},
		{"down at the start of an active-low board", Verdict(startDown, [](Board& b) { b.startLow = true; }),
		 {"the button was down at the start: its release is no press", "ok   level", "ok   latch", "status 0"}},
		{"fewer presses than asked", Verdict(Taps(), [](Board& b) { b.wanted = 5; }), {"FAIL presses: 3 of 5 in 4 s", "status 1"}},
		{"a press held at the end latching its release",
		 Verdict(heldEnd, [](Board& b) { b.wanted = 2, b.edgeControl = 0; }),
		 {"press 3: down at 2.1000 s, press chatter 0.00 ms (1 changes); still held at the end, left out",
		  "ok   latch: caught an edge of every press: the release edge (a press held at the end left out)",
		  "status 0"}},
		{"chatter near 20 ms with wide gaps", Verdict(gappy),
		 {"unsure chatter: 18.00 ms seen at 1.1000 s, with samples 3.00 ms before and 3.00 ms after", "it may have passed 20 ms", "status 3"}},
		{"no high-resolution timers", Verdict(Taps(), [](Board& b) { b.everyUs = 10 * MS, b.resolutionNs = 10000000; }),
		 {"FAIL sampling: every 10.00 ms on average, timer resolution 10.000000 ms", "cannot time 1 ms", "status 1"}},
		{"a kernel driver at the latch", Verdict(missed, [](Board& b) { b.intMask = BUTTON_MASK; }),
		 {"FAIL latch: caught no edge of 1 of 3 presses: the daemon loses such presses; its interrupt is "
		  "unmasked: a kernel driver may clear the latch", "status 1"}},
		{"the block driving the button's pin, another pin moving",
		 Verdict(Taps(), [](Board& b) { b.direction = BUTTON_MASK, b.otherData = 0x4; }),
		 {"FAIL set-up: the block drives the button's pin as an output",
		  "warn other pins: data bits 0x00000004 changed", "status 1"}},
		{"edge control against the edges seen", Verdict(Taps(), [](Board& b) { b.edgeControl = 0; }),
		 {"ok   latch", "warn set-up: edge control says both edges, yet no clean release latched", "status 0"}},
	};
	for (const Case& c : cases)
		for (const char* line : c.lines)
			EXPECT_NE(c.said.find(line), std::string::npos) << c.what << ": no \"" << line << "\" in\n"
									 << c.said;
}

}  // namespace
