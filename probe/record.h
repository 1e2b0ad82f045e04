// What the probe saw of the button: each sample where the pin's level
// changed or the latch was found set, and how late its sleeps woke.
#ifndef BUTTOND_PROBE_RECORD_H
#define BUTTOND_PROBE_RECORD_H

#include <stddef.h>
#include <stdint.h>

struct Change {
	uint64_t us;		// since the first sample
	uint32_t sinceUs;	// since the sample before
	uint32_t afterUs;	// to the sample after, 0 for the last
	bool low;		// the pin's level, 0 reads low
	bool latched;		// the button's latch bit was set, and was cleared
	bool hidden;		// latched with no change of level to show for it
};

// Wake-up lateness in 10 µs bins up to 100 ms, the rest in the last.
struct Lateness {
	static const size_t BINS = 10001;
	static const uint64_t BIN_US = 10;
	uint32_t bins[BINS];
	uint64_t count, worstUs;

	void Add(uint64_t us);
	// The lateness that this fraction of the wake-ups stayed within, to
	// the bin's upper edge.
	uint64_t Percentile(double fraction) const;
};

struct Record {
	static const size_t MAX = 16384;	// a minute of a contact chattering badly
	Change changes[MAX];
	size_t count;
	bool full;		// changes past MAX were dropped
	bool startLow;		// the pin's level at the first sample
	uint64_t endUs;		// the last sample
	uint64_t samples, longestGapUs;
	uint64_t resolutionNs;	// the monotonic clock's
	bool stopped;		// a signal ended the run early
	// The block's set-up as found, and the other pins' doings meanwhile.
	uint32_t direction, intMask, edgeControl;
	uint32_t otherData;	// data bits besides the button's that changed
	uint32_t otherEvents;	// event bits besides the button's seen set
	Lateness late;		// the sampling's sleeps
	// Sleeps as the daemon's after the run: 20 and 80 ms, relative, at the
	// policy and nice value the probe was started with.
	static const unsigned SLEEPS = 30;
	uint32_t sleepLateUs[SLEEPS];
	unsigned sleeps;
	int policy, priority, nice;
};

#endif
