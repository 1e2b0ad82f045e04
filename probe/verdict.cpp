#include "probe/verdict.h"

#include <sched.h>

#include "daemon/globals.h"
#include "probe/sampler.h"

static const char* Plural(unsigned n) { return n == 1 ? "" : "s"; }
static double Ms(uint64_t us) { return double(us) / 1000.0; }
static double S(uint64_t us) { return double(us) / 1e6; }

static const char* Latched(const PressSeen& p)
{
	bool down = p.down.latched, up = p.released && p.up.latched;
	return down && up ? "both" : down ? "press" : up ? "release" : "none";
}

void PrintPresses(FILE* f, const Record& r, const Analysis& a)
{
	if (a.downAtStart)
		fprintf(f, "the button was down at the start: its release is no press\n");
	for (unsigned i = 0; i < a.pressCount; i++) {
		const PressSeen& p = a.presses[i];
		fprintf(f, "press %u: down at %.4f s, press chatter %.2f ms (%u changes)", i + 1,
			S(p.down.firstUs), Ms(p.down.ChatterUs()), p.down.changes);
		if (p.released)
			fprintf(f, "; up at %.4f s, release chatter %.2f ms (%u changes); held %.1f ms",
				S(p.up.firstUs), Ms(p.up.ChatterUs()), p.up.changes,
				Ms(p.up.firstUs - p.down.firstUs));
		else
			fprintf(f, "; still held at the end, left out of the latch check");
		fprintf(f, "; latch set by: %s\n", Latched(p));
		unsigned hidden = p.down.hidden + (p.released ? p.up.hidden : 0);
		if (hidden > 0)
			fprintf(f, "press %u: toggles only the latch saw, in %u gap%s between samples\n", i + 1,
				hidden, Plural(hidden));
	}
	for (unsigned i = 0; i < a.glitchCount; i++) {
		const Glitch& g = a.glitches[i];
		fprintf(f, "glitch while %s: at %.4f s, %.2f ms (%u changes), back where it was%s\n",
			g.held ? "held" : "up", S(g.edge.firstUs), Ms(g.edge.ChatterUs()), g.edge.changes,
			g.edge.latched ? ", latched" : "");
	}
	if (a.strayLatches > 0)
		fprintf(f, "latch set %u time%s with the pin steady, away from any edge\n", a.strayLatches,
			Plural(a.strayLatches));
	if (r.full)
		fprintf(f, "record full after %zu changes: later ones not shown\n", Record::MAX);
	fprintf(f, "sampled %llu times in %.1f s, every %.2f ms on average (%.2f asked), at most %.2f ms apart\n",
		(unsigned long long)r.samples, S(r.endUs), Ms(r.endUs / (r.samples > 1 ? r.samples - 1 : 1)),
		Ms(SAMPLE_US), Ms(r.longestGapUs));
}

// Longest chatter among press edges, release edges or glitches.
struct Worst {
	uint64_t us = 0;
	unsigned press = 0;
	void See(uint64_t x, unsigned n)
	{
		if (x >= us) {
			us = x;
			press = n;
		}
	}
};

