// Button gestures for the board simulator, one per line of text:
//   down | up | tap [MS] [xN] | hold SECONDS | wait SECONDS
// A tap is a press of MS milliseconds (150 by default) followed by 350 ms
// up, so taps in a row stay distinct presses. '#' starts a comment.
//
// Those play on a fixed schedule. A person instead watches the LEDs, and
// so do these words, each giving up after MAX seconds:
//   hold blink [MAX]  press and keep down until the selection blink starts
//                     (all four LEDs lit), then let go
//   wait dark [MAX]   wait until the LEDs are dark and have stayed so for a
//                     second, longer than any blink keeps them dark
//   count N [MAX]     tap N times, each tap once the LEDs show the count of
//                     the one before (1, 2, ... N, modulo 16); MAX is per tap
#ifndef BUTTOND_SIM_GESTURE_H
#define BUTTOND_SIM_GESTURE_H

#include <stdint.h>

#include <string>
#include <vector>

struct Step {
	enum Kind { DOWN, UP, WAIT, UNTIL } kind;
	uint64_t ms;		// WAIT: how long; UNTIL: the longest to wait
	// UNTIL only: the four count LEDs show this number, or with still set,
	// are dark and have not changed for STILL_MS.
	unsigned shows = 0;
	bool still = false;
	// UNTIL only, for its failure: the gesture and where it came from, and
	// what it waits for.
	std::string word, sight;

	Step(Kind kind, uint64_t ms = 0) : kind(kind), ms(ms) {}
};

static const uint64_t STILL_MS = 1000;

// Appends the line's steps; on a bad line appends nothing and says why.
// where names the line in failure messages ("argument 2", "line 5").
bool ParseGesture(const std::string& line, const std::string& where,
		  std::vector<Step>& steps, std::string& error);

// Whether an UNTIL step sees what it waits for: shown is the number the
// count LEDs show, stillMs how long they have shown it.
bool Sees(const Step& s, unsigned shown, uint64_t stillMs);
// The one line that says an UNTIL step's sight never came.
std::string NeverCame(const Step& s, unsigned shown);

#endif
