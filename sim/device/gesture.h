// Button gestures for the board simulator, one per line of text:
//   down | up | tap [MS] [xN] | hold SECONDS | wait SECONDS | let go
// A tap is a press of MS milliseconds (150 by default) followed by 350 ms
// up, so taps in a row stay distinct presses. "let go" does not wait its
// turn: it drops every gesture queued or playing and lets go of the button
// at once, as a driver that leaves must. '#' starts a comment.
//
// Those play on a fixed schedule. A person instead watches the LEDs, and
// so do these words, each giving up after MAX seconds:
//   hold blink [MAX]  press and keep down until the selection blink starts
//                     (all four LEDs lit), then let go
//   hold dark [MAX]   press and keep down through the selection blink until
//                     the LEDs are dark and still, then let go: the
//                     selection has begun, and the release must not count
//   wait dark [MAX]   wait until the LEDs are dark and have stayed so for a
//                     second, longer than any blink keeps them dark
//   see N [MAX]       wait until the LEDs show N
//   count N [MAX]     tap N times, each tap once the LEDs show one more than
//                     before it (modulo 16); MAX is per tap
//   count N on polls [MAX]
//                     the same, each press and each release starting 2 ms
//                     before a selection poll: the first comes 100 ms
//                     after the LEDs' last change, and the rest every
//                     80 ms; a press starts at least 120 ms after the
//                     finger last moved
// Every word that moves the button takes "bounce MS" at its end: its
// presses and releases chatter for MS milliseconds instead of boardsim's
// --bounce.
#ifndef BUTTOND_SIM_GESTURE_H
#define BUTTOND_SIM_GESTURE_H

#include <stdint.h>

#include <string>
#include <vector>

// One step of a gesture, plain data: boardsim's responder plays it without
// allocating. Its words live in a table of the parser's.
struct Step {
	enum Kind { DOWN, UP, WAIT, UNTIL, AIM, END, LET_GO } kind;
	uint64_t ms = 0;	// WAIT: how long; UNTIL: the longest to wait
	// DOWN, UP: how long the contact chatters, or -1 for boardsim's own.
	int64_t bounceUs = -1;
	// DOWN only: a count's tap, which the next UNTIL measures from.
	bool tally = false;
	// UNTIL only: the four count LEDs show this number, or with still set,
	// are dark and have not changed for STILL_MS; with next set, show one
	// more than they did when the last tally began.
	unsigned shows = 0;
	bool still = false, next = false;
	// UNTIL only, for its failure: the entry in the parser's table that
	// holds the gesture, where it came from and what it waits for.
	uint32_t sight = 0;

	Step(Kind kind = END, uint64_t ms = 0) : kind(kind), ms(ms) {}
};

// An UNTIL step's words: the gesture as given, where it came from ("line
// 5: \"see 3\""), and what it waits for ("the count 3"; empty for a
// count's tap, whose number is known only when it starts).
struct Sight {
	std::string word, what;
};

static const uint64_t STILL_MS = 1000;
// The selection's poll interval, and how far ahead of a poll an aimed edge
// starts: late wake-ups only ever move the daemon's polls later.
static const uint64_t POLL_MS = 80;
// The LEDs change as the selection begins and as it counts; 20 ms later it
// reads the button once more and clears the latch, and its polls follow
// that reading every 80 ms.
static const uint64_t SETTLE_MS = 20;
static const uint64_t AIM_LEAD_US = 2000;
// An aimed press comes no sooner than this after the finger last moved.
static const uint64_t AIM_UP_US = 120000;

// Milliseconds of chatter (0 to 100, a fraction allowed) as microseconds.
bool BounceMs(const std::string& text, int64_t& us);
// Multiplies the watching words' default limits, for a slow machine.
void ScaleLimits(unsigned multiplier);

// Appends the line's steps, and the words of its UNTIL steps to sights; on
// a bad line appends nothing and says why. where names the line in failure
// messages ("argument 2", "line 5").
bool ParseGesture(const std::string& line, const std::string& where, std::vector<Step>& steps,
		  std::vector<Sight>& sights, std::string& error);

// Whether an UNTIL step sees what it waits for: shown is the number the
// count LEDs show, stillMs how long they have shown it.
bool Sees(const Step& s, unsigned shown, uint64_t stillMs);
// The one line that says an UNTIL step's sight never came: step as it was
// played (a count's tap knows its number then), shown what the LEDs showed.
std::string NeverCame(const Step& step, const Sight& sight, unsigned shown);
// When an AIM step lets its press start: AIM_LEAD_US before the first
// poll, the second or a later one after the LEDs' last change, that is
// not before earliestUs.
uint64_t AimUs(uint64_t changedUs, uint64_t earliestUs);

#endif
