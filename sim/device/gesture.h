// Button gestures for the board simulator, one per line of text:
//   down | up | tap [MS] [xN] | hold SECONDS | wait SECONDS
// A tap is a press of MS milliseconds (150 by default) followed by 350 ms
// up, so taps in a row stay distinct presses. '#' starts a comment.
#ifndef BUTTOND_SIM_GESTURE_H
#define BUTTOND_SIM_GESTURE_H

#include <stdint.h>

#include <string>
#include <vector>

struct Step {
	enum Kind { DOWN, UP, WAIT } kind;
	uint64_t ms;	// WAIT only
};

// Appends the line's steps; on a bad line appends nothing and says why.
bool ParseGesture(const std::string& line, std::vector<Step>& steps, std::string& error);

#endif
