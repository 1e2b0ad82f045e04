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

// A sample that saw something: when, the level, the latch, and whether the
// latch came with no level change to show for it.
struct Seen {
	uint64_t us;
	bool low, latched, hidden;
};

// Three taps of 150 ms a second apart, the latch caught at each press.
std::vector<Seen> Taps()
{
	std::vector<Seen> s;
	for (uint64_t t = 100 * MS; t < 3000 * MS; t += 1000 * MS)
		s.insert(s.end(), {{t, true, true, false}, {t + 150 * MS, false, false, false}});
	return s;
}

std::string Verdict(const std::vector<Seen>& seen, uint64_t worstLateUs = 300, bool startLow = false)
{
	static Record r;
	static Analysis a;
	r = Record();
	r.startLow = startLow;
	uint64_t before = 0;
	for (const Seen& s : seen) {
		r.changes[r.count++] = {s.us, s.us - before, s.low, s.latched, s.hidden};
		before = s.us;
	}
	r.endUs = 4000 * MS;
	r.samples = 16000;
	for (uint64_t i = 0; i < 15999; i++)
		r.late.Add(i == 7 ? worstLateUs : 50);
	buttonMask = BUTTON_MASK;
	Analyse(r, a);
	char* text = nullptr;
	size_t size = 0;
	FILE* f = open_memstream(&text, &size);
	bool ok = PrintVerdict(f, r, a, 3, 4000 * MS);
	fclose(f);
	std::string said = std::string(text) + (ok ? "status 0" : "status 1");
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
	struct Case {
		const char* what;
		std::string said;
		std::vector<const char*> lines;
	} cases[] = {
		{"three clean taps", Verdict(Taps()),
		 {"ok   chatter: longest 0.00 ms", "ok   latch: caught an edge of every press: the press edge",
		  "ok   level: the pin reads low while held", "ok   wake-ups: worst 0.30 ms", "status 0"}},
		{"release chatter", Verdict(chatter),
		 {"FAIL chatter: release chatter 24.0 ms > 20 ms (press 2)", "a press may count twice", "status 1"}},
		{"glitch while held", Verdict(glitch), {"ok   chatter: longest 2.00 ms", "status 0"}},
		{"a press the latch missed", Verdict(missed),
		 {"FAIL latch: caught no edge of 1 of 3 presses: the daemon loses such presses", "status 1"}},
		{"latch a sample late", Verdict(late), {"the press edge", "ok   level", "status 0"}},
		{"latch with the pin steady", Verdict(stray),
		 {"FAIL level: the latch set 1 time with the pin steady", "count presses nobody made", "status 1"}},
		{"active-high pin", Verdict({{100 * MS, false, true, false}, {250 * MS, true, false, false}}, 300, true),
		 {"FAIL level: the pin reads low while up and high while held, not active-low", "status 1"}},
		{"busy board", Verdict(Taps(), 25 * MS),
		 {"FAIL wake-ups: worst 25.00 ms late, 99.9 % within 0.06 ms", "the daemon may miss a press",
		  "status 1"}},
		{"pin never moved", Verdict({}), {"FAIL presses: the pin never moved in 4 s", "status 1"}},
	};
	for (const Case& c : cases)
		for (const char* line : c.lines)
			EXPECT_NE(c.said.find(line), std::string::npos) << c.what << ": no \"" << line << "\" in\n"
									 << c.said;
}

}  // namespace
