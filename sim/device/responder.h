// boardsim's responder: the hardware side of the simulated board, on a
// thread of its own. It answers the daemon's write-1-to-clear of the event
// word, plays the contact's toggles and the gestures on time, and hands
// every change to the thread that writes the trace and the display through
// a ring: no I/O, no allocation, no lock.
//
// Real hardware answers a clear at once. If the rig is away past half a
// selection poll, the daemon's next poll can read its own clear back as a
// latched press. So a second thread, on another CPU, answers clears too: a
// virtual machine's host may stop one CPU for a tenth of a second while the
// other, the daemon's perhaps, runs on. Every time both were away that long
// is reported, a fault of the rig unless the whole machine stood still
// with it (see witness.h); so is a stall of the responder's own CPU, a
// fault if the contact's chatter came late through it.
#ifndef BUTTOND_SIM_RESPONDER_H
#define BUTTOND_SIM_RESPONDER_H

#include <stdint.h>

#include <atomic>

#include "sim/device/board_image.h"
#include "sim/device/contact.h"
#include "sim/device/gesture_queue.h"
#include "sim/device/ring.h"
#include "sim/device/simbutton.h"

// A gap of the responder, or a clear left that long, that is a rig fault.
static const uint64_t RIG_FAULT_US = 40000;

// What the responder saw, in order, for the writing thread.
struct Change {
	enum Kind { STATE, FAILED, STALL, LATE, DONE } kind = STATE;
	uint64_t us = 0;	// since boardsim's time zero
	// STATE: the board as it is now.
	uint32_t led = 0;
	bool pinLow = false, latched = false, finger = false;
	// FAILED: the step whose sight never came, and what the LEDs showed.
	Step step;
	unsigned shown = 0;
	// STALL: since when the rig was away (until us), and whether a clear
	// of the daemon's waited for it. LATE: since when the responder's CPU
	// stood still while the other answered, and whether the contact's
	// chatter came late through it.
	uint64_t fromUs = 0;
	bool clear = false, chatter = false;
};

class Responder {
public:
	// zeroUs: the monotonic clock at boardsim's time zero. With stay the
	// responder runs until Stop, else until the gestures are done.
	Responder(BoardImage& image, SimButton& button, Contact& contact, GestureQueue& queue,
		  uint64_t zeroUs, bool stay);

	void Run();	// the thread's body
	void Answer();	// the second thread's: clears alone, from another CPU
	void Stop() { stopping = true; }

	Ring<Change, 8192> changes;
	Ring<Change, 64> seconded;	// the second thread's stalls
	// Figures of the run, read by the writing thread at any time.
	std::atomic<uint64_t> clears{0}, worstAnswerUs{0}, worstGapUs{0}, lost{0};

private:
	uint64_t Now() const;
	template <size_t N>
	void Post(Ring<Change, N>& ring, const Change& c)
	{
		if (!ring.Push(c))
			lost.fetch_add(1, std::memory_order_relaxed);
	}
	void Publish(uint64_t now);
	uint64_t Pass(uint64_t now);
	Change Account(uint64_t away, bool answered, uint64_t now);
	void Sleep(uint64_t until) const;

	BoardImage& image;
	SimButton& button;
	Contact& contact;
	GestureQueue& queue;
	uint64_t zero;
	bool stay;
	std::atomic<bool> stopping{false};
	std::atomic<uint64_t> lastPass{0}, secondPasses{0};
	Change last;
	bool published = false;
};

#endif
