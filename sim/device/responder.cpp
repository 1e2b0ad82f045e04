#include "sim/device/responder.h"

#include <time.h>

#include <algorithm>

#include "sim/device/clock.h"

static const uint64_t TICK_US = 1000;	// well inside the 5 ms a clear may take

Responder::Responder(BoardImage& image, SimButton& button, Contact& contact, GestureQueue& queue,
		     uint64_t zeroUs, bool stay)
    : image(image), button(button), contact(contact), queue(queue), zero(zeroUs), stay(stay)
{
	lastPass = Now();
}

uint64_t Responder::Now() const { return MonotonicUs() - zero; }

// Every change of the board, each toggle of a chattering contact included.
void Responder::Publish(uint64_t now)
{
	Change c;
	c.us = now;
	c.led = image.Led();
	c.pinLow = button.IsPinLow();
	c.latched = button.IsLatched();
	c.finger = contact.FingerDown();
	if (published && c.led == last.led && c.pinLow == last.pinLow && c.latched == last.latched &&
	    c.finger == last.finger)
		return;
	Post(changes, c);
	last = c;
	published = true;
}

// Raises v to x unless it is higher already, whichever thread gets there
// first; returns what v held before.
static uint64_t Raise(std::atomic<uint64_t>& v, uint64_t x)
{
	uint64_t before = v.load(std::memory_order_relaxed);
	while (before < x && !v.compare_exchange_weak(before, x, std::memory_order_relaxed)) {
	}
	return before;
}

// A pass of either thread: how long the rig as a whole had been away. A
// thread stopped between reading the clock and getting here brings a time
// the other has passed since; it must not set the last pass back, or the
// other's next pass would count that stop as the whole rig's.
uint64_t Responder::Pass(uint64_t now)
{
	uint64_t before = Raise(lastPass, now);
	return now > before ? now - before : 0;
}

// A clear found now was written while the rig was away, so it waited at
// most that long. A STALL to report when that was past the limit, else a
// STATE to drop.
Change Responder::Account(uint64_t away, bool answered, uint64_t now)
{
	Raise(worstGapUs, away);
	if (answered) {
		clears.fetch_add(1, std::memory_order_relaxed);
		Raise(worstAnswerUs, away);
	}
	Change c;
	if (away > RIG_FAULT_US) {
		c.kind = Change::STALL;
		c.us = now;
		c.fromUs = now - away;
		c.clear = answered;
	}
	return c;
}

void Responder::Sleep(uint64_t until) const
{
	uint64_t at = zero + until;
	struct timespec ts = {time_t(at / 1000000), long(at % 1000000) * 1000};
	clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
}

void Responder::Run()
{
	uint64_t before = Now(), seconds = secondPasses.load();
	while (!stopping.load(std::memory_order_relaxed)) {
		uint64_t now = Now(), toggle = contact.NextUs();
		Change c = Account(Pass(now), button.Service(), now);
		if (c.kind == Change::STALL)
			Post(changes, c);
		// This CPU alone stood still if the second thread kept passing.
		uint64_t passes = secondPasses.load(std::memory_order_relaxed);
		if (now - before > RIG_FAULT_US && (passes - seconds) * 4 * TICK_US >= now - before) {
			c.kind = Change::LATE;
			c.us = now;
			c.fromUs = before;
			c.chatter = toggle != UINT64_MAX && toggle + RIG_FAULT_US < now;
			Post(changes, c);
		}
		seconds = passes;
		before = now;
		while (contact.PlayNext(now))
			Publish(now);
		Change failed;
		if (queue.Play(now, image.Led(), failed.step, failed.shown)) {
			failed.kind = Change::FAILED;
			failed.us = now;
			Post(changes, failed);
		}
		while (contact.PlayNext(now))
			Publish(now);
		Publish(now);
		if (!stay && queue.Done(now))
			break;

		// Wake for the next toggle or step on time, else within a tick
		// for the LEDs and the daemon's clears.
		Sleep(std::max(std::min({now + TICK_US, contact.NextUs(), queue.DueUs()}), now));
	}
	Change done;
	done.kind = Change::DONE;
	done.us = Now();
	while (!changes.Push(done) && !stopping.load(std::memory_order_relaxed))
		Sleep(Now() + TICK_US);
}

void Responder::Answer()
{
	while (!stopping.load(std::memory_order_relaxed)) {
		uint64_t now = Now();
		secondPasses.fetch_add(1, std::memory_order_relaxed);
		Change c = Account(Pass(now), button.Service(), now);
		if (c.kind == Change::STALL)
			Post(seconded, c);
		Sleep(now + TICK_US);
	}
}
