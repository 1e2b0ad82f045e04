// The gestures boardsim plays, step by step, as a person would: moving the
// finger on time and waiting for what the LEDs show. Steps come in from
// the thread that reads them; the responder plays them, so nothing here
// allocates or waits.
#ifndef BUTTOND_SIM_GESTURE_QUEUE_H
#define BUTTOND_SIM_GESTURE_QUEUE_H

#include <stdint.h>

#include <atomic>

#include "sim/device/contact.h"
#include "sim/device/gesture.h"
#include "sim/device/ring.h"

class GestureQueue {
public:
	// bounceUs: the chatter of a move that does not give its own.
	GestureQueue(Contact& contact, int64_t bounceUs) : contact(contact), bounceUs(bounceUs) {}

	// From the reading thread: false when full, the step not taken. A
	// LET_GO step is played at once, whatever is queued before it.
	bool Push(const Step& step)
	{
		if (!steps.Push(step))
			return false;
		if (step.kind == Step::LET_GO)
			letGo.fetch_add(1, std::memory_order_release);
		return true;
	}

	// Plays what is due by now, the LEDs showing the word led. A step whose
	// sight never came lets go of the button and drops what was queued
	// behind it: it is returned in failed, with what the LEDs showed.
	bool Play(uint64_t now, uint32_t led, Step& failed, unsigned& shown);
	// When a step waits on time next; UINT64_MAX when none does.
	uint64_t DueUs() const;
	// The input has ended, every step is played and the contact settled.
	bool Done(uint64_t now) const;

private:
	bool Take();
	void LetGo(uint64_t now);
	uint64_t Bounce(const Step& s) const { return uint64_t(s.bounceUs >= 0 ? s.bounceUs : bounceUs); }

	Contact& contact;
	int64_t bounceUs;
	Ring<Step, 4096> steps;
	std::atomic<unsigned> letGo{0};	// LET_GO steps pushed, and played
	unsigned letGone = 0;
	Step step;			// the one playing
	bool playing = false, ended = false, looked = false;
	uint64_t due = 0, deadline = 0, shownSince = 0, movedAt = 0;
	unsigned shown = 0, tallyBase = 0;
};

#endif
