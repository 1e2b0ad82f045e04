// Presses from the record: the pin's changes grouped into edges, each
// edge's chatter, and which edges set the latch.
#ifndef BUTTOND_PROBE_ANALYSIS_H
#define BUTTOND_PROBE_ANALYSIS_H

#include "probe/record.h"

// Changes closer than this belong to one edge: the daemon confirms a
// release by reading the button again 20 ms later.
constexpr uint64_t QUIET_US = 20000;
// The daemon clears what a release latched up to this long after it: a
// late bounce before then is lost, after it counts as a press.
constexpr uint64_t LATE_CLEAR_US = 40000;
// A latch seen this long after an edge's last change is still that edge's:
// the edge may fall between a sample's two reads.
constexpr uint64_t LATCH_SLACK_US = 5000;

struct Edge {
	uint64_t firstUs, lastUs;
	unsigned changes;	// changes of level seen
	unsigned hidden;	// toggles only the latch saw
	bool latched;
	uint32_t gapBeforeUs, gapAfterUs;	// unseen time at either end

	uint64_t ChatterUs() const { return lastUs - firstUs; }
	// The longest the chatter may have lasted between the samples.
	uint64_t MostUs() const { return ChatterUs() + gapBeforeUs + gapAfterUs; }
};

struct PressSeen {
	Edge down, up;
	bool released;		// up is an edge, settled or cut off by the end
};

// Chatter that left the level where it was, away from any press edge.
struct Glitch {
	Edge edge;
	bool held;		// while the button was held
};

struct Analysis {
	static const unsigned MAX_PRESSES = 100, MAX_GLITCHES = 100;
	PressSeen presses[MAX_PRESSES];
	unsigned pressCount;	// presses begun, at most MAX_PRESSES
	unsigned complete;	// presses whose release has settled
	Glitch glitches[MAX_GLITCHES];
	unsigned glitchCount;
	unsigned strayLatches;	// latch set with the pin steady, far from any edge
	unsigned strayUp;	// of them, while the button was up: a pulse between samples
	bool idleLow;		// the pin rests low: low at both ends of the run
	bool downAtStart;	// a press already on at the first sample, not counted
};

void Analyse(const Record& record, Analysis& analysis);

#endif
