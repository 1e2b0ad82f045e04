#include "probe/verdict.h"

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
	for (unsigned i = 0; i < a.pressCount; i++) {
		const PressSeen& p = a.presses[i];
		fprintf(f, "press %u: down at %.4f s, press chatter %.2f ms (%u changes)", i + 1,
			S(p.down.firstUs), Ms(p.down.ChatterUs()), p.down.changes);
		if (p.released)
			fprintf(f, "; up at %.4f s, release chatter %.2f ms (%u changes); held %.1f ms",
				S(p.up.firstUs), Ms(p.up.ChatterUs()), p.up.changes,
				Ms(p.up.firstUs - p.down.firstUs));
		else
			fprintf(f, "; still held at the end");
		fprintf(f, "; latch set by: %s\n", Latched(p));
		unsigned hidden = p.down.hidden + (p.released ? p.up.hidden : 0);
		if (hidden > 0)
			fprintf(f, "press %u: toggles only the latch saw, in %u gap%s between samples\n", i + 1,
				hidden, Plural(hidden));
	}
	for (unsigned i = 0; i < a.glitchCount; i++) {
		const Glitch& g = a.glitches[i];
		fprintf(f, "glitch while %s: at %.4f s, %.2f ms (%u changes), back where it was\n",
			g.held ? "held" : "up", S(g.edge.firstUs), Ms(g.edge.ChatterUs()), g.edge.changes);
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

static bool Chatter(FILE* f, const Analysis& a)
{
	Worst down, up, glitch, all;
	for (unsigned i = 0; i < a.pressCount; i++) {
		const PressSeen& p = a.presses[i];
		down.See(p.down.ChatterUs(), i + 1);
		if (p.released)
			up.See(p.up.ChatterUs(), i + 1);
	}
	for (unsigned i = 0; i < a.glitchCount; i++)
		glitch.See(a.glitches[i].edge.ChatterUs(), i + 1);
	all.See(down.us, 0);
	all.See(up.us, 0);
	all.See(glitch.us, 0);
	if (all.us <= BOUND_US) {
		fprintf(f, "ok   chatter: longest %.2f ms, within 20 ms by %.2f ms\n", Ms(all.us),
			Ms(BOUND_US - all.us));
		return true;
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
	return false;
}

static bool Latch(FILE* f, const Analysis& a)
{
	unsigned none = 0, press = 0, release = 0, both = 0;
	for (unsigned i = 0; i < a.pressCount; i++) {
		const PressSeen& p = a.presses[i];
		bool d = p.down.latched, u = p.released && p.up.latched;
		none += !d && !u;
		press += d && !u;
		release += u && !d;
		both += d && u;
	}
	if (none == a.pressCount) {
		fprintf(f, "FAIL latch: never set in %u presses: the daemon loses every press, "
			   "the selection always ends with no command\n", a.pressCount);
		return false;
	}
	if (none > 0) {
		fprintf(f, "FAIL latch: caught no edge of %u of %u presses: the daemon loses such presses\n",
			none, a.pressCount);
		return false;
	}
	fprintf(f, "ok   latch: caught an edge of every press:");
	if (press == a.pressCount)
		fprintf(f, " the press edge\n");
	else if (release == a.pressCount)
		fprintf(f, " the release edge\n");
	else if (both == a.pressCount)
		fprintf(f, " both edges\n");
	else
		fprintf(f, " press edge %u, release edge %u, both %u\n", press, release, both);
	return true;
}

static bool Level(FILE* f, const Analysis& a)
{
	if (a.idleLow) {
		fprintf(f, "FAIL level: the pin reads low while up and high while held, not active-low: "
			   "the daemon sees the button held all the time and starts holds by itself\n");
		return false;
	}
	if (a.strayLatches > 0) {
		fprintf(f, "FAIL level: the latch set %u time%s with the pin steady (a glitch shorter than "
			   "a sample, a latch that does not clear, or one on another bit than the level's "
			   "0x%08X): the daemon may count presses nobody made\n", a.strayLatches,
			Plural(a.strayLatches), buttonMask);
		return false;
	}
	bool latched = false;
	for (unsigned i = 0; i < a.pressCount; i++)
		latched = latched || a.presses[i].down.latched || a.presses[i].up.latched;
	fprintf(f, "ok   level: the pin reads low while held (active-low)%s 0x%08X\n",
		latched ? ", and the latch sets at its edges, on the same bit" : ", bit", buttonMask);
	return true;
}

static bool Wakeups(FILE* f, const Record& r)
{
	uint64_t worst = r.late.worstUs, p999 = r.late.Percentile(0.999);
	bool ok = worst <= BOUND_US;
	fprintf(f, "%s wake-ups: worst %.2f ms late, 99.9 %% within %.2f ms, of %llu sleeps", ok ? "ok  " : "FAIL",
		Ms(worst), Ms(p999), (unsigned long long)r.late.count);
	if (ok)
		fprintf(f, ", within the 20 ms a busy board may take\n");
	else
		fprintf(f, "; %s 20 ms: under this load the daemon may miss a press or count one twice\n",
			p999 > BOUND_US ? "often over" : "over");
	return ok;
}

bool PrintVerdict(FILE* f, const Record& r, const Analysis& a, unsigned wanted, uint64_t limitUs)
{
	bool ok = true;
	if (a.pressCount == 0) {
		fprintf(f, "FAIL presses: the pin never moved in %.0f s\n", S(limitUs));
		if (a.strayLatches > 0)
			Level(f, a);
		ok = false;
	} else {
		if (a.complete < wanted)
			fprintf(f, "     presses: %u of %u in %.0f s\n", a.complete, wanted, S(limitUs));
		ok = Chatter(f, a) && ok;
		ok = Latch(f, a) && ok;
		ok = Level(f, a) && ok;
	}
	return Wakeups(f, r) && ok;
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