// Chatter within 20 ms, with room for what the samples on either side of
// each edge may have missed.
static Status Chatter(FILE* f, const Analysis& a)
{
	Worst down, up, glitch, all;
	const Edge* unsure = nullptr;
	auto see = [&](const Edge& e, Worst& w, unsigned n) {
		w.See(e.ChatterUs(), n);
		if (e.MostUs() > BOUND_US && (unsure == nullptr || e.MostUs() > unsure->MostUs()))
			unsure = &e;
	};
	for (unsigned i = 0; i < a.pressCount; i++) {
		const PressSeen& p = a.presses[i];
		see(p.down, down, i + 1);
		if (p.released)
			see(p.up, up, i + 1);
	}
	for (unsigned i = 0; i < a.glitchCount; i++)
		if (a.glitches[i].held)
			see(a.glitches[i].edge, glitch, i + 1);
	all.See(down.us, 0);
	all.See(up.us, 0);
	all.See(glitch.us, 0);
	if (all.us <= BOUND_US && unsure == nullptr) {
		fprintf(f, "ok   chatter: longest %.2f ms, within 20 ms by %.2f ms\n", Ms(all.us),
			Ms(BOUND_US - all.us));
		return PASS;
	}
	if (all.us <= BOUND_US) {
		fprintf(f, "unsure chatter: %.2f ms seen at %.4f s, with samples %.2f ms before and %.2f ms after "
			   "it: it may have passed 20 ms; run again at real-time priority (chrt -f 10)\n",
			Ms(unsure->ChatterUs()), S(unsure->firstUs), Ms(unsure->gapBeforeUs), Ms(unsure->gapAfterUs));
		return UNSURE;
	}
	fprintf(f, "FAIL chatter:");
	const char* sep = "";
	if (down.us > BOUND_US) {
		fprintf(f, " press chatter %.1f ms > 20 ms (press %u)", Ms(down.us), down.press);
		sep = ",";
	}
	if (up.us > BOUND_US) {
		fprintf(f, "%s release chatter %.1f ms > 20 ms (press %u)", sep, Ms(up.us), up.press);
		sep = ",";
	}
	if (glitch.us > BOUND_US)
		fprintf(f, "%s a glitch of %.1f ms", sep, Ms(glitch.us));
	fprintf(f, "; longest %.1f ms, %.1f ms over: a press may count twice\n", Ms(all.us),
		Ms(all.us - BOUND_US));
	return FAIL;
}

// The pin going low and back while the button is up: static, a loose
// wire, or a release bouncing late, after the daemon has cleared its latch.
static Status Pulses(FILE* f, const Analysis& a)
{
	unsigned n = 0, latched = 0;
	const Glitch* first = nullptr;
	for (unsigned i = 0; i < a.glitchCount; i++) {
		const Glitch& g = a.glitches[i];
		if (g.held)
			continue;
		n++;
		latched += g.edge.latched;
		if (first == nullptr || (g.edge.latched && !first->edge.latched))
			first = &g;
	}
	// A latch with the pin steady while up is a pulse between two samples.
	n += a.strayUp;
	latched += a.strayUp;
	if (n == 0) {
		fprintf(f, "ok   pulses: none while the button was up\n");
		return PASS;
	}
	fprintf(f, "FAIL pulses: %u while the button was up, %u latched", n, latched);
	if (a.strayUp > 0)
		fprintf(f, ", %u of them between two samples", a.strayUp);
	if (first)
		fprintf(f, "; at %.4f s %.2f ms%s", S(first->edge.firstUs), Ms(first->edge.ChatterUs()),
			first->edge.latched ? ", latched" : ", not latched here");
	fprintf(f, ": %s\n", latched > 0 ? "the daemon counts it as a press"
				     : "counted as a press wherever the latch catches it");
	return FAIL;
}

static Status Latch(FILE* f, const Record& r, const Analysis& a)
{
	unsigned none = 0, press = 0, release = 0, both = 0, judged = 0;
	for (unsigned i = 0; i < a.pressCount; i++) {
		const PressSeen& p = a.presses[i];
		if (!p.released)
			continue;	// its release may yet latch
		judged++;
		bool d = p.down.latched, u = p.up.latched;
		none += !d && !u;
		press += d && !u;
		release += u && !d;
		both += d && u;
	}
	const char* held = judged < a.pressCount ? " (a press held at the end left out)" : "";
	// A kernel driver that takes the button's interrupt clears the latch
	// itself, before the daemon can read it.
	const char* fix = r.intMask & buttonMask ? "; its interrupt is unmasked: a kernel driver may clear the latch"
						  : "";
	if (judged == 0) {
		fprintf(f, "FAIL latch: no press released to judge it by\n");
		return FAIL;
	}
	if (none == judged) {
		fprintf(f, "FAIL latch: never set in %u presses%s: the daemon loses every press, "
			   "the selection always ends with no command%s\n", judged, held, fix);
		return FAIL;
	}
	if (none > 0) {
		fprintf(f, "FAIL latch: caught no edge of %u of %u presses%s: the daemon loses such presses%s\n",
			none, judged, held, fix);
		return FAIL;
	}
	fprintf(f, "ok   latch: caught an edge of every press:");
	if (press == judged)
		fprintf(f, " the press edge");
	else if (release == judged)
		fprintf(f, " the release edge");
	else if (both == judged)
		fprintf(f, " both edges");
	else
		fprintf(f, " press edge %u, release edge %u, both %u", press, release, both);
	fprintf(f, "%s\n", held);
	return PASS;
}

