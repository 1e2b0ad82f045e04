#include "sim/device/report.h"

#include <stdio.h>

#include <algorithm>

#include "sim/device/clock.h"

Report::Report(Display& d, BoardTrace& t, BoardEvents& e, const std::vector<Sight>& s, Responder& r,
	       WitnessLog* w, uint64_t zeroUs, const char* f)
    : display(d), trace(t), events(e), sights(s), responder(r), witness(w), zero(zeroUs), figures(f)
{
}

void Report::Fault(uint64_t us, const std::string& what)
{
	display.Say("boardsim: rig fault: " + what);
	events.Fault(us, what);
	failed = true;
	faults++;
}

// A stall of the responder alone is the rig's fault. One that the witness,
// on another CPU and in another process, shared was the whole machine
// standing still, the daemon with it: harmless, unless a clear of the
// daemon's waited through it, which the daemon may then have read back
// before the responder woke.
void Report::Judge(const Change& c, bool machine)
{
	char what[200];
	double ms = (c.us - c.fromUs) / 1e3;
	const char* clear = c.clear ? ", and a clear of the daemon's waited for it" : "";
	if (!machine) {
		snprintf(what, sizeof what, "the rig was away %.1f ms, past the %.0f ms a clear may wait%s", ms,
			 RIG_FAULT_US / 1e3, clear);
		return Fault(c.us, what);
	}
	machineStalls++;
	longestMachineStall = std::max(longestMachineStall, c.us - c.fromUs);
	if (c.clear) {
		snprintf(what, sizeof what, "the whole machine stood still %.1f ms%s", ms, clear);
		return Fault(c.us, what);
	}
	snprintf(what, sizeof what, "the whole machine stood still %.1f ms, every process with it", ms);
	display.Say(std::string("boardsim: machine stall: ") + what);
	events.Fault(c.us, what);
}

// The responder's CPU stood still while the second answered the clears:
// the trace's stamps of that moment are late, and a contact whose chatter
// came that late was no contact within its limits.
void Report::Late(const Change& c)
{
	char what[200];
	double ms = (c.us - c.fromUs) / 1e3;
	if (c.chatter) {
		snprintf(what, sizeof what, "the responder's CPU stood still %.1f ms, and the contact's chatter "
			 "came that late", ms);
		return Fault(c.us, what);
	}
	snprintf(what, sizeof what, "the responder's CPU stood still %.1f ms; its second answered the "
		 "clears, and the trace's stamps of that moment are late", ms);
	slowCpus++;
	display.Say(std::string("boardsim: slow CPU: ") + what);
	events.Fault(c.us, what);
}

void Report::Weigh(bool finally)
{
	if (witness != nullptr)
		for (const Gap* g; (g = witness->gaps.Peek()) != nullptr; witness->gaps.Pop())
			gaps.push_back(*g);
	uint64_t now = MonotonicUs() - zero;
	for (size_t i = 0; i < stalls.size();) {
		const Change& c = stalls[i];
		bool shared = false;
		for (const Gap& g : gaps)
			shared |= g.from <= c.fromUs + 5000 && g.to + 5000 >= c.us;
		// The witness says so within a millisecond or two of waking.
		if (shared || witness == nullptr || finally || now > c.us + 30000) {
			Judge(c, shared);
			stalls.erase(stalls.begin() + long(i));
		} else {
			i++;
		}
	}
}

void Report::Drain(bool finally)
{
	while (const Change* c = responder.changes.Peek()) {
		lastUs = c->us;
		switch (c->kind) {
		case Change::STATE:
			display.Show(c->us, c->led, c->finger, c->latched);
			trace.Record(c->us, c->led, c->pinLow, c->latched);
			events.Record(c->us, c->led, c->pinLow, c->latched, c->finger);
			break;
		case Change::FAILED:
			display.Say("boardsim: " + NeverCame(c->step, sights[c->step.sight], c->shown));
			failed = true;
			break;
		case Change::STALL:
			stalls.push_back(*c);
			break;
		case Change::LATE:
			Late(*c);
			break;
		case Change::DONE:
			done = true;
			break;
		}
		responder.changes.Pop();
	}
	for (const Change* c; (c = responder.seconded.Peek()) != nullptr; responder.seconded.Pop())
		stalls.push_back(*c);
	Weigh(finally);
	uint64_t n = responder.lost.load();
	if (n != lost) {
		lost = n;
		Fault(lastUs, "the writer fell behind, and the trace lost " + std::to_string(n) + " changes");
	}
	Figures();
}

// One line, rewritten when it changes, for the rig's own report.
void Report::Figures()
{
	if (figures == nullptr)
		return;
	char line[200];
	snprintf(line, sizeof line,
		 "clears %llu worst_answer_ms %.1f longest_gap_ms %.1f rig_faults %llu machine_stalls %llu "
		 "longest_machine_stall_ms %.1f slow_cpus %llu\n",
		 (unsigned long long)responder.clears.load(), responder.worstAnswerUs.load() / 1e3,
		 responder.worstGapUs.load() / 1e3, (unsigned long long)faults, (unsigned long long)machineStalls,
		 longestMachineStall / 1e3, (unsigned long long)slowCpus);
	if (written == line)
		return;
	written = line;
	if (FILE* f = fopen(figures, "w")) {
		fputs(line, f);
		fclose(f);
	}
}
