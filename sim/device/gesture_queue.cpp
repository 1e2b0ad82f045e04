#include "sim/device/gesture_queue.h"

#include <algorithm>

bool GestureQueue::Take()
{
	if (playing)
		return true;
	const Step* next = steps.Peek();
	if (next == nullptr)
		return false;
	step = *next;
	steps.Pop();
	playing = true;
	return true;
}

// Drops what is queued up to the LET_GO step that asked, and what plays,
// and lets go of the button; the end of the input is kept.
void GestureQueue::LetGo(uint64_t now)
{
	while (letGone != letGo.load(std::memory_order_acquire)) {
		for (const Step* s; (s = steps.Peek()) != nullptr;) {
			Step::Kind kind = s->kind;
			steps.Pop();
			ended |= kind == Step::END;
			if (kind == Step::LET_GO)
				break;
		}
		letGone++;
		playing = false;
		deadline = 0;
		due = now;
		contact.Move(false, now, uint64_t(bounceUs));
	}
}

bool GestureQueue::Play(uint64_t now, uint32_t led, Step& failed, unsigned& seen)
{
	LetGo(now);
	if ((~led & 0xF) != shown || !looked) {
		shown = ~led & 0xF;
		shownSince = now;
		looked = true;
	}
	// A wait at the end of the queue still holds back what comes next.
	if (!playing && steps.Peek() == nullptr && due < now)
		due = now;
	while (now >= due && Take()) {
		switch (step.kind) {
		case Step::UNTIL:
			if (deadline == 0) {
				deadline = now + step.ms * 1000;
				if (step.next)
					step.shows = (tallyBase + 1) % 16;
			}
			if (!Sees(step, shown, (now - shownSince) / 1000)) {
				if (now < deadline)
					return false;
				// What follows was meant for a daemon that answered.
				failed = step;
				seen = shown;
				playing = false;
				deadline = 0;
				for (const Step* s; (s = steps.Peek()) != nullptr; steps.Pop())
					ended |= s->kind == Step::END;
				contact.Move(false, now, uint64_t(bounceUs));
				return true;
			}
			deadline = 0;
			due = now;
			break;
		case Step::WAIT:
			due += step.ms * 1000;
			break;
		case Step::AIM:
			due = AimUs(shownSince, std::max(now, movedAt + AIM_UP_US));
			break;
		case Step::END:
			// Whoever drove the button has gone: a finger still down
			// lets go, so a closed page or a killed driver never leaves
			// it pressed.
			ended = true;
			contact.Move(false, now, uint64_t(bounceUs));
			break;
		case Step::LET_GO:	// played when it came
			break;
		case Step::DOWN:
		case Step::UP:
			if (step.tally)
				tallyBase = shown;
			movedAt = now;
			contact.Move(step.kind == Step::DOWN, now, Bounce(step));
			break;
		}
		playing = false;
	}
	return false;
}

uint64_t GestureQueue::DueUs() const
{
	if (playing && step.kind == Step::UNTIL)
		return UINT64_MAX;	// waits on the LEDs, which the responder reads anyway
	return playing || steps.Peek() != nullptr ? due : UINT64_MAX;
}

bool GestureQueue::Done(uint64_t now) const
{
	return ended && !playing && steps.Peek() == nullptr && now >= due &&
	       contact.NextUs() == UINT64_MAX;
}
