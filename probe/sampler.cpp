#include "probe/sampler.h"

#include <string.h>

#include "board/button.h"
#include "board/registers.h"
#include "daemon/globals.h"
#include "probe/analysis.h"
#include "probe/clock.h"

// The simulated board, and the emulated one, answer a write-1-to-clear in a
// millisecond or two: until then the word reads back exactly what was
// written, where a new edge reads otherwise. A real GPIO block clears at
// once; there a fresh latch that reads exactly the button's bit is seen
// this much later.
static const uint64_t CLEAR_ANSWER_US = 10000;

void Lateness::Add(uint64_t us)
{
	size_t bin = us / BIN_US;
	bins[bin < BINS ? bin : BINS - 1]++;
	count++;
	if (us > worstUs)
		worstUs = us;
}

uint64_t Lateness::Percentile(double fraction) const
{
	uint64_t want = uint64_t(fraction * double(count) + 0.999999), seen = 0;
	for (size_t i = 0; i < BINS - 1; i++) {
		seen += bins[i];
		if (seen >= want)
			return (i + 1) * BIN_US;
	}
	return worstUs;
}

static void Note(Record& r, uint64_t us, bool low, bool latched, bool hidden)
{
	if (r.count == Record::MAX) {
		r.full = true;
		return;
	}
	r.changes[r.count++] = {us, low, latched, hidden};
}

static bool Settled(const Record& r, unsigned presses)
{
	static Analysis a;
	Analyse(r, a);
	return a.complete >= presses;
}

void Watch(Record& r, unsigned presses, uint64_t limitUs)
{
	memset(&r, 0, sizeof r);
	uint64_t zero = NowUs(), due = zero, last = zero, clearedAt = 0, lastChange = 0;
	bool cleared = false, prevLow = false, prevUnlatchedChange = false, unjudged = false;
	for (;;) {
		uint64_t now = NowUs();
		if (r.samples > 0) {
			r.late.Add(now > due ? now - due : 0);
			if (now - last > r.longestGapUs)
				r.longestGapUs = now - last;
		}
		last = now;
		uint64_t us = now - zero;

		uint32_t event = ReadRegister(gpioBlock, GPIO_EVENT);
		bool latched = (event & buttonMask) != 0 &&
			       !(cleared && event == buttonMask && now - clearedAt < CLEAR_ANSWER_US);
		if (latched) {
			ClearButtonEvent();
			cleared = true;
			clearedAt = now;
		}
		bool low = (ReadRegister(gpioBlock, GPIO_DATA) & buttonMask) == 0;
		if (r.samples == 0)
			r.startLow = prevLow = low;
		bool changed = low != prevLow;
		// An edge between this sample's two reads shows in the level now
		// and in the latch at the next sample.
		bool hidden = latched && !changed && !prevUnlatchedChange;
		if (changed || latched) {
			Note(r, us, low, latched, hidden);
			lastChange = us;
			unjudged = true;
		}
		prevUnlatchedChange = changed && !latched;
		prevLow = low;
		r.samples++;
		r.endUs = us;

		if (us >= limitUs)
			break;
		if (unjudged && low == r.startLow && us - lastChange > QUIET_US) {
			unjudged = false;
			if (Settled(r, presses))
				break;
		}
		due += SAMPLE_US;
		if (due < now)
			due = now + SAMPLE_US;	// a late wake-up is measured, not made up
		SleepUntilUs(due);
	}
}
