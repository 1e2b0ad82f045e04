#include "probe/analysis.h"

#include <string.h>

// An edge is done once the pin has kept still for QUIET_US; what it did
// depends on the level before it and after.
static void Close(Analysis& a, const Edge& e, bool before, bool after)
{
	bool idle = a.idleLow;
	if (before == idle && after != idle) {
		if (a.pressCount < Analysis::MAX_PRESSES) {
			PressSeen& p = a.presses[a.pressCount++];
			p.down = e;
			p.released = false;
		}
	} else if (before != idle && after == idle) {
		if (a.pressCount > 0 && !a.presses[a.pressCount - 1].released) {
			PressSeen& p = a.presses[a.pressCount - 1];
			p.up = e;
			p.released = true;
		}
	} else if (e.changes == 0) {
		a.strayLatches += e.hidden;
		a.strayUp += before == idle ? e.hidden : 0;
	} else if (a.glitchCount < Analysis::MAX_GLITCHES) {
		a.glitches[a.glitchCount++] = {e, before != idle};
	}
}

void Analyse(const Record& r, Analysis& a)
{
	memset(&a, 0, sizeof a);
	// The pin rests where the run leaves it, unless a press is held then:
	// low at both ends is a pin that rests low.
	bool endLow = r.count > 0 ? r.changes[r.count - 1].low : r.startLow;
	a.idleLow = r.startLow && endLow;
	a.downAtStart = r.startLow && !a.idleLow;
	bool level = r.startLow, before = level, open = false;
	Edge e = {};
	for (size_t i = 0; i < r.count; i++) {
		const Change& c = r.changes[i];
		// Toggles only the latch saw are changes too, in the gap before.
		if (c.low != level || c.hidden) {
			if (!open || c.us - e.lastUs > QUIET_US) {
				if (open)
					Close(a, e, before, level);
				e = {c.us, c.us, 0, 0, false, c.sinceUs, 0};
				before = level;
				open = true;
			}
			e.changes += c.low != level;
			e.hidden += c.hidden;
			e.lastUs = c.us;
			e.gapAfterUs = c.afterUs;
			level = c.low;
		}
		// An edge between a sample's two reads shows in the latch a
		// sample later.
		if (c.latched && open && c.us - c.sinceUs <= e.lastUs + LATCH_SLACK_US)
			e.latched = true;
		else if (c.latched) {
			a.strayLatches++;
			a.strayUp += c.low == a.idleLow;
		}
	}
	if (open)
		Close(a, e, before, level);
	// A release still chattering at the end is no settled press.
	a.complete = a.pressCount;
	if (a.pressCount > 0) {
		const PressSeen& last = a.presses[a.pressCount - 1];
		if (!last.released || r.endUs - last.up.lastUs <= LATE_CLEAR_US)
			a.complete--;
	}
}
