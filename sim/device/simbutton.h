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

#include <vector>

#include "sim/device/contact.h"

// None: a GPIO block never set up to latch the button's edges.
enum class LatchEdge { Press, Release, Both, None };

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
