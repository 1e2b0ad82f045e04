// What a person sees of the simulated board: the four count LEDs, where
// the finger is and the latch. On a terminal one line redrawn in place;
// with plain, a time-stamped line for each change, for the sandbox's
// records.
#ifndef BUTTOND_SIM_DISPLAY_H
#define BUTTOND_SIM_DISPLAY_H

#include <stdint.h>
#include <sys/time.h>

#include <string>

class Display {
public:
	Display(bool plain, const struct timeval& wallZero) : plain(plain), wallZero(wallZero) {}

	// The board at us microseconds after time zero.
	void Show(uint64_t us, uint32_t led, bool fingerDown, bool latched);
	// A line of boardsim's own on standard error, below the one being
	// redrawn, which is then drawn again.
	void Say(const std::string& text);
	// Ends the line being redrawn.
	void Finish();

private:
	void Draw();

	bool plain;
	struct timeval wallZero;
	uint32_t led = 0;
	bool down = false, latched = false, first = true, drawn = false;
};

#endif
