#include "probe/sampler.h"

#include "board/button.h"
#include "board/registers.h"
#include "daemon/globals.h"
#include "probe/analysis.h"
#include "probe/clock.h"

// A GPIO block clears its latch at once. The simulated board's device, and
// the emulated board's, answer a write-1-to-clear a millisecond or two
// later and read back exactly what was written meanwhile, while they
// publish a latched edge with bit 0 set too. A clear's read-back tells
// which this is; retried, as the device may answer between the two. A
// latch that reads back the clear for longer than STUCK_US does not clear
// at all, and is taken as set each time.
static const uint64_t STUCK_US = 100000;

static bool AnswersLate()
{
	for (int i = 0; i < 3; i++) {
		ClearButtonEvent();
		if (ReadRegister(gpioBlock, GPIO_EVENT) == buttonMask)
			return true;
	}
	return false;
}

static void Note(Record& r, const Change& c)
{
	if (r.count == Record::MAX) {
		r.full = true;
		return;
	}
	r.changes[r.count++] = c;
}

static bool Settled(const Record& r, unsigned presses)
{
	static Analysis a;
	Analyse(r, a);
	return a.complete >= presses;
}

void Watch(Record& r, unsigned presses, uint64_t limitUs)
{
	bool late = AnswersLate();
	uint64_t zero = NowUs(), due = zero, last = zero, lastChange = 0, pendingSince = 0;
	bool prevLow = false, prevUnlatchedChange = false, unjudged = false, pending = false;
	for (;;) {
		uint64_t now = NowUs();
		if (r.samples > 0) {
			r.late.Add(now > due ? now - due : 0);
			if (now - last > r.longestGapUs)
				r.longestGapUs = now - last;
		}
		uint64_t since = now - last;
		last = now;
		uint64_t us = now - zero;

		uint32_t event = ReadRegister(gpioBlock, GPIO_EVENT);
		bool latched = (event & buttonMask) != 0;
		if (late && event == buttonMask) {
			if (!pending)
				pendingSince = now;
			pending = true;
			latched = now - pendingSince > STUCK_US;
		} else {
			pending = false;
		}
		if (latched) {
			ClearButtonEvent();
			pendingSince = now;
		}
		bool low = (ReadRegister(gpioBlock, GPIO_DATA) & buttonMask) == 0;
		if (r.samples == 0)
			r.startLow = prevLow = low;
		bool changed = low != prevLow;
		// An edge between this sample's two reads shows in the level now
		// and in the latch at the next sample.
		bool hidden = latched && !changed && !prevUnlatchedChange;
		if (changed || latched) {
			Note(r, {us, since, low, latched, hidden});
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