static Status Level(FILE* f, const Analysis& a)
{
	if (a.idleLow) {
		fprintf(f, "FAIL level: the pin reads low while up and high while held, not active-low: "
			   "the daemon sees the button held all the time and starts holds by itself\n");
		return FAIL;
	}
	if (a.strayLatches > 0) {
		fprintf(f, "FAIL level: the latch set %u time%s with the pin steady (a glitch shorter than "
			   "a sample, a latch that does not clear, or one on another bit than the level's "
			   "0x%08X): the daemon may count presses nobody made\n", a.strayLatches,
			Plural(a.strayLatches), buttonMask);
		return FAIL;
	}
	bool latched = false;
	for (unsigned i = 0; i < a.pressCount; i++)
		latched = latched || a.presses[i].down.latched || a.presses[i].up.latched;
	fprintf(f, "ok   level: the pin reads low while held (active-low)%s 0x%08X\n",
		latched ? ", and the latch sets at its edges, on the same bit" : ", bit", buttonMask);
	return PASS;
}

// The GPIO block's set-up for the button's bit, as found, against what the
// daemon needs and the edges the latch caught.
static Status SetUp(FILE* f, const Record& r, const Analysis& a)
{
	bool output = r.direction & buttonMask, irq = r.intMask & buttonMask,
	     falling = r.edgeControl & buttonMask;
	fprintf(f, "     set-up: direction 0x%08X, interrupt mask 0x%08X, edge control 0x%08X: "
		   "the button's bit an %s, interrupt %s, latching %s\n", r.direction, r.intMask,
		r.edgeControl, output ? "output" : "input", irq ? "unmasked" : "masked",
		falling ? "the press edge only" : "both edges");
	if (output) {
		fprintf(f, "FAIL set-up: the block drives the button's pin as an output: "
			   "the daemon reads what the block drives, not the button\n");
		return FAIL;
	}
	// A release that chatters falls too; only a clean one shows whether
	// the rising edge latches.
	unsigned downs = 0, clean = 0, ups = 0;
	for (unsigned i = 0; i < a.pressCount; i++) {
		const PressSeen& p = a.presses[i];
		bool c = p.released && p.up.changes == 1 && p.up.hidden == 0;
		downs += p.down.latched;
		clean += c;
		ups += c && p.up.latched;
	}
	if (falling && ups > 0) {
		fprintf(f, "warn set-up: edge control says the press edge only, yet %u release%s latched\n", ups,
			Plural(ups));
	} else if (!falling && downs == 0 && ups > 0) {
		fprintf(f, "warn set-up: edge control says both edges, yet only releases latched\n");
	} else if (!falling && downs > 0 && clean > 0 && ups == 0) {
		fprintf(f, "warn set-up: edge control says both edges, yet no clean release latched\n");
	} else if (irq) {
		fprintf(f, "warn set-up: the button's interrupt is unmasked: a kernel driver may clear "
			   "the latch before the daemon reads it\n");
	} else {
		fprintf(f, "ok   set-up: as the daemon needs it\n");
	}
	return PASS;
}

// Other pins of the block that moved: a sign of the button wired to one.
static void OtherPins(FILE* f, const Record& r)
{
	if (r.otherData == 0 && r.otherEvents == 0)
		return;
	fprintf(f, "warn other pins: data bits 0x%08X changed, event bits 0x%08X set during the run: "
		   "is the button wired to one of them?\n", r.otherData, r.otherEvents);
}

// The figures need samples well within 1 ms of each other.
static Status Sampling(FILE* f, const Record& r)
{
	uint64_t every = r.endUs / (r.samples > 1 ? r.samples - 1 : 1);
	bool ok = r.resolutionNs <= 1000000 && every <= 1000;
	fprintf(f, "%s sampling: every %.2f ms on average, timer resolution %.6f ms, wake-ups worst %.2f ms late, "
		   "99.9 %% within %.2f ms", ok ? "ok  " : "FAIL", Ms(every), double(r.resolutionNs) / 1e6,
		Ms(r.late.worstUs), Ms(r.late.Percentile(0.999)));
	fprintf(f, ok ? "\n" : ": this kernel cannot time 1 ms (no high-resolution timers?), and no figure above "
			       "can be trusted\n");
	return ok ? PASS : FAIL;
}

