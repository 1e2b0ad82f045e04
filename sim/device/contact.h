// The mechanical contact between a finger and a SimButton's pin.
#ifndef BUTTOND_SIM_CONTACT_H
#define BUTTOND_SIM_CONTACT_H

#include <stddef.h>
#include <stdint.h>

class SimButton;

// The mechanical contact between a finger and the pin. A real push-button
// does not switch cleanly: at every press and release the level chatters
// before it settles, and each toggle is an edge the GPIO block latches.
// A move starts with a toggle at once; further toggles follow at
// pseudo-random intervals of 0.2 to 2 ms, all within the bounce time, and
// the pin settles where the finger went. The intervals come from the seed
// alone, so a run can be replayed.
class Contact {
public:
	Contact(SimButton& pin, uint64_t seed);

	// The finger moves at atUs; this chatter replaces what is left of the
	// last. A move to where the finger already is changes nothing.
	void Move(bool down, uint64_t atUs, uint64_t bounceUs);
	// Plays the next toggle if it is due by nowUs; false when none is.
	bool PlayNext(uint64_t nowUs);
	// When the next toggle is due; UINT64_MAX once the pin has settled.
	uint64_t NextUs() const;
	bool FingerDown() const { return finger; }

private:
	struct Toggle {
		uint64_t atUs;
		bool down;
	};
	uint64_t Random();

	// Room for the longest chatter boardsim takes, 100 ms, at the
	// shortest interval; Move never allocates, so a real-time thread may
	// call it.
	static const size_t MAX_TOGGLES = 512;

	SimButton& pin;
	uint64_t state;
	bool finger = false;
	Toggle pending[MAX_TOGGLES];
	size_t first = 0, count = 0;
};

#endif
