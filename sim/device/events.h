// The board's changes as a stream of text lines, for a program that shows
// the board live (the panel): one line a change, flushed as it happens.
//   0<TAB>zero<TAB>YYYY-MM-DD HH:MM:SS.uuuuuu   the UTC wall clock at time 0
//   US<TAB>led<TAB>XXXXXXXX                     the LED word (a 0 bit lights)
//   US<TAB>pin<TAB>low|high                     the button's pin, every toggle
//   US<TAB>latch<TAB>set|clear                  the event latch
//   US<TAB>finger<TAB>down|up                   where the finger is
//   US<TAB>fault<TAB>TEXT                       a fault of the rig itself
// US is microseconds since time 0 on the monotonic clock, the trace's own
// time base.
#ifndef BUTTOND_SIM_EVENTS_H
#define BUTTOND_SIM_EVENTS_H

#include <stdint.h>
#include <stdio.h>

#include <string>

class BoardEvents {
public:
	~BoardEvents();
	// Time 0 is now.
	bool Open(const std::string& path, std::string& error);
	// Writes what changed since the last call.
	void Record(uint32_t led, bool pinLow, bool latched, bool fingerDown);
	void Fault(const std::string& text);
	bool Close(std::string& error);

private:
	FILE* file = nullptr;
	std::string path;
	uint64_t zero = 0;
	uint32_t led = 0;
	bool pinLow = false, latched = false, fingerDown = false, first = true;
};

#endif
