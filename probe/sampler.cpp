#include "probe/sampler.h"

#include <errno.h>
#include <sched.h>
#include <stdio.h>
#include <sys/resource.h>
#include <time.h>

#include "board/registers.h"
#include "daemon/globals.h"
#include "probe/analysis.h"
#include "probe/clock.h"
#include "probe/latch.h"
#include "util/os.h"

volatile sig_atomic_t stopSignal;

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

// The block's set-up, read only: the daemon relies on it and sets none.
static void ReadSetUp(Record& r)
{
	r.direction = ReadRegister(gpioBlock, GPIO_DIRECTION);
	r.intMask = ReadRegister(gpioBlock, GPIO_INT_MASK);
	r.edgeControl = ReadRegister(gpioBlock, GPIO_EDGE_CONTROL);
	struct timespec res;
	if (clock_getres(CLOCK_MONOTONIC, &res) == 0)
		r.resolutionNs = uint64_t(res.tv_sec) * 1000000000 + uint64_t(res.tv_nsec);
}

void Watch(Record& r, unsigned presses, uint64_t limitUs)
{
	ReadSetUp(r);
	StartLatch();
	uint64_t zero = NowUs(), due = zero, last = zero, lastChange = 0, downAt = 0;
	bool prevLow = false, prevUnlatchedChange = false, unjudged = false, notedLast = false, moved = false;
	uint32_t firstData = 0, firstEvents = 0;
	unsigned seen = 0;
	for (;;) {
		uint64_t now = NowUs();
		if (r.samples > 0) {
			r.late.Add(now > due ? now - due : 0);
			if (now - last > r.longestGapUs)
				r.longestGapUs = now - last;
		}
		uint64_t since = now - last;
		if (notedLast)
			r.changes[r.count - 1].afterUs = uint32_t(since);
		last = now;
		uint64_t us = now - zero;

		uint32_t event;
		bool latched = TakeLatch(now, event);
		uint32_t data = ReadRegister(gpioBlock, GPIO_DATA);
		bool low = (data & buttonMask) == 0;
		if (r.samples == 0) {
			r.startLow = prevLow = low;
			firstData = data;
			firstEvents = event;
			if (low)
				printf("the button is down (the pin reads low): waiting for it to be let go\n");
		}
		r.otherData |= (data ^ firstData) & ~buttonMask;
		// Another pin's latch set before the run stays set: the probe
		// clears none but the button's.
		r.otherEvents |= event & ~firstEvents & ~buttonMask;
		bool changed = low != prevLow;
		// The first change, or one after a quiet spell, is a press going
		// down or up; a press is said once it has stayed down past its
		// chatter, so a pulse is not.
		if (changed && (!moved || us - lastChange > QUIET_US)) {
			if (low)
				downAt = us;
			else if (seen == 0 && r.startLow)
				printf("let go at %.4f s: the presses count from here\n", double(us) / 1e6);
		}
		moved = moved || changed;
		if (downAt > 0 && low && !changed && us - lastChange > QUIET_US) {
			printf("press %u at %.4f s\n", ++seen, double(downAt) / 1e6);
			downAt = 0;
		}
		// An edge between this sample's two reads shows in the level now
		// and in the latch at the next sample.
		bool hidden = latched && !changed && !prevUnlatchedChange;
		notedLast = changed || latched;
		if (notedLast) {
			Note(r, {us, uint32_t(since), 0, low, latched, hidden});
			notedLast = !r.full;
			lastChange = us;
			unjudged = true;
		}
		prevUnlatchedChange = changed && !latched;
		prevLow = low;
		r.samples++;
		r.endUs = us;

		if (us >= limitUs || stopSignal)
			break;
		// The daemon clears a release's late chatter up to LATE_CLEAR_US
		// after it: what the latch holds until then may still count.
		if (unjudged && !low && us - lastChange > LATE_CLEAR_US) {
			unjudged = false;
			if (Settled(r, presses))
				break;
		}
		due += SAMPLE_US;
		if (due < now)
			due = now + SAMPLE_US;	// a late wake-up is measured, not made up
		SleepUntilUs(due);
	}
	r.stopped = stopSignal != 0;
}

void MeasureSleeps(Record& r)
{
	r.policy = sched_getscheduler(0);
	struct sched_param sp;
	r.priority = sched_getparam(0, &sp) == 0 ? sp.sched_priority : 0;
	errno = 0;
	r.nice = getpriority(PRIO_PROCESS, 0);
	// The selection's settle reads and polls, five of the one to one of
	// the other.
	for (unsigned i = 0; i < Record::SLEEPS && !stopSignal; i++) {
		unsigned us = i % 6 == 5 ? 80000 : 20000;
		uint64_t from = NowUs();
		OsUsleep(us);
		uint64_t took = NowUs() - from;
		r.sleepLateUs[r.sleeps++] = uint32_t(took > us ? took - us : 0);
	}
}