static const char* Policy(int p)
{
	switch (p) {
	case SCHED_OTHER: return "SCHED_OTHER";
	case SCHED_FIFO: return "SCHED_FIFO";
	case SCHED_RR: return "SCHED_RR";
#ifdef SCHED_BATCH
	case SCHED_BATCH: return "SCHED_BATCH";
#endif
#ifdef SCHED_IDLE
	case SCHED_IDLE: return "SCHED_IDLE";
#endif
	}
	return "an unknown policy";
}

// The daemon's own sleeps, and the sampling's under the same load.
static Status Wakeups(FILE* f, const Record& r)
{
	uint32_t worst = 0;
	for (unsigned i = 0; i < r.sleeps; i++)
		worst = r.sleepLateUs[i] > worst ? r.sleepLateUs[i] : worst;
	bool ok = worst <= BOUND_US && r.late.worstUs <= BOUND_US;
	fprintf(f, "%s wake-ups: ", ok ? "ok  " : "FAIL");
	if (r.sleeps > 0)
		fprintf(f, "worst %.2f ms late of %u sleeps of 20 and 80 ms as the daemon's, at %s priority %d "
			   "nice %d, and", Ms(worst), r.sleeps, Policy(r.policy), r.priority, r.nice);
	else
		fprintf(f, "none as the daemon's (stopped);");
	fprintf(f, " %.2f ms while sampling", Ms(r.late.worstUs));
	if (ok)
		fprintf(f, ": within the 20 ms a busy board may take\n");
	else
		fprintf(f, ": over 20 ms; under this load the daemon may miss a press or count one twice\n");
	return ok ? PASS : FAIL;
}

static Status Worse(Status a, Status b) { return a == FAIL || b == FAIL ? FAIL : a == UNSURE ? a : b; }

Status PrintVerdict(FILE* f, const Record& r, const Analysis& a, unsigned wanted, uint64_t limitUs)
{
	Status st = PASS;
	if (a.pressCount == 0) {
		fprintf(f, "FAIL presses: the pin never moved in %.0f s\n", S(limitUs));
		if (a.strayLatches > 0)
			Level(f, a);
		st = FAIL;
	} else {
		if (a.complete < wanted) {
			fprintf(f, "FAIL presses: %u of %u in %.0f s%s: not enough to judge the board by\n",
				a.complete, wanted, S(r.stopped ? r.endUs : limitUs), r.stopped ? ", stopped" : "");
			st = FAIL;
		}
		st = Worse(st, Chatter(f, a));
		st = Worse(st, Pulses(f, a));
		st = Worse(st, Latch(f, r, a));
		st = Worse(st, Level(f, a));
	}
	st = Worse(st, SetUp(f, r, a));
	OtherPins(f, r);
	st = Worse(st, Sampling(f, r));
	return Worse(st, Wakeups(f, r));
}

void PrintCsv(FILE* f, const Analysis& a)
{
	fprintf(f, "press,down_s,up_s,held_ms,press_chatter_ms,press_changes,"
		   "release_chatter_ms,release_changes,latch,latch_only\n");
	for (unsigned i = 0; i < a.pressCount; i++) {
		const PressSeen& p = a.presses[i];
		fprintf(f, "%u,%.6f,", i + 1, S(p.down.firstUs));
		if (p.released)
			fprintf(f, "%.6f,%.3f,", S(p.up.firstUs), Ms(p.up.firstUs - p.down.firstUs));
		else
			fprintf(f, ",,");
		fprintf(f, "%.3f,%u,", Ms(p.down.ChatterUs()), p.down.changes);
		if (p.released)
			fprintf(f, "%.3f,%u,", Ms(p.up.ChatterUs()), p.up.changes);
		else
			fprintf(f, ",,");
		fprintf(f, "%s,%u\n", Latched(p), p.down.hidden + (p.released ? p.up.hidden : 0));
	}
}
