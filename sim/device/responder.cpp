#include "sim/device/responder.h"

#include <time.h>

#include <algorithm>

static const uint64_t TICK_US = 1000;	// well inside the 5 ms a clear may take

static uint64_t MonotonicUs()
{
	struct timespec ts;
	clock_gettime(CLOCK_MONOTONIC, &ts);
	return uint64_t(ts.tv_sec) * 1000000 + uint64_t(ts.tv_nsec) / 1000;
}

Responder::Responder(BoardImage& image, SimButton& button, Contact& contact, GestureQueue& queue,
		     uint64_t zeroUs, bool stay)
    : image(image), button(button), contact(contact), queue(queue), zero(zeroUs), stay(stay)
{
}

uint64_t Responder::Now() const { return MonotonicUs() - zero; }

void Responder::Post(const Change& c)
{
	if (!changes.Push(c))
		lost.fetch_add(1, std::memory_order_relaxed);
}

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
	Post(c);
	last = c;
	published = true;
}

static void Raise(std::atomic<uint64_t>& worst, uint64_t v)
{
	if (v > worst.load(std::memory_order_relaxed))
		worst.store(v, std::memory_order_relaxed);
}

// A clear found now was written while the responder was away, so it
// waited at most that long.
void Responder::Account(uint64_t before, bool answered, uint64_t now)
{
	uint64_t away = now - before;
	Raise(worstGapUs, away);
	if (answered) {
		clears.fetch_add(1, std::memory_order_relaxed);
		Raise(worstAnswerUs, away);
	}
	if (away <= RIG_FAULT_US)
		return;
	Change c;
	c.kind = Change::STALL;
	c.us = now;
	c.fromUs = before;
	c.clear = answered;
	Post(c);
}

void Responder::Run()
{
	uint64_t before = Now();
	while (!stopping.load(std::memory_order_relaxed)) {
		uint64_t now = Now();
		Account(before, button.Service(), now);
		before = now;
		while (contact.PlayNext(now))
			Publish(now);
		Change failed;
		if (queue.Play(now, image.Led(), failed.step, failed.shown)) {
			failed.kind = Change::FAILED;
			failed.us = now;
			Post(failed);
		}
		while (contact.PlayNext(now))
			Publish(now);
		Publish(now);
		if (!stay && queue.Done(now))
			break;

		// Wake for the next toggle or step on time, else within a tick
		// for the LEDs and the daemon's clears.
		uint64_t wake = std::min({now + TICK_US, contact.NextUs(), queue.DueUs()});
		uint64_t at = zero + std::max(wake, now);
		struct timespec ts = {time_t(at / 1000000), long(at % 1000000) * 1000};
		clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
	}
	Change done;
	done.kind = Change::DONE;
	done.us = Now();
	while (!changes.Push(done) && !stopping.load(std::memory_order_relaxed)) {
		struct timespec ts = {0, 1000000};
		nanosleep(&ts, nullptr);
	}
}
