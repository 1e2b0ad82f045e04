// The simulated GPIO device behind the button: it drives the data word's
// button bit, latches events on the chosen edge and answers the daemon's
// write-1-to-clear of the event word.
//
// The words are kept in the byte order of the daemon that maps the image:
// the host's, or with bigEndian set big-endian whatever the host, for the
// PowerPC daemon under qemu-user.
//
// Event-word convention shared with the board image: a latched event is
// published as mask | 1 (bit 0 marks a value the device wrote), so a word
// equal to the mask alone can only be the daemon's clear; the device then
// stores 0, or mask | 1 again when a new edge came since.
#ifndef BUTTOND_SIM_SIMBUTTON_H
#define BUTTOND_SIM_SIMBUTTON_H

#include <stddef.h>
#include <stdint.h>

#include <deque>
#include <vector>

enum class LatchEdge { Press, Release, Both };

class SimButton {
public:
	SimButton(volatile uint32_t* gpio, uint32_t mask, LatchEdge edge,
		  bool bigEndian = false);

	// Moves the pin; a change is an edge, latched if it is of the kind
	// the board's set-up chose.
	void SetDown(bool down);
	// Answers a pending clear; true when it did.
	bool Service();
	bool IsDown() const { return down; }
	bool IsLatched() const;
	// The pin as the image holds it, whoever drives it.
	bool IsPinLow() const;

private:
	uint32_t Word(uint32_t v) const;

	volatile uint32_t* data;
	volatile uint32_t* event;
	uint32_t mask;
	LatchEdge edge;
	bool swap;		// image words in the other byte order
	bool down = false;
};

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

	SimButton& pin;
	uint64_t state;
	bool finger = false;
	std::deque<Toggle> pending;
};

// A press in virtual microseconds, with the chatter of its two edges.
struct Press {
	uint64_t downUs;
	uint64_t upUs;
	uint64_t downBounceUs = 0;
	uint64_t upBounceUs = 0;
};

// Presses played into a SimButton through a Contact as the virtual clock
// moves.
class ButtonScript {
public:
	ButtonScript(SimButton& button, std::vector<Press> presses, uint64_t seed = 1);
	// Plays everything that happened up to to; from is the hook's other end.
	void Advance(uint64_t from, uint64_t to);
	// A press decided later, by a person who watches the LEDs; it must
	// begin after every press given so far has ended.
	void Add(const Press& p) { presses.push_back(p); }

private:
	SimButton& button;
	Contact contact;
	std::vector<Press> presses;
	size_t next = 0;
	bool down = false;	// presses[next] has gone down
};

#endif
